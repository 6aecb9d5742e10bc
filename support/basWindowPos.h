#pragma once
// Placement and display of the library's forms.
#include "platform/ui.h"

namespace marbrook {
struct Platform;

// Places `frm` by `iPosType` (0 origin, 1 beside the mouse, 2 vertically
// centred on the parent or screen, 3 bottom-aligned) and shows it;
// `iShowMode` 1 is modal (returns when the form is hidden), 0 modeless and a
// child of `hParent`. Failures are logged, never thrown.
void QMShowForm(Platform& platform, ui::Form& frm, ui::WindowHandle hParent, long iPosType, long iShowMode) noexcept;

} // namespace marbrook
