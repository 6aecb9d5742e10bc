#include "browser/frmOpenDialog.h"

#include "interface/CLayerObj.h"
#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Text.h"

namespace marbrook {

frmOpenDialog::frmOpenDialog(Platform& platform) : ui::Form(platform.ui), platform_(platform) {
    SetCaption("添加数据");
    LblLocation.SetCaption("查找位置");
    CmdUpLocation.SetToolTipText("回到上一级目录");
    CmdUpLocation.SetPicture("up");
    CmdConnectLocation.SetToolTipText("添加新外部目录");
    CmdConnectLocation.SetVisible(false);
    CmdDisConnectLocation.SetToolTipText("删除外部目录");
    CmdDisConnectLocation.SetVisible(false);
    CmdAddLocation.SetToolTipText("删除外部目录");
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
    LblSelectName.SetCaption("选择的数据名");
    TxtDataName.SetToolTipText("选择的数据名");
    LblFilterType.SetCaption("过滤数据类型");
    ComboFilter.SetToolTipText("过滤数据类型");
    CmdAddData.SetCaption("添加(&A)");
    CmdAddData.SetToolTipText("添加");
    CmdCancel.SetCaption("取消(&C)");
    CmdCancel.SetToolTipText("取消");
    mDataList.resize(1);
    mSelDataList.resize(1);
}

std::vector<ui::Control*> frmOpenDialog::Controls() {
    return {&LblLocation, &ComboLocation, &CmdUpLocation, &CmdConnectLocation, &CmdDisConnectLocation,
            &CmdAddLocation, &OptThumbs, &OptReport, &OptList, &LVDataList, &LblSelectName, &TxtDataName,
            &LblFilterType, &ComboFilter, &CmdAddData, &CmdCancel};
}

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

// The browsing logic arrives with the data browser; until then the form
// shows an empty list and returns what a script selected in it.
bool frmOpenDialog::InitDataList(std::string& /*sSdeDataPath*/) noexcept {
    mDataList.assign(1, DataItem{});
    mSelDataList.assign(1, DataItem{});
    return true;
}

bool frmOpenDialog::SetFilterType(std::int16_t iFilterType) noexcept {
    miFilterType = iFilterType;
    return true;
}

void frmOpenDialog::RefreshDataListEx(int, long) noexcept {}
void frmOpenDialog::RefreshDataList(int) noexcept {}
void frmOpenDialog::SetSub(const std::string&) noexcept {}
void frmOpenDialog::GetSelDataList() noexcept {}
void frmOpenDialog::LVDataList_DblClick() noexcept {}
void frmOpenDialog::LVDataList_ItemClick() noexcept {}
void frmOpenDialog::CmdUpLocation_Click() noexcept {}
void frmOpenDialog::ComboLocation_Click() noexcept {}
void frmOpenDialog::OptList_Click() noexcept {}
void frmOpenDialog::OptReport_Click() noexcept {}
void frmOpenDialog::OptThumbs_Click() noexcept {}

void frmOpenDialog::CmdAddData_Click() noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.CmdAddData_Click:");
    try {
        step(100);
        if (LVDataList.SelectedItem() == nullptr) return;
        step(101);
        GetSelFilesInfos(platform_, mSelDataList, LVDataList, mDataList);
        step(102);
        mbOKClick = true;
        Hide();
    } catch (...) {
        step.Report();
    }
}

void frmOpenDialog::CmdCancel_Click() noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.cmdCancel_Click:");
    try {
        step(100);
        mbOKClick = false;
        Hide();
    } catch (...) {
        step.Report();
    }
}

long frmOpenDialog::GetSelectDataset(Collection& pSelCol) noexcept {
    Steps step(platform_, "Marbrook.frmOpenDialog.GetSelectDataset:");
    try {
        step(100);
        for (std::size_t i = 1; i < mSelDataList.size(); ++i) {
            const DataItem& e = mSelDataList[i];
            auto obj = std::make_shared<CLayerObj>();
            if (e.pDataSetObj) obj->pDataSetObj(e.pDataSetObj);
            obj->DataFullName(e.DataFullName);
            obj->DataLocation(e.DataLocation);
            obj->DataName(e.DataName);
            obj->DataTypeDesc(e.DataTypeDesc);
            pSelCol.Add(obj);
        }
        return pSelCol.Count();
    } catch (...) {
        step.Report();
        return 0;
    }
}

} // namespace marbrook
