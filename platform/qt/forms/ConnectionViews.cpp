// The views of the new-connection form and the version chooser.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "connections/frmChangeVersion.h"
#include "connections/frmOpenWorkspace.h"
#include "platform/qt/FormView.h"
#include "platform/qt/forms/FormEvents.h"

namespace marbrook::qt {

namespace {

class OpenWorkspaceView final : public FormView {
public:
    OpenWorkspaceView(frmOpenWorkspace& f, RaiseEvent raise) : FormView(f) {
        const auto on = [&f, raise](FormEvent e) { return [&f, raise, e] { raise(f, e, 0, 0); }; };
        QDialog* d = Dialog();
        auto* outer = new QVBoxLayout(d);
        auto* fields = new QGridLayout;
        auto row = [&](int r, ui::Label& label, QLabel* note = nullptr) {
            auto* l = new QLabel(d);
            auto* e = new QLineEdit(d);
            l->setBuddy(e);
            fields->addWidget(l, r, 0);
            fields->addWidget(e, r, 1);
            if (note) fields->addWidget(note, r, 2);
            BindLabel(label, l);
            return e;
        };
        auto* note = new QLabel(d);
        BindText(f.txtServer, row(0, f.lblServer), on(FormEvent::txtServer_Change));
        BindText(f.txtService, row(1, f.lblService), on(FormEvent::txtService_Change));
        BindText(f.txtDatabase, row(2, f.lblDatabase, note), on(FormEvent::txtDatabase_Change));
        BindLabel(f.lblDatabaseNote, note);
        outer->addLayout(fields);

        auto* account = new QGroupBox(d);
        auto* accountGrid = new QGridLayout(account);
        auto* lblUser = new QLabel(account);
        auto* user = new QLineEdit(account);
        auto* lblPwd = new QLabel(account);
        auto* pwd = new QLineEdit(account);
        auto* chkUserPwd = new QCheckBox(account);
        auto* cmdTest = new QPushButton(account);
        cmdTest->setAutoDefault(false);
        accountGrid->addWidget(lblUser, 0, 0);
        accountGrid->addWidget(user, 0, 1);
        accountGrid->addWidget(lblPwd, 1, 0);
        accountGrid->addWidget(pwd, 1, 1);
        accountGrid->addWidget(chkUserPwd, 2, 0, 1, 2);
        accountGrid->addWidget(cmdTest, 2, 2);
        outer->addWidget(account);

        auto* version = new QGroupBox(d);
        auto* versionGrid = new QGridLayout(version);
        auto* chkVersions = new QCheckBox(version);
        auto* cmdChange = new QPushButton(version);
        auto* lblVersions = new QLabel(version);
        cmdChange->setAutoDefault(false);
        lblVersions->setFrameShape(QFrame::StyledPanel);
        versionGrid->addWidget(lblVersions, 0, 0, 1, 2);
        versionGrid->addWidget(chkVersions, 1, 0);
        versionGrid->addWidget(cmdChange, 1, 1);
        outer->addWidget(version);

        auto* buttons = new QHBoxLayout;
        auto* cmdOK = new QPushButton(d);
        auto* cmdCancel = new QPushButton(d);
        cmdOK->setAutoDefault(false);
        cmdCancel->setAutoDefault(false);
        buttons->addStretch(1);
        buttons->addWidget(cmdOK);
        buttons->addWidget(cmdCancel);
        outer->addLayout(buttons);

        BindFrame(f.Frame1, account);
        BindLabel(f.lblUserName, lblUser);
        BindText(f.txtUserName, user, on(FormEvent::txtUserName_Change));
        BindLabel(f.lblPassword, lblPwd);
        BindText(f.txtPWD, pwd, on(FormEvent::txtPWD_Change));
        BindCheck(f.ChkUserPwd, chkUserPwd, on(FormEvent::ChkUserPwd_Click));
        BindButton(f.CmdTextConn, cmdTest, on(FormEvent::CmdTextConn_Click));
        BindFrame(f.Frame2, version);
        BindCheck(f.ChkVersions, chkVersions, {});
        BindButton(f.CmdChangeVersion, cmdChange, on(FormEvent::CmdChangeVersion_Click));
        BindLabel(f.LblVersions, lblVersions);
        BindButton(f.CmdOK, cmdOK, on(FormEvent::CmdOK_Click));
        BindButton(f.CmdCancel, cmdCancel, on(FormEvent::CmdCancel_Click));
        SizeFromForm();
    }
};

class ChangeVersionView final : public FormView {
public:
    ChangeVersionView(frmChangeVersion& f, RaiseEvent raise) : FormView(f) {
        const auto on = [&f, raise](FormEvent e) { return [&f, raise, e] { raise(f, e, 0, 0); }; };
        QDialog* d = Dialog();
        auto* grid = new QGridLayout(d);
        auto* label1 = new QLabel(d);
        auto* combo = new QComboBox(d);
        auto* label2 = new QLabel(d);
        auto* label3 = new QLabel(d);
        auto* description = new QLabel(d);
        description->setWordWrap(true);
        description->setFrameShape(QFrame::StyledPanel);
        auto* cmdCancel = new QPushButton(d);
        auto* cmdOK = new QPushButton(d);
        cmdCancel->setAutoDefault(false);
        cmdOK->setAutoDefault(false);
        grid->addWidget(label1, 0, 0, 1, 3);
        grid->addWidget(label2, 1, 0);
        grid->addWidget(combo, 1, 1, 1, 2);
        grid->addWidget(label3, 2, 0);
        grid->addWidget(description, 2, 1, 1, 2);
        grid->addWidget(cmdOK, 3, 1);
        grid->addWidget(cmdCancel, 3, 2);
        grid->setColumnStretch(1, 1);
        BindLabel(f.Label1, label1);
        BindDropDown(f.ComboVersions, combo, on(FormEvent::ComboVersions_Click));
        BindLabel(f.Label2, label2);
        BindLabel(f.Label3, label3);
        BindLabel(f.LblDescription, description);
        BindButton(f.CmdCancel, cmdCancel, on(FormEvent::CmdCancel_Click));
        BindButton(f.CmdOK, cmdOK, on(FormEvent::CmdOK_Click));
        SizeFromForm();
    }
};

} // namespace

std::unique_ptr<FormView> MakeConnectionView(ui::Form& form, RaiseEvent raise) {
    const std::string name = form.FormName();
    if (name == "frmOpenWorkspace") return std::make_unique<OpenWorkspaceView>(static_cast<frmOpenWorkspace&>(form), raise);
    if (name == "frmChangeVersion") return std::make_unique<ChangeVersionView>(static_cast<frmChangeVersion&>(form), raise);
    return nullptr;
}

} // namespace marbrook::qt
