// The library's side of the forms' views: raises a view's event on its form.
#include "platform/qt/forms/FormEvents.h"

#include "browser/frmOpenDialog.h"
#include "connections/frmChangeVersion.h"
#include "connections/frmOpenWorkspace.h"

namespace marbrook::qt {

namespace {

void Raise(frmOpenDialog& f, FormEvent event, int a, int b) {
    switch (event) {
    case FormEvent::ComboLocation_Click: f.ComboLocation_Click(); break;
    case FormEvent::CmdUpLocation_Click: f.CmdUpLocation_Click(); break;
    case FormEvent::OptThumbs_Click: f.OptThumbs_Click(); break;
    case FormEvent::OptReport_Click: f.OptReport_Click(); break;
    case FormEvent::OptList_Click: f.OptList_Click(); break;
    case FormEvent::LVDataList_ItemClick: f.LVDataList_ItemClick(); break;
    case FormEvent::LVDataList_DblClick: f.LVDataList_DblClick(); break;
    case FormEvent::LVDataList_KeyDown: f.LVDataList_KeyDown(a, b); break;
    case FormEvent::LVDataList_ColumnClick: f.LVDataList_ColumnClick(a); break;
    case FormEvent::TxtDataName_KeyDown: f.TxtDataName_KeyDown(a, b); break;
    case FormEvent::CmdAddData_Click: f.CmdAddData_Click(); break;
    case FormEvent::CmdCancelListing_Click: f.CmdCancelListing_Click(); break;
    case FormEvent::Form_KeyDown: f.Form_KeyDown(a, b); break;
    case FormEvent::CmdCancel_Click: f.CmdCancel_Click(); break;
    default: break;
    }
}

void Raise(frmOpenWorkspace& f, FormEvent event) {
    switch (event) {
    case FormEvent::txtServer_Change: f.txtServer_Change(); break;
    case FormEvent::txtService_Change: f.txtService_Change(); break;
    case FormEvent::txtDatabase_Change: f.txtDatabase_Change(); break;
    case FormEvent::txtUserName_Change: f.txtUserName_Change(); break;
    case FormEvent::txtPWD_Change: f.txtPWD_Change(); break;
    case FormEvent::ChkUserPwd_Click: f.ChkUserPwd_Click(); break;
    case FormEvent::CmdTextConn_Click: f.CmdTextConn_Click(); break;
    case FormEvent::CmdChangeVersion_Click: f.CmdChangeVersion_Click(); break;
    case FormEvent::CmdOK_Click: f.CmdOK_Click(); break;
    case FormEvent::CmdCancel_Click: f.CmdCancel_Click(); break;
    default: break;
    }
}

void Raise(frmChangeVersion& f, FormEvent event) {
    switch (event) {
    case FormEvent::ComboVersions_Click: f.ComboVersions_Click(); break;
    case FormEvent::CmdOK_Click: f.CmdOK_Click(); break;
    case FormEvent::CmdCancel_Click: f.CmdCancel_Click(); break;
    default: break;
    }
}

} // namespace

void RaiseFormEvent(ui::Form& form, FormEvent event, int a, int b) {
    if (auto* browser = dynamic_cast<frmOpenDialog*>(&form)) return Raise(*browser, event, a, b);
    if (auto* connection = dynamic_cast<frmOpenWorkspace*>(&form)) return Raise(*connection, event);
    if (auto* versions = dynamic_cast<frmChangeVersion*>(&form)) return Raise(*versions, event);
}

} // namespace marbrook::qt
