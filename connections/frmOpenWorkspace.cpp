#include "connections/frmOpenWorkspace.h"

#include <algorithm>
#include <memory>

#include "connections/frmChangeVersion.h"
#include "platform/platform.h"
#include "connections/ConnectionTest.h"
#include "support/Failure.h"
#include "support/Text.h"
#include "support/basWindowPos.h"

namespace marbrook {

namespace {
constexpr const char* kTitle = "VERDANTA";
constexpr const char* kDefaultVersion = "sde.DEFAULT";
} // namespace

std::string ConnectionFileCandidate(const std::string& trimmedServer, int index) {
    // A server may be a socket folder ("/run/postgresql") or hold "../":
    // the file must still land in the connection folder.
    std::string server = trimmedServer;
    for (char& c : server)
        if (c == '/') c = '_';
    const std::string base = "Connection to " + server;
    return index == 0 ? base + ".sde" : base + "(" + std::to_string(index) + ").sde";
}

frmOpenWorkspace::frmOpenWorkspace(Platform& platform) : ui::Form(platform.ui), platform_(platform) {
    SetCaption("创建新的数据库连接");
    lblServer.SetCaption("服务器：");
    lblService.SetCaption("服务：");
    lblDatabase.SetCaption("数据库：");
    lblDatabaseNote.SetCaption("（如果你的关系型数据库支持）");
    lblUserName.SetCaption("用户名：");
    lblPassword.SetCaption("密码：");
    txtServer.SetToolTipText("输入服务器名");
    // The service field takes a port: PostgreSQL's own is the default that
    // connects (a service name such as "esri_sde" names no PostgreSQL port).
    txtService.SetText("5432");
    txtService.SetToolTipText("输入服务名");
    txtDatabase.SetToolTipText("输入数据库名");
    txtUserName.SetText("sde");
    txtUserName.SetToolTipText("输入用户名");
    txtPWD.SetToolTipText("输入密码");
    txtPWD.SetPasswordChar('*');
    ChkUserPwd.SetCaption("测试用户名/密码");
    ChkUserPwd.SetToolTipText("勾选用当前用户名密码测试连接");
    ChkUserPwd.SetValue(0);
    CmdTextConn.SetCaption("测试连接(&T)");
    CmdTextConn.SetToolTipText("测试连接");
    CmdTextConn.SetEnabled(false);
    ChkVersions.SetCaption("保存版本");
    ChkVersions.SetToolTipText("保存版本");
    ChkVersions.SetValue(1);
    CmdChangeVersion.SetCaption("修改版本(&M)");
    CmdChangeVersion.SetToolTipText("修改当前数据库连接版本");
    CmdOK.SetCaption("确定(&O)");
    CmdCancel.SetCaption("取消(&C)");
    // Enter confirms and Escape cancels, wherever the focus is.
    CmdOK.SetDefault(true);
    CmdCancel.SetCancel(true);
    Frame1.SetCaption("帐户");
    Frame2.SetCaption("版本");
    LblVersions.SetCaption(kDefaultVersion);
    width = 6300;
    height = 5900;
}

std::vector<ui::Control*> frmOpenWorkspace::Controls() {
    return {&lblServer,  &lblService,   &lblDatabase, &lblDatabaseNote,  &lblUserName, &lblPassword, &txtServer,
            &txtService, &txtDatabase,  &txtUserName, &txtPWD,           &ChkUserPwd,  &CmdTextConn, &ChkVersions,
            &CmdChangeVersion, &CmdOK,  &CmdCancel,   &Frame1,           &Frame2,      &LblVersions};
}

void frmOpenWorkspace::Form_Load() {
    Steps step(platform_, "Marbrook.frmOpenWorkspace.Form_Load:");
    try {
        step(100);
        mbOkClik = false;
    } catch (...) {
        step.Report();
    }
}

void frmOpenWorkspace::ResetVersion(const char* position) noexcept {
    Steps step(platform_, position);
    try {
        step(100);
        // Any edit drops a version chosen for the old values.
        LblVersions.SetCaption(kDefaultVersion);
    } catch (...) {
        step.Report();
    }
}

void frmOpenWorkspace::txtServer_Change() noexcept { ResetVersion("Marbrook.frmOpenWorkspace.txtServer_Change:"); }
void frmOpenWorkspace::txtService_Change() noexcept { ResetVersion("Marbrook.frmOpenWorkspace.txtService_Change:"); }
void frmOpenWorkspace::txtDatabase_Change() noexcept { ResetVersion("Marbrook.frmOpenWorkspace.txtDatabase_Change:"); }
void frmOpenWorkspace::txtUserName_Change() noexcept { ResetVersion("Marbrook.frmOpenWorkspace.txtUserName_Change:"); }
void frmOpenWorkspace::txtPWD_Change() noexcept { ResetVersion("Marbrook.frmOpenWorkspace.txtPWD_Change:"); }

void frmOpenWorkspace::ChkUserPwd_Click() noexcept {
    Steps step(platform_, "Marbrook.frmOpenWorkspace.ChkUserPwd_Click:");
    try {
        step(100);
        CmdTextConn.SetEnabled(ChkUserPwd.Value() == 1);
    } catch (...) {
        step.Report();
    }
}

bool frmOpenWorkspace::CheckValid() noexcept {
    Steps step(platform_, "Marbrook.frmOpenWorkspace.CheckValid:");
    bool result = false;
    try {
        step(100);
        result = false;
        const struct {
            ui::TextBox& box;
            const char* message;
        } required[] = {{txtServer, "服务器名字不能为空."}, {txtService, "服务名不能为空."}, {txtUserName, "用户名不能为空."}};
        int first = 101;
        for (const auto& r : required) {
            step(first);
            if (text::Trim(r.box.Text()).empty()) {
                step(first + 1);
                platform_.ui.MessageBox(r.message, ui::MessageIcon::Critical, kTitle);
                step(first + 2);
                r.box.SetFocus();
                return false;
            }
            first += 3;
        }
        step(110);
        result = true;
    } catch (...) {
        step.Report();
        result = false;
    }
    return result;
}

gis::PropertySetPtr frmOpenWorkspace::ConnectionProperties() const {
    auto properties = platform_.gis.CreatePropertySet();
    properties->SetProperty("SERVER", text::Trim(txtServer.Text()));
    properties->SetProperty("USER", text::Trim(txtUserName.Text()));
    properties->SetProperty("INSTANCE", text::Trim(txtService.Text()));
    // A PostgreSQL server needs to know the database.
    if (const std::string database = text::Trim(txtDatabase.Text()); !database.empty())
        properties->SetProperty("DATABASE", database);
    properties->SetProperty("PASSWORD", text::Trim(txtPWD.Text()));
    // Unticked, the connection uses the server's default version.
    if (ChkVersions.Value() == 1) properties->SetProperty("VERSION", text::Trim(LblVersions.Caption()));
    properties->SetProperty("SSLMODE", msSslMode);
    properties->SetProperty("CONNECT_TIMEOUT", std::to_string(miConnectTimeout));
    return properties;
}

gis::WorkspacePtr frmOpenWorkspace::TestConnection(bool bShowTips) noexcept {
    Steps step(platform_, "Marbrook.frmOpenWorkspace.TestConnection:");
    gis::WorkspacePtr result;
    try {
        step(100);
        result = nullptr;
        step(101);
        platform_.ui.SetMousePointer(ui::MousePointer::Hourglass);
        step(102);
        auto properties = ConnectionProperties();
        result = OpenSpatialDatabase(platform_, step, *properties, bShowTips);
    } catch (...) {
        step.Report();
        IgnoreFailure([&] { platform_.ui.SetMousePointer(ui::MousePointer::Default); });
        result = nullptr;
    }
    return result;
}

void frmOpenWorkspace::CmdTextConn_Click() noexcept {
    Steps step(platform_, "Marbrook.frmOpenWorkspace.CmdTextConn_Click:");
    try {
        step(100);
        TestConnection(true).reset();
    } catch (...) {
        step.Report();
    }
}

void frmOpenWorkspace::CmdChangeVersion_Click() noexcept {
    Steps step(platform_, "Marbrook.frmOpenWorkspace.CmdChangeVersion_Click:");
    try {
        step(100);
        auto chooser = std::make_unique<frmChangeVersion>(platform_);
        chooser->EnsureLoaded();
        step(101);
        const long count =
            chooser->InitComboList(text::Trim(txtServer.Text()), text::Trim(txtUserName.Text()),
                                   text::Trim(txtService.Text()), text::Trim(txtPWD.Text()),
                                   text::Trim(LblVersions.Caption()), text::Trim(txtDatabase.Text()));
        step(102);
        if (count < 1) return;
        step(103);
        QMShowForm(platform_, *chooser, platform_.ui.HandleOf(*this), 0, 1);
        step(104);
        if (chooser->mbOKClick) {
            step(105);
            LblVersions.SetCaption(chooser->ComboVersions.Text());
        }
        step(106);
        platform_.ui.UnloadForm(*chooser);
        step(107);
        chooser.reset();
    } catch (...) {
        step.Report();
    }
}

void frmOpenWorkspace::CmdOK_Click() noexcept {
    Steps step(platform_, "Marbrook.frmOpenWorkspace.cmdOK_Click:");
    auto restorePointer = [&] { IgnoreFailure([&] { platform_.ui.SetMousePointer(ui::MousePointer::Default); }); };
    try {
        step(100);
        if (!CheckValid()) return;
        step(101);
        platform_.ui.SetMousePointer(ui::MousePointer::Hourglass);
        step(102);
        auto properties = ConnectionProperties();
        step(109);
        auto factory = platform_.gis.CreateWorkspaceFactory(gis::FactoryKind::SpatialDatabase);
        step(110);
        mpWorkspace = factory->OpenWorkspace(*properties, gis::kNoWindow);
        step(111);
        if (!mpWorkspace) {
            step(112);
            platform_.ui.MessageBox("打开连接不成功.", ui::MessageIcon::Information, kTitle);
            step(113);
            platform_.ui.SetMousePointer(ui::MousePointer::Default);
            return;
        }
        step(114);
        const std::string server = text::Trim(txtServer.Text());
        std::string fullPath;
        bool found = false;
        for (int i = 0; i < kConnectionFileCandidates && !found; ++i) {
            // The first candidate is steps 115 to 118; each numbered one
            // takes three more (name, full path, test).
            const int first = i == 0 ? 115 : std::min(119 + 3 * (i - 1), 143);
            step(first);
            msSdeDataName = ConnectionFileCandidate(server, i);
            step(first + 1);
            fullPath = text::JoinPath(msSdeDataPath, msSdeDataName);
            step(first + 2);
            found = !platform_.system.PathExists(fullPath);
        }
        if (!found) {
            step(146);
            platform_.ui.MessageBox("SDE连接目录重名数据太多,请删除一些SDE连接文件.不在新建连接.",
                                    ui::MessageIcon::Critical, "VERDANTA:严重警告");
            // Failing, it is logged and the failure path restores it.
            platform_.ui.SetMousePointer(ui::MousePointer::Default);
            return;
        }
        step(148);
        auto written = factory->CreateConnectionFile(msSdeDataPath, msSdeDataName, *properties, platform_.ui.HandleOf(*this));
        step(149);
        if (!written) {
            step(150);
            platform_.ui.MessageBox("保存连接信息不成功.", ui::MessageIcon::Information, kTitle);
        } else {
            step(151);
            msSdeFullPath = fullPath;
        }
        step(152);
        Hide();
        step(153);
        platform_.ui.SetMousePointer(ui::MousePointer::Default);
        step(154);
        mbOkClik = true;
    } catch (...) {
        step.Report();
        restorePointer();
    }
}

void frmOpenWorkspace::CmdCancel_Click() noexcept {
    Steps step(platform_, "Marbrook.frmOpenWorkspace.cmdCancel_Click:");
    try {
        step(100);
        Hide();
        step(101);
        mbOkClik = false;
    } catch (...) {
        step.Report();
    }
}

bool RunNewConnectionForm(Platform& p, const std::string& sdeDataPath, gis::WindowHandle parent) {
    auto form = std::make_unique<frmOpenWorkspace>(p);
    form->msSdeDataPath = sdeDataPath;
    QMShowForm(p, *form, parent, 0, 1);
    // A cancelled form is simply dropped; a confirmed one is unloaded first.
    if (!form->mbOkClik) return false;
    p.ui.UnloadForm(*form);
    return true;
}

} // namespace marbrook
