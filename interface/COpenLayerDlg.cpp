#include "interface/COpenLayerDlg.h"

#include "browser/frmOpenDialog.h"
#include "catalogue/basOpenDialogs.h"
#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Globals.h"
#include "support/Text.h"
#include "support/basWindowPos.h"

namespace marbrook {

namespace {

// The text the name box shows for a DataName value.
std::string VariantText(const COpenLayerDlg::Variant& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (std::holds_alternative<ObjectPtr>(v))
        throw PlatformError(errnum::kNotSupported, "Marbrook", "Object doesn't support this property or method");
    return {};
}

} // namespace

COpenLayerDlg::COpenLayerDlg(Platform& platform) : platform_(platform) {
    Steps step(platform_, "Marbrook.COpenLayerDlg.Class_Initialize:");
    try {
        step(100);
        mfrmDialog_ = std::make_unique<frmOpenDialog>(platform_);
        step(101);
        msSdePath_ = InitSDEDataPath(platform_);
        step(102);
        AllowMultiSelect(true);
        step(103);
        Title("添加数据");
        step(104);
        ButtonCaption("打开");
    } catch (...) {
        step.Report();
    }
}

COpenLayerDlg::~COpenLayerDlg() {
    IgnoreFailure([&] {
        if (mfrmDialog_) platform_.ui.UnloadForm(*mfrmDialog_);
    });
}

bool COpenLayerDlg::DoModalOpen(ui::WindowHandle hParentHWnd, Collection& Selection) noexcept {
    Steps step(platform_, "Marbrook.COpenLayerDlg.DoModalOpen:");
    bool result = false;
    try {
        step(100);
        result = false;
        if (!mfrmDialog_) throw PlatformError(errnum::kObjectNotSet, "Marbrook", "Object variable not set");
        frmOpenDialog& form = *mfrmDialog_;
        step(101);
        const std::string libraryFolder = platform_.system.Library().folder;
        std::string sSdePath = text::JoinPath(libraryFolder, "SdeData");
        step(102);
        gsCurDir = platform_.system.GetSetting("VERDANTA", "OPENDLG", "CURDIR").value_or(libraryFolder);
        step(103);
        // The dialog's window comes first: where none can be shown (no
        // window system, no toolkit module) nothing is listed for it, and the
        // caller hears of it once.
        (void)platform_.ui.HandleOf(form);
        form.EnsureLoaded();
        form.LVDataList.SetMultiSelect(AllowMultiSelect());
        step(104);
        form.TxtDataName.SetText(VariantText(dataName_));
        step(105);
        form.CmdAddData.SetCaption(ButtonCaption());
        step(106);
        form.SetCaption(Title());
        step(107);
        form.msSdeDataPath = msSdePath_;
        form.mAddCheck = addCheck_;
        step(108);
        if (!RememberLocation()) {
            step(109);
            form.InitDataList(sSdePath);
        }
        step(110);
        form.SetFilterType(FilterType());
        step(111);
        QMShowForm(platform_, form, hParentHWnd, 0, 1);
        step(112);
        form.mAddCheck = nullptr;
        if (form.mbOKClick) {
            step(113);
            form.GetSelectDataset(Selection);
            step(114);
            result = true;
        }
    } catch (...) {
        step.Report();
    }
    return result;
}

} // namespace marbrook
