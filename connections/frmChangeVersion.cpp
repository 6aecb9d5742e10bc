#include "connections/frmChangeVersion.h"

#include "platform/platform.h"
#include "connections/ConnectionTest.h"
#include "support/Failure.h"
#include "support/Text.h"

namespace marbrook {

namespace {
constexpr const char* kTitle = "VERDANTA";
}

frmChangeVersion::frmChangeVersion(Platform& platform) : ui::Form(platform.ui), platform_(platform) {
    SetCaption("改变版本");
    Label1.SetCaption("选择本次连接所使用的数据库版本.");
    Label2.SetCaption("版本");
    Label3.SetCaption("版本描述：");
    CmdCancel.SetCaption("取消(&C)");
    CmdOK.SetCaption("确定(&O)");
    // Enter confirms and Escape cancels, wherever the focus is.
    CmdOK.SetDefault(true);
    CmdCancel.SetCancel(true);
    width = 5400;
    height = 2700;
}

std::vector<ui::Control*> frmChangeVersion::Controls() {
    return {&Label1, &ComboVersions, &Label2, &Label3, &LblDescription, &CmdCancel, &CmdOK};
}

void frmChangeVersion::Form_Load() {
    Steps step(platform_, "Marbrook.frmChangeVersion.Form_Load:");
    try {
        step(100);
        msCurSelVersionName.clear();
        step(101);
        msCurSelVersionDesc.clear();
    } catch (...) {
        step.Report();
    }
}

gis::WorkspacePtr frmChangeVersion::TestConnection(const std::string& sServer, const std::string& sUser,
                                                   const std::string& sInstance, const std::string& sPwd,
                                                   const std::string& sVersion, bool bShowTips,
                                                   const std::string& sDatabase) noexcept {
    Steps step(platform_, "Marbrook.frmChangeVersion.TestConnection:");
    gis::WorkspacePtr result;
    try {
        step(100);
        result = nullptr;
        step(101);
        platform_.ui.SetMousePointer(ui::MousePointer::Hourglass);
        step(102);
        auto properties = platform_.gis.CreatePropertySet();
        step(104);
        properties->SetProperty("SERVER", text::Trim(sServer));
        step(105);
        properties->SetProperty("USER", text::Trim(sUser));
        step(106);
        properties->SetProperty("INSTANCE", text::Trim(sInstance));
        if (!text::Trim(sDatabase).empty()) properties->SetProperty("DATABASE", text::Trim(sDatabase));
        step(107);
        properties->SetProperty("PASSWORD", text::Trim(sPwd));
        step(108);
        properties->SetProperty("VERSION", text::Trim(sVersion));
        result = OpenSpatialDatabase(platform_, step, *properties, bShowTips);
    } catch (...) {
        step.Report();
        IgnoreFailure([&] { platform_.ui.SetMousePointer(ui::MousePointer::Default); });
        result = nullptr;
    }
    return result;
}

long frmChangeVersion::InitComboList(const std::string& sServer, const std::string& sUser, const std::string& sInstance,
                                     const std::string& sPwd, const std::string& sVersion,
                                     const std::string& sDatabase) noexcept {
    Steps step(platform_, "Marbrook.frmChangeVersion.InitComboList:");
    long result = 0;
    try {
        EnsureLoaded();
        step(100);
        long count = 0;
        step(101);
        auto workspace = TestConnection(sServer, sUser, sInstance, sPwd, sVersion, false, sDatabase);
        step(102);
        if (!workspace) {
            step(103);
            platform_.ui.MessageBox("连接信息丢失.\r\n必须制定服务器,服务名,用户名和密码以选择一个版本.",
                                    ui::MessageIcon::Critical, kTitle);
            return 0;
        }
        step(104);
        mVersions.assign(1, VersionEntry{});
        step(105);
        const auto versions = workspace->ListVersions();
        step(110);
        for (std::size_t i = 0;; ++i) {
            step(111);
            if (i >= versions.size()) break;
            const auto& v = versions[i];
            step(113);
            const std::string name = v.name;
            step(114);
            ++count;
            step(115);
            mVersions.emplace_back();
            step(116);
            ComboVersions.AddItem(name);
            step(117);
            LblDescription.SetCaption(v.description);
            step(118);
            if (!v.parent) {
                step(119);
                mVersions.back().HasParent = false;
            } else {
                step(120);
                mVersions.back().HasParent = true;
            }
            step(121);
            mVersions.back().Description = v.description;
            step(122);
            mVersions.back().Name = name;
            step(123);
        }
        step(124);
        if (ComboVersions.ListCount() > 0) {
            ComboVersions.SetListIndex(0);
            ComboVersions_Click();
        }
        step(125);
        result = count;
    } catch (...) {
        step.Report();
        result = 0;
    }
    return result;
}

void frmChangeVersion::ComboVersions_Click() noexcept {
    // Failures here are ignored statement by statement, as the chooser must
    // stay usable whatever the list holds.
    const int k = ComboVersions.ListIndex();
    const auto slot = static_cast<std::size_t>(k + 1);
    IgnoreFailure([&] { msCurSelVersionName = mVersions.at(slot).Name; });
    IgnoreFailure([&] { msCurSelVersionDesc = mVersions.at(slot).Description; });
    // The description shown follows the selected version.
    IgnoreFailure([&] { LblDescription.SetCaption(mVersions.at(slot).Description); });
}

void frmChangeVersion::CmdOK_Click() noexcept {
    Steps step(platform_, "Marbrook.frmChangeVersion.cmdOK_Click:");
    try {
        step(100);
        mbOKClick = true;
        step(101);
        Hide();
    } catch (...) {
        step.Report();
    }
}

void frmChangeVersion::CmdCancel_Click() noexcept {
    Steps step(platform_, "Marbrook.frmChangeVersion.cmdCancel_Click:");
    try {
        step(100);
        mbOKClick = false;
        step(101);
        Hide();
    } catch (...) {
        step.Report();
    }
}

} // namespace marbrook
