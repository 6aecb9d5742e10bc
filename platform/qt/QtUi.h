#pragma once
// The user-interface services on Qt 6 Widgets.
#include <functional>
#include <memory>

#include "platform/qt/DisplayCheck.h"
#include "platform/ui.h"

class QWidget;

namespace marbrook::qt {

class FormView;

// Makes the view of a form that has a view of its own, none for any other:
// the views of the library's forms come from above this back end, which
// knows forms only as platform/ui.h describes them.
using ViewMaker = std::function<std::unique_ptr<FormView>(ui::Form&)>;

// The UI service of the shared library. It uses the host's QApplication and
// creates one when the host has none (a command-line program showing the
// dialog); without a display it reports a failure instead of aborting. A
// form that `views` makes no view for is shown as a plain column of its
// controls.
std::unique_ptr<ui::UiService> NewQtUi(ViewMaker views = {});

// Makes sure a QApplication exists. Throws PlatformError when none can be
// made: no display, or the process runs a non-widget Qt application.
void EnsureApplication();

// The handle a host passes for one of its windows, and back.
ui::WindowHandle HandleOfWidget(QWidget* widget);
// The widget of a handle, nullptr when the handle names no window of ours.
QWidget* WidgetOfHandle(ui::WindowHandle handle);

// The view's window of a form shown or placed by `service` (a service made by
// NewQtUi), nullptr when it has none. For tests and screenshots.
QWidget* FormWindow(ui::UiService& service, ui::Form& form);
// Brings the form's widgets up to date with its controls now.
void FlushForm(ui::UiService& service, ui::Form& form);

} // namespace marbrook::qt
