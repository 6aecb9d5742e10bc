#pragma once
// The handlers of the library's own forms, as their views raise them. Free
// of Qt: the library compiles the side that calls the handlers, and the
// views, which may live in a module loaded apart from the library, reach the
// handlers only through a RaiseEvent the library hands them (they cannot call
// the library's code by name).
#include "platform/ui.h"

namespace marbrook::qt {

// Named as the handlers are; a form without the handler ignores the event.
enum class FormEvent {
    // the data browser (frmOpenDialog)
    ComboLocation_Click,
    CmdUpLocation_Click,
    OptThumbs_Click,
    OptReport_Click,
    OptList_Click,
    LVDataList_ItemClick,
    LVDataList_DblClick,
    LVDataList_KeyDown,    // key, shift
    LVDataList_ColumnClick, // column
    TxtDataName_KeyDown,   // key, shift
    CmdAddData_Click,
    CmdCancelListing_Click,
    Form_KeyDown,          // key, shift
    // the new-connection form (frmOpenWorkspace)
    txtServer_Change,
    txtService_Change,
    txtDatabase_Change,
    txtUserName_Change,
    txtPWD_Change,
    ChkUserPwd_Click,
    CmdTextConn_Click,
    CmdChangeVersion_Click,
    // the version chooser (frmChangeVersion)
    ComboVersions_Click,
    // all three
    CmdOK_Click,
    CmdCancel_Click,
};

// Calls the handler of `event` on `form`; `a` and `b` are its arguments
// (key and shift, or column), 0 for handlers that take none.
using RaiseEvent = void (*)(ui::Form& form, FormEvent event, int a, int b);

// The library's RaiseEvent.
void RaiseFormEvent(ui::Form& form, FormEvent event, int a, int b);

} // namespace marbrook::qt
