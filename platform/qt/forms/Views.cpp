// The view of the data browser, and the choice of a view by the form's name.
#include "platform/qt/forms/FormViews.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QTreeView>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include "browser/frmOpenDialog.h"
#include "platform/qt/FormView.h"
#include "platform/qt/forms/FormEvents.h"

namespace marbrook::qt {

namespace {

QToolButton* PictureButton(QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setIconSize(QSize(16, 16));
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

// The data browser.
class OpenDialogView final : public FormView {
public:
    OpenDialogView(frmOpenDialog& f, RaiseEvent raise) : FormView(f) {
        const auto on = [&f, raise](FormEvent e) { return [&f, raise, e] { raise(f, e, 0, 0); }; };
        QDialog* d = Dialog();
        auto* grid = new QGridLayout(d);

        auto* lblLocation = new QLabel(d);
        auto* comboLocation = new QComboBox(d);
        comboLocation->setMinimumWidth(260);
        comboLocation->setMaxVisibleItems(20);
        auto* cmdUp = PictureButton(d);
        auto* cmdConnect = PictureButton(d);
        auto* cmdDisconnect = PictureButton(d);
        auto* cmdAddLocation = PictureButton(d);
        auto* optThumbs = PictureButton(d);
        auto* optReport = PictureButton(d);
        auto* optList = PictureButton(d);
        auto* top = new QHBoxLayout;
        top->addWidget(lblLocation);
        top->addWidget(comboLocation, 1);
        for (QWidget* w : {static_cast<QWidget*>(cmdUp), static_cast<QWidget*>(cmdConnect),
                           static_cast<QWidget*>(cmdDisconnect), static_cast<QWidget*>(cmdAddLocation)})
            top->addWidget(w);
        top->addSpacing(8);
        top->addWidget(optThumbs);
        top->addWidget(optReport);
        top->addWidget(optList);
        grid->addLayout(top, 0, 0, 1, 3);

        auto* list = new ListViewWidget(d);
        list->setMinimumSize(7110 / 15, 2940 / 15);
        grid->addWidget(list, 1, 0, 1, 3);

        // Shown while a location takes long to list: a moving bar, what goes
        // on, and the way out.
        auto* busy = new QWidget(d);
        auto* busyRow = new QHBoxLayout(busy);
        busyRow->setContentsMargins(0, 0, 0, 0);
        auto* busyBar = new QProgressBar(busy);
        busyBar->setRange(0, 0);
        busyBar->setMaximumWidth(120);
        busyBar->setTextVisible(false);
        auto* busyText = new QLabel(busy);
        auto* cmdCancelListing = new QPushButton(busy);
        busyRow->addWidget(busyBar);
        busyRow->addWidget(busyText, 1);
        busyRow->addWidget(cmdCancelListing);
        grid->addWidget(busy, 2, 0, 1, 3);

        auto* lblSelectName = new QLabel(d);
        auto* txtDataName = new QLineEdit(d);
        auto* cmdAddData = new QPushButton(d);
        auto* lblFilterType = new QLabel(d);
        auto* comboFilter = new QComboBox(d);
        auto* cmdCancel = new QPushButton(d);
        cmdAddData->setAutoDefault(false);
        cmdCancel->setAutoDefault(false);
        grid->addWidget(lblSelectName, 3, 0);
        grid->addWidget(txtDataName, 3, 1);
        grid->addWidget(cmdAddData, 3, 2);
        grid->addWidget(lblFilterType, 4, 0);
        grid->addWidget(comboFilter, 4, 1);
        grid->addWidget(cmdCancel, 4, 2);
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(1, 1);
        lblSelectName->setBuddy(txtDataName);
        lblFilterType->setBuddy(comboFilter);
        lblLocation->setBuddy(comboLocation);

        // Tab goes through the controls as they are laid out, row by row.
        QWidget* order[] = {comboLocation, cmdUp, optThumbs, optReport, optList, list->List(), list->Report(),
                            txtDataName, cmdAddData, comboFilter, cmdCancel};
        for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
        list_ = list;

        BindLabel(f.LblLocation, lblLocation);
        BindImageCombo(f.ComboLocation, comboLocation, on(FormEvent::ComboLocation_Click));
        BindButton(f.CmdUpLocation, cmdUp, on(FormEvent::CmdUpLocation_Click));
        BindButton(f.CmdConnectLocation, cmdConnect, {});
        BindButton(f.CmdDisConnectLocation, cmdDisconnect, {});
        BindButton(f.CmdAddLocation, cmdAddLocation, {});
        BindOption(f.OptThumbs, optThumbs, on(FormEvent::OptThumbs_Click));
        BindOption(f.OptReport, optReport, on(FormEvent::OptReport_Click));
        BindOption(f.OptList, optList, on(FormEvent::OptList_Click));
        BindListView(
            f.LVDataList, list, on(FormEvent::LVDataList_ItemClick), on(FormEvent::LVDataList_DblClick),
            [&f, raise](int key, int shift) { raise(f, FormEvent::LVDataList_KeyDown, key, shift); },
            [&f, raise](int column) { raise(f, FormEvent::LVDataList_ColumnClick, column, 0); });
        BindLabel(f.LblSelectName, lblSelectName);
        BindText(f.TxtDataName, txtDataName, {});
        OnReturn(txtDataName, [&f, raise] { raise(f, FormEvent::TxtDataName_KeyDown, frmOpenDialog::kKeyReturn, 0); });
        BindLabel(f.LblFilterType, lblFilterType);
        BindDropDown(f.ComboFilter, comboFilter, {});
        BindButton(f.CmdAddData, cmdAddData, on(FormEvent::CmdAddData_Click));
        BindButton(f.CmdCancel, cmdCancel, on(FormEvent::CmdCancel_Click));
        BindBusy(f.LblListing, busy, busyText);
        BindButton(f.CmdCancelListing, cmdCancelListing, on(FormEvent::CmdCancelListing_Click));
        AllowWhileBusy(cmdCancelListing);
        // Alt+Up goes up wherever the focus is.
        auto* up = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Up), d);
        up->setContext(Qt::WindowShortcut);
        QObject::connect(up, &QShortcut::activated, d, [this, &f, raise] {
            UserAction([&f, raise] { raise(f, FormEvent::Form_KeyDown, frmOpenDialog::kKeyUp, frmOpenDialog::kAltMask); });
        });
        SizeFromForm();
    }

    // The data list has the focus when the dialog opens.
    void FocusFirst() override {
        if (list_) list_->Current()->setFocus(Qt::OtherFocusReason);
    }

private:
    ListViewWidget* list_ = nullptr;
};

} // namespace

std::unique_ptr<FormView> MakeConnectionView(ui::Form& form, RaiseEvent raise);

// The form is told by its name, not by a cast: a module holding the views
// has no type information of the library's forms.
std::unique_ptr<FormView> MakeFormViewWith(ui::Form& form, RaiseEvent raise) {
    if (std::string(form.FormName()) == "frmOpenDialog")
        return std::make_unique<OpenDialogView>(static_cast<frmOpenDialog&>(form), raise);
    return MakeConnectionView(form, raise);
}

} // namespace marbrook::qt
