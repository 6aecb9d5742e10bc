#pragma once
// The Qt views of the library's own forms: the data browser, the
// new-connection form and the version chooser. They know the forms' controls
// and handlers by name, so they sit above both the toolkit back end and the
// forms; the platform assembly hands them to the back end (qt::NewQtUi).
#include <memory>

#include "platform/qt/FormView.h"

namespace marbrook::qt {

// The view of `form` when it is one of the library's forms; none otherwise.
std::unique_ptr<FormView> MakeFormView(ui::Form& form);

} // namespace marbrook::qt
