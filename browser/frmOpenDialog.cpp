#include "browser/frmOpenDialog.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "browser/Listing.h"
#include "catalogue/CLayerObj.h"
#include "catalogue/NameOrder.h"
#include "connections/DatabaseListings.h"
#include "connections/frmOpenWorkspace.h"
#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Globals.h"
#include "support/Text.h"

namespace marbrook {

namespace {

using ui::MousePointer;

// The filters a caller can choose; any other code shows as code 0.
constexpr std::array<std::string_view, 9> kFilterTexts{
    "所有数据集和图层(*.lyr)",
    "Shape矢量文件(*.shp)",
    "栅格数据集(*.TIF;*.IMG;GRID)",
    "矢量数据或矢量数据集（FeatureClass & FeatureDataset）",
    "栅格数据集(Raster Dataset)",
    "CAD图层(*.dwg)",
    "Coverage图层",
    "坐标投影文件(*.prj)",
    "文件夹",
};

constexpr const char* kSettingsApp = "VERDANTA";
constexpr const char* kSettingsSection = "OPENDLG";
constexpr const char* kSettingsKey = "CURDIR";
constexpr const char* kMessageTitle = "VERDANTA";
constexpr const char* kListingText = "正在读取数据…";

[[noreturn]] void ThrowObjectNotSet() {
    throw PlatformError(errnum::kObjectNotSet, "Marbrook", "Object variable or With block variable not set");
}

bool InRange(int v, int lo, int hi) noexcept { return v >= lo && v <= hi; }

// Items opened as locations by a double-click.
bool IsEnterable(int type) noexcept {
    return type == dtFolder || type == dtDatabaseRoot || type == dtSdeConnection || IsGeodatabaseLike(type) ||
           type == dtCadFile || type == dtFeatureDataset;
}

// Places that hold data rather than being data: opened rather than chosen.
bool IsPlace(int type) noexcept {
    return type == dtFolder || type == dtDatabaseRoot || type == dtSdeConnection || type == dtNewSdeConnection ||
           IsGeodatabaseLike(type);
}

// Items added at once by a double-click: feature classes, rasters, raster
// datasets and catalogs.
bool IsAddable(int type) noexcept {
    return InRange(type, 10, 15) || InRange(type, 20, 23) || type == dtRasterDataset || type == dtRasterCatalog;
}

// Whether `name` is the real name of a listed file or folder whose shown name
// had to be repaired: a name that is not valid UTF-8 is shown with
// replacement characters, so a remembered path matches it only on its bytes.
bool IsRepairedNameOf(const DataItem& item, const std::string& name) {
    if (item.DataType != dtFolder && !IsGeodatabaseLike(item.DataType) && item.DataType != dtCadFile) return false;
    if (text::IsValidUtf8(name) || text::FileNamePart(item.DataFullName) != name) return false;
    return item.DataName == text::SanitizeUtf8(name);
}

} // namespace

frmOpenDialog::frmOpenDialog(Platform& platform) : ui::Form(platform.ui), platform_(platform) {
    SetCaption("添加数据");
    LblLocation.SetCaption("查找位置");
    CmdUpLocation.SetToolTipText("回到上一级目录");
    CmdUpLocation.SetPicture("up");
    CmdConnectLocation.SetToolTipText("添加新外部目录");
    CmdConnectLocation.SetPicture("connect");
    CmdConnectLocation.SetVisible(false);
    CmdDisConnectLocation.SetToolTipText("删除外部目录");
    CmdDisConnectLocation.SetPicture("disconnect");
    CmdDisConnectLocation.SetVisible(false);
    CmdAddLocation.SetToolTipText("删除外部目录");
    CmdAddLocation.SetPicture("add-location");
    CmdAddLocation.SetVisible(false);
    OptThumbs.SetToolTipText("大图标方式");
    OptThumbs.SetPicture("view-icons");
    OptReport.SetToolTipText("列表方式");
    OptReport.SetPicture("view-report");
    OptList.SetToolTipText("图标方式");
    OptList.SetPicture("view-list");
    OptList.SetValue(true);
    LVDataList.SetWidth(7110);
    LVDataList.SetHeight(2940);
    LVDataList.SetView(ui::ListView::kList);
    LblSelectName.SetCaption("选择的数据名");
    TxtDataName.SetToolTipText("选择的数据名");
    LblFilterType.SetCaption("过滤数据类型");
    ComboFilter.SetToolTipText("过滤数据类型");
    CmdAddData.SetCaption("添加(&A)");
    CmdAddData.SetToolTipText("添加");
    // Usable only while the list has a selected item; the list starts empty.
    CmdAddData.SetEnabled(false);
    CmdCancel.SetCaption("取消(&C)");
    CmdCancel.SetToolTipText("取消");
    // Escape cancels; Enter belongs to the list and the name box.
    CmdCancel.SetCancel(true);
    LblListing.SetCaption(kListingText);
    LblListing.SetVisible(false);
    CmdCancelListing.SetCaption("取消");
    CmdCancelListing.SetToolTipText("停止读取，回到原来的位置");
    CmdCancelListing.SetVisible(false);
    mDataList.resize(1);
    mSelDataList.resize(1);
}

std::vector<ui::Control*> frmOpenDialog::Controls() {
    return {&LblLocation, &ComboLocation, &CmdUpLocation, &CmdConnectLocation, &CmdDisConnectLocation,
            &CmdAddLocation, &OptThumbs, &OptReport, &OptList, &LVDataList, &LblSelectName, &TxtDataName,
            &LblFilterType, &ComboFilter, &CmdAddData, &CmdCancel, &LblListing, &CmdCancelListing};
}

gis::WindowHandle frmOpenDialog::Window() { return platform_.ui.HandleOf(*this); }

void frmOpenDialog::Form_Load() {
    Steps step(platform_, "Marbrook.frmOpenDialog.Form_Load:");
    try {
        step(100);
        msSdeDataPath = text::JoinPath(platform_.system.Library().folder, "sdedata");
        step(101);
        mbOKClick = false;
    } catch (...) {
        step.Report();
    }
}

// ---- Building the first view and replaying the remembered location ---------

bool frmOpenDialog::InitDataList(std::string& /*sSdeDataPath*/) noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.InitDataList:");
    bool result = false;
    try {
        step(100);
        result = false;
        step(101);
        mDataList.assign(1, DataItem{});
        mSelDataList.assign(1, DataItem{});
        mComboList.assign(1, DataNode{});
        step(102);
        InitComboList(platform_, mComboList, ComboLocation, 0);
        step(103);
        ComboFilter.Clear();
        ComboFilter.AddItem(std::string(kFilterTexts[0]));
        ComboFilter.SetItemData(0, 0);
        ComboFilter.SetListIndex(0);
        step(104);
        LVDataList.SetView(ui::ListView::kList);
        // The view buttons follow, so that a report view left from the last
        // display does not stay pressed over a list view.
        OptReport.SetValue(false);
        OptThumbs.SetValue(false);
        OptList.SetValue(true);
        RefreshDataList(LVDataList.View());
        step(105);
        result = true;

        step(106);
        const std::string curDir = gsCurDir;
        if (curDir.empty()) return result;

        // Opens every item of the list as it stands whose text is `wanted`,
        // scanning at most the positions the list had before.
        const auto openRootItems = [&](const std::string& wanted) {
            const std::string upper = text::UpperAscii(wanted);
            const long before = LVDataList.Count();
            for (long pos = 1; pos <= before && pos <= LVDataList.Count(); ++pos) {
                if (text::UpperAscii(LVDataList.At(pos).text) != upper) continue;
                if (!OpenRootEntry(pos)) return false;
                if (listingCancelled_) return false;
            }
            return true;
        };

        step(107);
        const bool isFile = platform_.system.FileExists(curDir);
        if (isFile || platform_.system.FolderExists(curDir)) {
            step(108);
            std::vector<std::string> parts;
            for (std::size_t from = 0;;) {
                const auto slash = curDir.find('/', from);
                parts.push_back(curDir.substr(from, slash == std::string::npos ? std::string::npos : slash - from));
                if (slash == std::string::npos) break;
                from = slash + 1;
            }
            step(109);
            // An absolute path starts at the root volume "/"; each folder
            // below it is then entered by name.
            const std::string driveText = parts.front().empty() ? std::string("/") : parts.front() + "/";
            if (!openRootItems(driveText)) return result;
            step(110);
            // A level the user gave up on (cancelled) ends the replay there.
            for (std::size_t i = 1; i < parts.size() && !listingCancelled_; ++i) SetSub(parts[i]);
            step(111);
            if (isFile && !listingCancelled_) SetSub(text::FileNamePart(curDir));
        } else if (curDir == kDatabaseRootName ||
                   (curDir.size() >= 4 && text::UpperAscii(curDir.substr(curDir.size() - 4)) == ".SDE")) {
            step(112);
            if (!openRootItems(kDatabaseRootName)) return result;
            step(113);
            if (curDir != kDatabaseRootName && !listingCancelled_) SetSub(curDir);
        }
    } catch (...) {
        IgnoreFailure([&] { platform_.ui.SetMousePointer(MousePointer::Default); });
        step.Report();
    }
    return result;
}

bool frmOpenDialog::OpenRootEntry(long position) {
    LVDataList.ClearSelection();
    LVDataList.SetSelected(position, true);
    const long idx = LVDataList.At(position).tag;
    if (idx < 0) return false;
    platform_.ui.SetMousePointer(MousePointer::Hourglass);
    TxtDataName.SetText(mDataList.at(static_cast<std::size_t>(idx)).DataName);
    SelectRootLocation(idx);
    RefreshDataList(LVDataList.View());
    return true;
}

void frmOpenDialog::SelectRootLocation(long idx) {
    // A location list whose drive query failed holds the root alone while
    // the data list shows the drives: one failure must not become a second
    // one here, so the top level is read again.
    if (idx + 1 > ComboLocation.Count()) InitComboList(platform_, mComboList, ComboLocation, 0);
    ComboLocation.Select(idx + 1);
}

long frmOpenDialog::FindListItem(const std::string& sName, long lastPosition) const {
    lastPosition = std::min(lastPosition, LVDataList.Count());
    // Linux names differ by case: "Data" and "data" may both exist, so an
    // exact name wins over one that only matches ignoring case.
    for (long pos = 1; pos <= lastPosition; ++pos) {
        const auto& item = LVDataList.At(pos);
        if (item.text == sName) return pos;
        const long tag = item.tag;
        if (tag > 0 && tag < static_cast<long>(mDataList.size()) &&
            IsRepairedNameOf(mDataList[static_cast<std::size_t>(tag)], sName))
            return pos;
    }
    const std::string upper = text::UpperAscii(sName);
    for (long pos = 1; pos <= lastPosition; ++pos)
        if (text::UpperAscii(LVDataList.At(pos).text) == upper) return pos;
    return 0;
}

DataNode frmOpenDialog::ChildNodeOf(long idx, long parent) const {
    const DataItem& item = mDataList.at(static_cast<std::size_t>(idx));
    DataNode node;
    node.DataLocation = item.DataLocation;
    node.DataType = item.DataType;
    node.DataName = item.DataName;
    node.DataTypeDesc = item.DataTypeDesc;
    node.DataFullName = item.DataFullName;
    node.Level = static_cast<std::int16_t>(mComboList.at(static_cast<std::size_t>(parent)).Level + 1);
    node.ParentNode = static_cast<std::int16_t>(parent);
    node.ChildNode = -1;
    return node;
}

void frmOpenDialog::SetSub(const std::string& sName) noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.SetSub:");
    try {
        step(100);
        const long pos = FindListItem(sName, LVDataList.Count());
        if (pos == 0) return;
        LVDataList.ClearSelection();
        LVDataList.SetSelected(pos, true);
        step(101);
        const long idx = LVDataList.At(pos).tag;
        if (idx < 0) return;
        step(102);
        platform_.ui.SetMousePointer(MousePointer::Hourglass);
        TxtDataName.SetText(mDataList.at(static_cast<std::size_t>(idx)).DataName);
        step(103);
        const auto* current = ComboLocation.SelectedItem();
        if (current == nullptr) ThrowObjectNotSet();
        const DataNode node = ChildNodeOf(idx, current->tag);
        step(104);
        mCurNode = CloneComboList(node);
        RefreshComboList(platform_, mComboList, ComboLocation, node);
        step(105);
        RefreshDataList(LVDataList.View());
    } catch (...) {
        IgnoreFailure([&] { platform_.ui.SetMousePointer(MousePointer::Default); });
        step.Report();
    }
}

// ---- Data list and views -----------------------------------------------------

void frmOpenDialog::RefreshDataList(int lvStyle) noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.RefreshDataList:");
    listingCancelled_ = false;
    // What the list shows now: put back as it was when the user cancels the
    // listing of the new location.
    ShownList before;
    try {
        step(100);
        before.dataList = std::move(mDataList);
        mDataList.assign(1, DataItem{});
        step(101);
        if (ComboLocation.SelectedItem() == nullptr) ComboLocation.Select(ComboLocation.Count());
        step(102);
        const auto* selected = ComboLocation.SelectedItem();
        if (selected == nullptr) ThrowObjectNotSet();
        const DataNode node = mComboList.at(static_cast<std::size_t>(selected->tag));
        step(103);
        before.text = TxtDataName.Text();
        before.addEnabled = CmdAddData.Enabled();
        before.items = LVDataList.TakeItems();
        TxtDataName.SetText({});
        platform_.ui.SetMousePointer(MousePointer::Hourglass);
        step(104);
        const auto filter = static_cast<std::int16_t>(ComboFilter.ItemData(ComboFilter.ListIndex()));
        step(105);
        long count = 0;
        // Every location but the root (the mount table) is listed off the
        // interface thread: a dead mount or an unreachable server must not
        // freeze the host.
        browser::ListingWork work;
        // The window the listings that open a workspace name as their parent.
        const bool opensWorkspace = node.DataLocation == dlFolder || node.DataLocation == dlSdeConnection ||
                                    node.DataLocation == dlPersonalGdb || node.DataLocation == dlSdeFeatureDataset ||
                                    node.DataLocation == dlPgdbFeatureDataset;
        const gis::WindowHandle window = opensWorkspace ? Window() : gis::kNoWindow;
        switch (node.DataLocation) {
        case dlCatalogRoot: {
            step(106);
            InitComboList(platform_, mComboList, ComboLocation, 0);
            step(107);
            count = GetLocalDrives4Datalist(platform_, mDataList);
            step(108);
            mDataList.resize(static_cast<std::size_t>(std::max(count, 0L)) + 1);
            mDataList[0] = DataItem{};
            mDataList[0].DataLocation = dlCatalogRoot;
            mDataList[0].DataName = kCatalogRootName;
            if (giDataSourceType == 1) {
                mDataList.push_back(DatabaseRootItem(msSdeDataPath));
                count = static_cast<long>(mDataList.size()) - 1;
            }
            break;
        }
        case dlFolder:
            step(109);
            work = [folder = text::Trim(node.DataFullName), filter, window](Platform& p, DataItems& items, ListingProgress& progress) {
                std::string path = folder;
                return GetSubFolderFiles(p, path, items, filter, window, &progress);
            };
            break;
        case dlDatabaseRoot:
            step(110);
            work = [folder = msSdeDataPath](Platform& p, DataItems& items, ListingProgress&) { return GetSDEDataFile(p, folder, items); };
            break;
        case dlSdeConnection:
            step(111);
            work = [file = node.DataFullName, filter, window](Platform& p, DataItems& items, ListingProgress&) {
                return OpenSdeConnectionEx(p, file, items, filter, window);
            };
            break;
        case dlPersonalGdb:
            step(112);
            work = [file = node.DataFullName, filter, window](Platform& p, DataItems& items, ListingProgress&) {
                return GetPGMdbFiles(p, file, items, filter, window);
            };
            break;
        case dlSdeFeatureDataset:
            step(113);
            work = [file = node.DataFullName, name = node.DataName, filter, window](Platform& p, DataItems& items, ListingProgress&) {
                return OpenFeatureDatasetFromSDEEx(p, file, name, items, filter, window);
            };
            break;
        case dlPgdbFeatureDataset:
            step(114);
            work = [file = node.DataFullName, name = node.DataName, filter, window](Platform& p, DataItems& items, ListingProgress&) {
                return OpenFeatureDatasetFromPGeoDBEx(p, file, name, items, filter, window);
            };
            break;
        case dlCadFile:
            step(115);
            work = [file = node.DataFullName, filter](Platform& p, DataItems& items, ListingProgress&) {
                return GetCadFiles(p, file, items, filter);
            };
            break;
        default:
            step(116);
            UpdateAddButton();
            platform_.ui.SetMousePointer(MousePointer::Default);
            return;
        }
        long shown = 0;
        std::exception_ptr aliasFailure;
        const bool background = static_cast<bool>(work);
        if (background) {
            // The report view's columns come first: entries are shown in
            // them as they are found.
            PrepareView(lvStyle, step, 118);
            const Listed listed = ListInBackground(std::move(work), lvStyle == ui::ListView::kReport, {});
            if (listed.cancelled) {
                step(126);
                RestoreList(std::move(before));
                RestoreShownLocation();
                listingCancelled_ = true;
                return;
            }
            count = listed.count;
            aliasFailure = listed.aliasFailure;
            shown = LVDataList.Count();
        }
        step(117);
        // The location now listed is the current one, however it was reached
        // (the up button and entering a drive from the root included): the
        // location combo compares against it, so choosing the entry again
        // after going up lists it rather than doing nothing.
        if (const auto* listed = ComboLocation.SelectedItem())
            mCurNode = CloneComboList(mComboList.at(static_cast<std::size_t>(listed->tag)));
        if (!background) PrepareView(lvStyle, step, 118);
        ShowItems(lvStyle, shown + 1, count, 0, step, 118);
        ReportAliasFailure(aliasFailure, step, 122);
        FinishDisplay(step, 124);
        RememberShownLocation();
    } catch (...) {
        UpdateAddButton();
        IgnoreFailure([&] { platform_.ui.SetMousePointer(MousePointer::Default); });
        step.Report();
    }
}

void frmOpenDialog::RefreshDataListEx(int lvStyle, long iSelIndex) noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.RefreshDataListEx:");
    try {
        step(100);
        LVDataList.ClearItems();
        TxtDataName.SetText({});
        platform_.ui.SetMousePointer(MousePointer::Hourglass);
        step(101);
        const long count = static_cast<long>(mDataList.size()) - 1;
        PrepareView(lvStyle, step, 102);
        ShowItems(lvStyle, 1, count, iSelIndex, step, 102);
        if (lvStyle == ui::ListView::kReport) {
            // The aliases are read off the interface thread and come into
            // their column as they are read; cancelling leaves the rest empty.
            const bool any = std::any_of(mDataList.begin() + 1, mDataList.end(), [](const DataItem& e) { return e.pDataSetObj != nullptr; });
            if (any) {
                step(106);
                const Listed listed = ListInBackground({}, true, mDataList);
                ReportAliasFailure(listed.aliasFailure, step, 106);
            }
        }
        FinishDisplay(step, 108);
    } catch (...) {
        UpdateAddButton();
        IgnoreFailure([&] { platform_.ui.SetMousePointer(MousePointer::Default); });
        step.Report();
    }
}

// The end of every display of the list: the selected item's name in the name
// box, the add button following the selection, the normal pointer, a redraw.
void frmOpenDialog::FinishDisplay(Steps& step, int firstStep) {
    step(firstStep);
    if (const auto* item = LVDataList.SelectedItem())
        TxtDataName.SetText(mDataList.at(static_cast<std::size_t>(item->tag)).DataName);
    UpdateAddButton();
    step(firstStep + 1);
    platform_.ui.SetMousePointer(MousePointer::Default);
    LVDataList.Refresh();
}

void frmOpenDialog::PrepareView(int lvStyle, Steps& step, int firstStep) {
    if (lvStyle != ui::ListView::kReport) return;
    step(firstStep + 1);
    LVDataList.SetView(ui::ListView::kReport);
    step(firstStep + 2);
    LVDataList.ClearColumns();
    LVDataList.SetSortKey(-1, false);
    // Widths in single precision, as the list computes them; a narrow list
    // must not give the type column a negative width.
    const float third = static_cast<float>(LVDataList.Width()) / 3.0f;
    const double nameWidth = std::max(0.0f, third);
    const double typeWidth = std::max(0.0f, third - 320.0f);
    LVDataList.AddColumn("数据名", nameWidth);
    LVDataList.AddColumn("数据别名", nameWidth);
    LVDataList.AddColumn("数据类型", typeWidth);
}

void frmOpenDialog::ShowItems(int lvStyle, long from, long count, long selIndex, Steps& step, int firstStep) {
    // A routine may report more entries than it left in the list, and a
    // list shown while it was read may hold more than the routine counts.
    count = std::clamp(count, 0L, static_cast<long>(mDataList.size()) - 1);
    if (LVDataList.Count() > count) LVDataList.Truncate(count);
    if (lvStyle >= ui::ListView::kIcon && lvStyle <= ui::ListView::kList) step(firstStep);
    else if (lvStyle != ui::ListView::kReport) return;
    for (long i = std::max(from, 1L); i <= count; ++i) {
        if (lvStyle == ui::ListView::kReport) step(firstStep + 3);
        const long pos = AddShownItem(mDataList[static_cast<std::size_t>(i)], i, lvStyle);
        if (i == selIndex) LVDataList.SetSelected(pos, true);
    }
}

long frmOpenDialog::AddShownItem(const DataItem& entry, long index, int lvStyle) {
    const long pos = LVDataList.AddItem(entry.DataName, entry.DataType, entry.DataType);
    if (lvStyle == ui::ListView::kReport) {
        LVDataList.SetSubItem(pos, 1, {});
        LVDataList.SetSubItem(pos, 2, entry.DataTypeDesc);
    }
    LVDataList.SetTag(pos, index);
    return pos;
}

void frmOpenDialog::ReportAliasFailure(const std::exception_ptr& failure, Steps& step, int atStep) {
    if (!failure) return;
    // One entry per display, however many datasets failed, at the step that
    // reads the aliases.
    step(atStep);
    try {
        std::rethrow_exception(failure);
    } catch (...) {
        step.Report();
    }
}

frmOpenDialog::Listed frmOpenDialog::ListInBackground(browser::ListingWork work, bool aliases, DataItems names) {
    const bool listingWork = static_cast<bool>(work);
    std::shared_ptr<browser::Listing> listing =
        listingWork ? std::make_shared<browser::Listing>(platform_, std::move(work), aliases)
                    : std::make_shared<browser::Listing>(platform_, std::move(names));
    const int lvStyle = LVDataList.View();
    std::exception_ptr pumpFailure;
    listing->onPump = [this, raw = listing.get(), lvStyle, &pumpFailure] {
        try {
            return PumpListing(*raw, lvStyle);
        } catch (...) {
            pumpFailure = std::current_exception();
            raw->Cancel();
            return ui::BackgroundTask::Progress::Finished;
        }
    };
    listing->onBusy = [this] {
        IgnoreFailure([&] {
            LblListing.SetCaption(kListingText);
            LblListing.SetVisible(true);
            CmdCancelListing.SetVisible(true);
            // The form still answers the user: the pointer says so.
            platform_.ui.SetMousePointer(MousePointer::ArrowHourglass);
        });
    };
    listing_ = listing;
    // However the wait ends: the form is no longer busy, and the listing no
    // longer calls into it.
    struct Done {
        frmOpenDialog& form;
        browser::Listing& listing;
        ~Done() {
            listing.onPump = nullptr;
            listing.onBusy = nullptr;
            form.listing_.reset();
            IgnoreFailure([&] {
                form.LblListing.SetVisible(false);
                form.CmdCancelListing.SetVisible(false);
            });
        }
    } done{*this, *listing};
    platform_.ui.RunBackground(*this, listing);
    if (pumpFailure) std::rethrow_exception(pumpFailure);
    Listed listed;
    if (listing->Cancelled()) {
        listed.cancelled = true;
        return listed;
    }
    if (!listing->Drained()) {
        listing->Cancel();
        throw PlatformError(errnum::kAutomationError, "Marbrook", "the listing ended before its work");
    }
    if (const auto failure = listing->Failure()) std::rethrow_exception(failure);
    listed.aliasFailure = listing->AliasFailure();
    if (listingWork) listed.count = listing->TakeResult(mDataList);
    return listed;
}

ui::BackgroundTask::Progress frmOpenDialog::PumpListing(browser::Listing& listing, int lvStyle) {
    // A turn of the event loop takes in this much at most, so that the
    // window keeps answering while a big folder comes in.
    constexpr std::size_t kSlice = 2000;
    listing.ServeMessages(platform_.ui);
    if (listing.Cancelled()) return ui::BackgroundTask::Progress::Finished;
    DataItems found;
    const long first = listing.TakeFound(found, kSlice);
    for (std::size_t k = 0; k < found.size(); ++k) AddShownItem(found[k], first + static_cast<long>(k), lvStyle);
    for (auto& [index, alias] : listing.TakeAliases(kSlice))
        if (index >= 1 && index <= LVDataList.Count() && LVDataList.At(index).tag == index)
            LVDataList.SetSubItem(index, 1, std::move(alias));
    if (LblListing.Visible()) LblListing.SetCaption("正在读取数据，已找到 " + std::to_string(listing.FoundSoFar()) + " 项…");
    if (listing.Drained()) return ui::BackgroundTask::Progress::Finished;
    // More than a turn's share came in: another turn takes the rest.
    if (!listing.Waiting()) listing.Wake();
    return ui::BackgroundTask::Progress::Working;
}

void frmOpenDialog::CmdCancelListing_Click() noexcept {
    if (listing_) listing_->Cancel();
}

void frmOpenDialog::RestoreList(ShownList before) {
    mDataList = std::move(before.dataList);
    if (mDataList.empty()) mDataList.emplace_back();
    LVDataList.RestoreItems(std::move(before.items));
    TxtDataName.SetText(std::move(before.text));
    CmdAddData.SetEnabled(before.addEnabled);
    platform_.ui.SetMousePointer(MousePointer::Default);
}

void frmOpenDialog::RememberShownLocation() {
    shown_.valid = true;
    shown_.comboList = mComboList;
    shown_.combo = ComboLocation.Items();
    shown_.selected = ComboLocation.SelectedIndex();
    shown_.curNode = mCurNode;
    shown_.curDir = gsCurDir;
}

void frmOpenDialog::RestoreShownLocation() {
    if (!shown_.valid) return;
    mComboList = shown_.comboList;
    ComboLocation.Clear();
    for (const auto& item : shown_.combo) {
        const long pos = ComboLocation.Add(item.text, item.image, item.selectedImage);
        ComboLocation.SetTag(pos, item.tag);
        ComboLocation.SetIndentation(pos, item.indentation);
    }
    ComboLocation.Select(std::min(shown_.selected, ComboLocation.Count()));
    mCurNode = shown_.curNode;
    // The remembered location goes back too: the next display must not
    // start by listing the place the user just gave up on.
    if (gsCurDir != shown_.curDir) SaveCurDir(shown_.curDir);
}

void frmOpenDialog::UpdateAddButton() noexcept {
    IgnoreFailure([&] { CmdAddData.SetEnabled(LVDataList.SelectedItem() != nullptr); });
}

void frmOpenDialog::OptList_Click() noexcept { SwitchView("Marbrook.frmOpenDialog.OptList_Click:", OptList, ui::ListView::kList); }

void frmOpenDialog::OptReport_Click() noexcept {
    SwitchView("Marbrook.frmOpenDialog.OptReport_Click:", OptReport, ui::ListView::kReport);
}

void frmOpenDialog::OptThumbs_Click() noexcept {
    SwitchView("Marbrook.frmOpenDialog.OptThumbs_Click:", OptThumbs, ui::ListView::kIcon);
}

// A view button: the other two buttons off, this one on, the same items
// shown again in the button's mode, without a selection.
void frmOpenDialog::SwitchView(const char* position, ui::OptionButton& chosen, int viewMode) noexcept {
    if (listing_) return; // the form waits for a listing
    Steps step(platform_, position);
    try {
        step(100);
        for (ui::OptionButton* button : {&OptList, &OptReport, &OptThumbs})
            if (button != &chosen) button->SetValue(false);
        chosen.SetValue(true);
        step(101);
        LVDataList.SetView(viewMode);
        step(102);
        RefreshDataListEx(viewMode, 0);
        step(103);
        LVDataList.SetFocus();
    } catch (...) {
        step.Report();
    }
}

// ---- Navigation ----------------------------------------------------------------

void frmOpenDialog::SaveCurDir(const std::string& value) {
    gsCurDir = value;
    platform_.system.SaveSetting(kSettingsApp, kSettingsSection, kSettingsKey, value);
}

void frmOpenDialog::LVDataList_DblClick() noexcept {
    if (listing_) return; // the form waits for a listing
    Steps step(platform_, "Marbrook.frmOpenDialog.LVDataList_DblClick:");
    try {
        step(100);
        const auto* selected = LVDataList.SelectedItem();
        if (selected == nullptr) return;
        const long idx = selected->tag;
        if (idx < 0) return;
        step(101);
        const auto* current = ComboLocation.SelectedItem();
        const long currentTag = current != nullptr ? current->tag : 0;
        platform_.ui.SetMousePointer(MousePointer::Hourglass);
        const DataItem entry = mDataList.at(static_cast<std::size_t>(idx));
        TxtDataName.SetText(entry.DataName);
        step(102);
        const int type = entry.DataType;
        if (IsEnterable(type)) {
            step(103);
            std::string remembered;
            if (type == dtFolder || IsGeodatabaseLike(type) || type == dtCadFile) remembered = entry.DataFullName;
            else if (type == dtDatabaseRoot) remembered = desc::kDatabaseRoot;
            else if (type == dtSdeConnection) remembered = entry.DataName;
            step(104);
            SaveCurDir(remembered);
            step(105);
            if (current == nullptr) ThrowObjectNotSet();
            if (currentTag == 0) {
                SelectRootLocation(idx);
            } else {
                step(106);
                const DataNode node = ChildNodeOf(idx, currentTag);
                mCurNode = CloneComboList(node);
                RefreshComboList(platform_, mComboList, ComboLocation, node);
            }
            step(107);
            platform_.ui.SetMousePointer(MousePointer::Default);
            RefreshDataList(LVDataList.View());
        } else if (type == dtNewSdeConnection) {
            step(108);
            platform_.ui.SetMousePointer(MousePointer::Default);
            step(109);
            if (!RunNewConnectionForm(platform_, msSdeDataPath, Window())) return;
            step(110);
            platform_.ui.SetMousePointer(MousePointer::Default);
            RefreshDataList(LVDataList.View());
        } else if (IsAddable(type)) {
            step(111);
            CmdAddData_Click();
            step(112);
            SaveCurDir(text::ParentFolder(entry.DataFullName));
            step(113);
            platform_.ui.SetMousePointer(MousePointer::Default);
        } else if (type == dtSdeTable) {
            step(114);
            platform_.ui.MessageBox("目前还不支持打开SDE表", ui::MessageIcon::Information, kMessageTitle);
            step(115);
            platform_.ui.SetMousePointer(MousePointer::Default);
        } else {
            step(116);
            platform_.ui.SetMousePointer(MousePointer::Default);
            RefreshDataList(LVDataList.View());
        }
    } catch (...) {
        IgnoreFailure([&] { platform_.ui.SetMousePointer(MousePointer::Default); });
        step.Report();
    }
}

void frmOpenDialog::CmdUpLocation_Click() noexcept {
    if (listing_) return; // the form waits for a listing
    // Every step runs even when the one before it failed; nothing is logged.
    long t = 0;
    IgnoreFailure([&] {
        if (const auto* selected = ComboLocation.SelectedItem()) t = selected->tag;
    });
    IgnoreFailure([&] {
        const long parent = mComboList.at(static_cast<std::size_t>(t)).ParentNode;
        if (parent == 0) {
            InitComboList(platform_, mComboList, ComboLocation, 0);
        } else {
            const DataNode node = mComboList.at(static_cast<std::size_t>(parent));
            RefreshComboListEx(platform_, mComboList, ComboLocation, node, parent);
        }
    });
    IgnoreFailure([&] { RefreshDataList(LVDataList.View()); });
    IgnoreFailure([&] { LVDataList.SetFocus(); });
}

void frmOpenDialog::ComboLocation_Click() noexcept {
    if (listing_) return; // the form waits for a listing
    Steps step(platform_, "Marbrook.frmOpenDialog.ComboLocation_Click:");
    try {
        step(100);
        const auto* selected = ComboLocation.SelectedItem();
        if (selected == nullptr) ThrowObjectNotSet();
        const long t = selected->tag;
        const std::string text = selected->text;
        const DataNode node = mComboList.at(static_cast<std::size_t>(t));
        step(101);
        if (IsComboListEqual(mCurNode, node)) return;
        step(102);
        mCurNode = CloneComboList(node);
        step(103);
        if (node.ChildNode == -1 && node.ParentNode == 0) {
            InitComboList1(platform_, mComboList, ComboLocation, text);
        } else {
            RefreshComboListEx(platform_, mComboList, ComboLocation, node, t);
        }
        step(104);
        RefreshDataList(LVDataList.View());
        step(105);
        LVDataList.SetFocus();
    } catch (...) {
        step.Report();
    }
}

// ---- Keys, typed places and sorting ---------------------------------------------

void frmOpenDialog::LVDataList_KeyDown(int KeyCode, int Shift) noexcept {
    if (listing_ || Shift != 0) return;
    if (KeyCode == kKeyReturn) EnterOnSelection();
    else if (KeyCode == kKeyBack) CmdUpLocation_Click();
}

void frmOpenDialog::Form_KeyDown(int KeyCode, int Shift) noexcept {
    if (listing_) return;
    if (KeyCode == kKeyUp && Shift == kAltMask) CmdUpLocation_Click();
}

void frmOpenDialog::EnterOnSelection() {
    const auto* selected = LVDataList.SelectedItem();
    if (selected == nullptr) return;
    int type = dtUnclassified;
    IgnoreFailure([&] { type = mDataList.at(static_cast<std::size_t>(selected->tag)).DataType; });
    // What a double-click opens (or answers, for a table), chosen alone; the
    // rest is what the add button adds.
    if (LVDataList.SelectedCount() == 1 && (IsEnterable(type) || type == dtNewSdeConnection || type == dtSdeTable)) {
        LVDataList_DblClick();
        return;
    }
    if (CmdAddData.Enabled()) CmdAddData_Click();
}

std::string frmOpenDialog::SelectionNames() const {
    std::string names;
    for (const auto& item : LVDataList.Items()) {
        if (!item.selected || item.tag < 1 || item.tag >= static_cast<long>(mDataList.size())) continue;
        if (!names.empty()) names += ';';
        names += text::Trim(mDataList[static_cast<std::size_t>(item.tag)].DataName);
    }
    return names;
}

void frmOpenDialog::SelectAlone(long position) {
    LVDataList.ClearSelection();
    LVDataList.SetSelected(position, true);
    LVDataList_ItemClick();
}

void frmOpenDialog::TxtDataName_KeyDown(int KeyCode, int Shift) noexcept {
    if (listing_ || KeyCode != kKeyReturn || Shift != 0) return;
    Steps step(platform_, "Marbrook.frmOpenDialog.TxtDataName_KeyDown:");
    try {
        step(100);
        const std::string typed = text::Trim(TxtDataName.Text());
        if (typed.empty()) return;
        // The names the selection put there: Enter acts on the selection.
        if (typed == SelectionNames()) {
            step(101);
            EnterOnSelection();
            return;
        }
        const auto* current = ComboLocation.SelectedItem();
        const DataNode* here = current ? &mComboList.at(static_cast<std::size_t>(current->tag)) : nullptr;
        if (typed.find('/') == std::string::npos) {
            // A name: the item of that name in the list as it stands.
            step(102);
            if (const long pos = FindListItem(typed, LVDataList.Count())) return SelectAlone(pos);
        } else {
            // A path, absolute or from the folder shown.
            step(103);
            std::string path = typed;
            if (path.front() != '/' && here != nullptr && here->DataLocation == dlFolder) path = text::JoinPath(here->DataFullName, path);
            while (path.size() > 1 && path.back() == '/') path.pop_back();
            if (path.front() == '/') {
                step(104);
                const std::string ext = text::UpperAscii(text::ExtensionPart(path));
                const bool place = platform_.system.FolderExists(path) ||
                                   (platform_.system.FileExists(path) && (ext == "MDB" || ext == "DXF" || ext == "DWG" || ext == "SDE"));
                if (place) {
                    step(105);
                    return GoToPath(path);
                }
                if (platform_.system.FileExists(path)) {
                    // A dataset: its folder, with the item selected there.
                    step(106);
                    const std::string folder = text::ParentFolder(path);
                    const bool shown = here != nullptr && here->DataLocation == dlFolder &&
                                       text::Trim(here->DataFullName) == folder;
                    if (!shown) GoToPath(folder);
                    step(107);
                    if (listingCancelled_) return;
                    if (const long pos = FindListItem(text::FileNamePart(path), LVDataList.Count())) return SelectAlone(pos);
                    if (!shown) return; // the folder is shown; the file is not data it lists
                }
            }
        }
        step(108);
        platform_.ui.MessageBox("找不到“" + typed + "”，请检查名称或路径是否正确。", ui::MessageIcon::Information, kMessageTitle);
    } catch (...) {
        IgnoreFailure([&] { platform_.ui.SetMousePointer(MousePointer::Default); });
        step.Report();
    }
}

void frmOpenDialog::GoToPath(const std::string& path) {
    // The drive: the deepest mount point holding the path ("/" holds all).
    long drive = 0;
    std::size_t driveLength = 0;
    for (std::size_t i = 1; i < mComboList.size(); ++i) {
        const DataNode& n = mComboList[i];
        if (n.Level != 1 || n.DataLocation != dlFolder) continue;
        const std::string& root = n.DataFullName;
        const bool holds = root == "/" || path == root || (path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/');
        if (holds && (drive == 0 || root.size() > driveLength)) {
            drive = static_cast<long>(i);
            driveLength = root.size();
        }
    }
    if (drive == 0) throw PlatformError(errnum::kPathNotFound, "Marbrook", "no drive holds " + path);
    // The top level as it stands (the drives are not asked for again), the
    // drive selected, then one entry per level below it; none of them is
    // listed on the way, only the place itself.
    const std::string driveRoot = mComboList[static_cast<std::size_t>(drive)].DataFullName;
    DataNodes topLevel;
    for (DataNode n : mComboList) {
        if (n.Level > 1) continue;
        n.ChildNode = -1;
        if (n.Level == 1 && n.DataLocation == dlFolder && n.DataFullName == driveRoot) drive = static_cast<long>(topLevel.size());
        topLevel.push_back(std::move(n));
    }
    mComboList = std::move(topLevel);
    ShowLocationList(mComboList, ComboLocation, drive);
    DataNode node = mComboList.at(static_cast<std::size_t>(drive));
    const std::string root = node.DataFullName;
    std::string rest = path.size() > root.size() ? path.substr(root == "/" ? 1 : root.size() + 1) : std::string{};
    std::string sofar = root;
    for (std::size_t from = 0; !rest.empty() && from <= rest.size();) {
        const auto slash = rest.find('/', from);
        const std::string part = rest.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        from = slash == std::string::npos ? rest.size() + 1 : slash + 1;
        if (part.empty()) continue;
        sofar = text::JoinPath(sofar, part);
        const bool last = from > rest.size();
        const std::string ext = text::UpperAscii(text::ExtensionPart(part));
        DataNode child;
        const auto kind = [&child](std::int16_t location, std::int16_t type, const char* description) {
            child.DataLocation = location;
            child.DataType = type;
            child.DataTypeDesc = description;
        };
        kind(dlFolder, dtFolder, desc::kFolder);
        if (last && !platform_.system.FolderExists(sofar)) {
            if (ext == "MDB") kind(dlPersonalGdb, dtPersonalGdb, desc::kPersonalGdb);
            else if (ext == "SDE") kind(dlSdeConnection, dtSdeConnection, desc::kSdeConnection);
            else kind(dlCadFile, dtCadFile, desc::kCadFile);
        }
        child.DataName = text::SanitizeUtf8(part);
        child.DataFullName = sofar;
        const auto* parent = ComboLocation.SelectedItem();
        if (parent == nullptr) ThrowObjectNotSet();
        child.ParentNode = static_cast<std::int16_t>(parent->tag);
        child.Level = static_cast<std::int16_t>(mComboList.at(static_cast<std::size_t>(parent->tag)).Level + 1);
        child.ChildNode = -1;
        RefreshComboList(platform_, mComboList, ComboLocation, child);
        node = child;
    }
    mCurNode = CloneComboList(node);
    SaveCurDir(path);
    RefreshDataList(LVDataList.View());
    LVDataList.SetFocus();
}

void frmOpenDialog::LVDataList_ColumnClick(int ColumnHeader) noexcept {
    if (listing_) return;
    Steps step(platform_, "Marbrook.frmOpenDialog.LVDataList_ColumnClick:");
    try {
        step(100);
        if (LVDataList.View() != ui::ListView::kReport || ColumnHeader < 0 ||
            ColumnHeader >= static_cast<int>(LVDataList.Columns().size()))
            return;
        const bool descending = LVDataList.SortKey() == ColumnHeader && !LVDataList.SortDescending();
        step(101);
        // The column's text, then the name: items of one kind in name order.
        const auto& items = LVDataList.Items();
        std::vector<std::string> keys(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto& item = items[i];
            const std::size_t sub = static_cast<std::size_t>(ColumnHeader);
            keys[i] = (sub == 0 ? item.text : sub <= item.subItems.size() ? item.subItems[sub - 1] : std::string{}) + '\x01' + item.text;
        }
        std::vector<std::size_t> order = names::Order(keys.size(), [&](std::size_t i) { return std::string_view(keys[i]); });
        if (descending) std::reverse(order.begin(), order.end());
        step(102);
        LVDataList.Reorder(order);
        LVDataList.SetSortKey(ColumnHeader, descending);
    } catch (...) {
        step.Report();
    }
}

// ---- Filter --------------------------------------------------------------------

bool frmOpenDialog::SetFilterType(std::int16_t iFilterType) noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.SetFilterType:");
    try {
        step(100);
        ComboFilter.Clear();
        step(101);
        const bool known = iFilterType >= 0 && iFilterType < static_cast<int>(kFilterTexts.size());
        const int code = known ? iFilterType : 0;
        ComboFilter.AddItem(std::string(kFilterTexts[static_cast<std::size_t>(code)]));
        step(102);
        ComboFilter.SetItemData(0, code);
        ComboFilter.SetListIndex(0);
        step(103);
        miFilterType = iFilterType;
        return true;
    } catch (...) {
        step.Report();
        return false;
    }
}

// ---- Selection and the two buttons ---------------------------------------------

void frmOpenDialog::LVDataList_ItemClick() noexcept {
    if (listing_) return; // the form waits for a listing
    Steps step(platform_, "Marbrook.frmOpenDialog.LVDataList_ItemClick:");
    try {
        step(100);
        GetSelDataList();
        step(101);
        UpdateAddButton();
    } catch (...) {
        step.Report();
    }
}

void frmOpenDialog::GetSelDataList() noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.GetSelDataList:");
    // The names are gathered first and shown once: with thousands of items
    // selected, growing the box name by name would copy the text each time.
    std::string names;
    try {
        step(100);
        TxtDataName.SetText({});
        mSelDataList.assign(1, DataItem{});
        step(101);
        for (const auto& item : LVDataList.Items()) {
            if (!item.selected) continue;
            step(102);
            const DataItem& from = mDataList.at(static_cast<std::size_t>(item.tag));
            DataItem entry;
            entry.DataLocation = from.DataLocation;
            entry.DataType = from.DataType;
            entry.DataName = from.DataName;
            entry.DataTypeDesc = from.DataTypeDesc;
            entry.DataFullName = from.DataFullName;
            mSelDataList.push_back(std::move(entry));
            step(103);
            if (!names.empty()) names += ';';
            names += text::Trim(from.DataName);
        }
        step(104);
        TxtDataName.SetText(std::move(names));
    } catch (...) {
        IgnoreFailure([&] { TxtDataName.SetText(names); });
        step.Report();
    }
}

long frmOpenDialog::GetSelectDataset(Collection& pSelCol) noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.GetSelectDataset:");
    try {
        step(100);
        for (std::size_t i = 1; i < mSelDataList.size(); ++i) {
            const DataItem& e = mSelDataList[i];
            step(101);
            auto obj = std::make_shared<CLayerObj>();
            step(102);
            if (e.pDataSetObj) obj->pDataSetObj(e.pDataSetObj);
            step(103);
            obj->DataFullName(e.DataFullName);
            obj->DataLocation(e.DataLocation);
            obj->DataName(e.DataName);
            obj->DataTypeDesc(e.DataTypeDesc);
            step(104);
            if (const auto layerType = LayerTypeOf(e.DataType)) obj->DataType(*layerType);
            step(105);
            pSelCol.Add(std::move(obj));
        }
        step(106);
        return pSelCol.Count();
    } catch (...) {
        step.Report();
        return 0;
    }
}

void frmOpenDialog::CmdAddData_Click() noexcept {
    if (listing_) return; // the form waits for a listing
    Steps step(platform_, "Marbrook.frmOpenDialog.CmdAddData_Click:");
    try {
        step(100);
        const auto* selected = LVDataList.SelectedItem();
        if (selected == nullptr) return;
        step(101);
        const int type = mDataList.at(static_cast<std::size_t>(selected->tag)).DataType;
        // A place selected alone is opened, as in every file dialog: a folder
        // or a connection confirmed as the choice would give the caller no
        // layer and close the dialog on nothing.
        if (LVDataList.SelectedCount() == 1 && IsPlace(type)) {
            step(102);
            LVDataList_DblClick();
            return;
        }
        step(103);
        // Every selected item is gathered whole, whatever kind the first one
        // is: copies from the last click carry no datasets, and a choice
        // confirmed with them would lose every layer. A selected item is
        // always gathered: none means the gathering failed (and said so).
        if (GetSelFilesInfos(platform_, mSelDataList, LVDataList, mDataList) == 0) return;
        step(104);
        if (mAddCheck) {
            Collection chosen;
            GetSelectDataset(chosen);
            if (!mAddCheck(chosen)) return;
        }
        step(105);
        mbOKClick = true;
        Hide();
    } catch (...) {
        step.Report();
    }
}

void frmOpenDialog::CmdCancel_Click() noexcept {
    if (listing_) return; // the form waits for a listing
    Steps step(platform_, "Marbrook.frmOpenDialog.cmdCancel_Click:");
    try {
        step(100);
        mbOKClick = false;
        Hide();
    } catch (...) {
        step.Report();
    }
}

} // namespace marbrook
