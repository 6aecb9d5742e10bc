#pragma once
// The data browser: the modal form in which the user walks the catalogue
// and picks data. Toolkit-neutral: a view binds its controls to widgets.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/basOpenDialogs.h"
#include "platform/object.h"
#include "platform/ui.h"

namespace marbrook {
struct Platform;
class Steps;
namespace browser {
class Listing;
using ListingWork = std::function<long(Platform& platform, DataItems& items, ListingProgress& progress)>;
} // namespace browser

class frmOpenDialog : public ui::Form {
public:
    explicit frmOpenDialog(Platform& platform);

    [[nodiscard]] const char* FormName() const noexcept override { return "frmOpenDialog"; }
    [[nodiscard]] std::vector<ui::Control*> Controls() override;

    // Controls.
    ui::Label LblLocation{"LblLocation"};
    ui::ImageCombo ComboLocation{"ComboLocation"};
    ui::CommandButton CmdUpLocation{"CmdUpLocation"};
    ui::CommandButton CmdConnectLocation{"CmdConnectLocation"};
    ui::CommandButton CmdDisConnectLocation{"CmdDisConnectLocation"};
    ui::CommandButton CmdAddLocation{"CmdAddLocation"};
    ui::OptionButton OptThumbs{"OptThumbs"};
    ui::OptionButton OptReport{"OptReport"};
    ui::OptionButton OptList{"OptList"};
    ui::ListView LVDataList{"LVDataList"};
    ui::Label LblSelectName{"LblSelectName"};
    ui::TextBox TxtDataName{"TxtDataName"};
    ui::Label LblFilterType{"LblFilterType"};
    ui::DropDownList ComboFilter{"ComboFilter"};
    ui::CommandButton CmdAddData{"CmdAddData"};
    ui::CommandButton CmdCancel{"CmdCancel"};
    // Shown while a location takes long to list: what goes on, and the way
    // out (Escape does the same).
    ui::BusyIndicator LblListing{"LblListing"};
    ui::CommandButton CmdCancelListing{"CmdCancelListing"};

    // Public state.
    std::string msSdeDataPath;
    bool mbOKClick = false;
    std::int16_t miFilterType = 0;
    // Set by the dialog object while it shows the form: checks the chosen
    // items (as CLayerObj objects) before the form closes on them; false
    // keeps the form shown. None accepts every choice.
    std::function<bool(Collection& chosen)> mAddCheck;

    // Public operations.
    bool InitDataList(std::string& sSdeDataPath) noexcept;
    bool SetFilterType(std::int16_t iFilterType) noexcept;
    void RefreshDataListEx(int lvStyle, long iSelIndex) noexcept;
    long GetSelectDataset(Collection& pSelCol) noexcept;

    // Event handlers.
    void CmdAddData_Click() noexcept;
    void CmdCancel_Click() noexcept;
    void LVDataList_DblClick() noexcept;
    void LVDataList_ItemClick() noexcept;
    void CmdUpLocation_Click() noexcept;
    void ComboLocation_Click() noexcept;
    void OptList_Click() noexcept;
    void OptReport_Click() noexcept;
    void OptThumbs_Click() noexcept;
    // Stops the listing the form waits for; the location shown before stays.
    void CmdCancelListing_Click() noexcept;
    // Keys (codes and shift masks as kKey... and kShift... below). In the
    // list: Enter opens a place alone as a double-click does and adds data
    // as the add button does; Backspace goes up. On the form: Alt+Up goes
    // up. In the name box: Enter goes to the place or selects the item the
    // typed name or path names.
    void LVDataList_KeyDown(int KeyCode, int Shift) noexcept;
    void TxtDataName_KeyDown(int KeyCode, int Shift) noexcept;
    void Form_KeyDown(int KeyCode, int Shift) noexcept;
    // A click on a report column's header: the items in that column's order,
    // the other way round on a second click.
    void LVDataList_ColumnClick(int ColumnHeader) noexcept;

    static constexpr int kKeyBack = 8;
    static constexpr int kKeyReturn = 13;
    static constexpr int kKeyEscape = 27;
    static constexpr int kKeyUp = 38;
    static constexpr int kShiftMask = 1;
    static constexpr int kCtrlMask = 2;
    static constexpr int kAltMask = 4;

    // Read access to the form's lists, for views and tests.
    [[nodiscard]] const DataItems& DataList() const noexcept { return mDataList; }
    [[nodiscard]] const DataItems& SelDataList() const noexcept { return mSelDataList; }
    [[nodiscard]] const DataNodes& ComboList() const noexcept { return mComboList; }
    [[nodiscard]] const DataNode& CurNode() const noexcept { return mCurNode; }
    // A location is being listed off the interface thread: the handlers
    // wait for it (only CmdCancelListing_Click acts).
    [[nodiscard]] bool Listing() const noexcept { return listing_ != nullptr; }
    // The last listing was cancelled by the user.
    [[nodiscard]] bool ListingCancelled() const noexcept { return listingCancelled_; }

protected:
    void Form_Load() override;

private:
    void SetSub(const std::string& sName) noexcept;
    void RefreshDataList(int lvStyle) noexcept;
    void SwitchView(const char* position, ui::OptionButton& chosen, int viewMode) noexcept;
    void GetSelDataList() noexcept;

    // The window the catalogue and database routines get as their parent.
    gis::WindowHandle Window();
    void FinishDisplay(Steps& step, int firstStep);
    // The report view's columns (nothing for the other views).
    void PrepareView(int lvStyle, Steps& step, int firstStep);
    // Shows mDataList(from..count) in view `lvStyle`, selecting the item whose
    // index is `selIndex`; items past `count` go. Steps from `firstStep`.
    void ShowItems(int lvStyle, long from, long count, long selIndex, Steps& step, int firstStep);
    long AddShownItem(const DataItem& entry, long index, int lvStyle);
    void ReportAliasFailure(const std::exception_ptr& failure, Steps& step, int atStep);

    // The list as it is shown, and the location it shows: what a cancelled
    // listing puts back.
    struct ShownList {
        DataItems dataList;
        std::vector<ui::ListView::Item> items;
        std::string text;
        bool addEnabled = false;
    };
    struct ShownLocation {
        bool valid = false;
        DataNodes comboList;
        std::vector<ui::ImageCombo::Item> combo;
        long selected = 0;
        DataNode curNode;
        std::string curDir;
    };
    struct Listed {
        bool cancelled = false;
        long count = 0;
        std::exception_ptr aliasFailure;
    };
    // Runs `work` (or, without it, reads the aliases of `names`) off the
    // interface thread, showing the entries as they come; mDataList is the
    // work's list afterwards unless the user cancelled.
    Listed ListInBackground(browser::ListingWork work, bool aliases, DataItems names);
    ui::BackgroundTask::Progress PumpListing(browser::Listing& listing, int lvStyle);
    void RestoreList(ShownList before);
    void RememberShownLocation();
    void RestoreShownLocation();
    // The add button is usable exactly while the list has a selected item.
    void UpdateAddButton() noexcept;
    // Position (from 1) of the list item that `sName` names, 0 for none.
    long FindListItem(const std::string& sName, long lastPosition) const;
    // Opens list item `position` of the root listing as a root entry; false
    // when the item has no data-list entry.
    bool OpenRootEntry(long position);
    // Selects the location entry of root-listing entry `idx`: both lists hold
    // the same entries in the same order, unless a failed drive query left
    // the location list short; it is then read again.
    void SelectRootLocation(long idx);
    // The location entry for data-list entry `idx`, one level below entry `parent`.
    DataNode ChildNodeOf(long idx, long parent) const;
    void SaveCurDir(const std::string& value);
    // Enter on the selected items: a place alone is opened, anything else added.
    void EnterOnSelection();
    // The names of the selected items as the name box shows them.
    [[nodiscard]] std::string SelectionNames() const;
    // Goes to the folder, drive, database, drawing or connection file at
    // `path` (it exists): the location list gets the chain of places down
    // to it, and it is listed.
    void GoToPath(const std::string& path);
    // Selects the item at `position` alone, as a click does.
    void SelectAlone(long position);

    Platform& platform_;
    DataItems mDataList;
    DataItems mSelDataList;
    DataNodes mComboList;
    DataNode mCurNode;
    std::shared_ptr<browser::Listing> listing_;
    bool listingCancelled_ = false;
    ShownLocation shown_;
};

} // namespace marbrook
