#pragma once
// The data browser: the modal form in which the user walks the catalogue
// and picks data. Toolkit-neutral: a view binds its controls to widgets.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/basOpenDialogs.h"
#include "platform/object.h"
#include "platform/ui.h"

namespace marbrook {
struct Platform;
class Steps;

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

    // Read access to the form's lists, for views and tests.
    [[nodiscard]] const DataItems& DataList() const noexcept { return mDataList; }
    [[nodiscard]] const DataItems& SelDataList() const noexcept { return mSelDataList; }
    [[nodiscard]] const DataNodes& ComboList() const noexcept { return mComboList; }
    [[nodiscard]] const DataNode& CurNode() const noexcept { return mCurNode; }

protected:
    void Form_Load() override;

private:
    void SetSub(const std::string& sName) noexcept;
    void RefreshDataList(int lvStyle) noexcept;
    void SwitchView(const char* position, ui::OptionButton& chosen, int viewMode) noexcept;
    void GetSelDataList() noexcept;

    // The window the catalogue and database routines get as their parent.
    gis::WindowHandle Window();
    // Shows mDataList(1..count) in view `lvStyle`, selecting the item whose
    // index is `selIndex`. Steps are counted from `firstStep`.
    void FinishDisplay(Steps& step, int firstStep);
    void ShowItems(int lvStyle, long count, long selIndex, Steps& step, int firstStep);
    // The alias column of a report row: empty for an entry whose name is not
    // a feature class. A platform failure is logged once per display.
    std::string AliasOf(const DataItem& item, Steps& step, bool& failureLogged);
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

    Platform& platform_;
    DataItems mDataList;
    DataItems mSelDataList;
    DataNodes mComboList;
    DataNode mCurNode;
};

} // namespace marbrook
