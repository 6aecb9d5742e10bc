#pragma once
// The Qt views of the library's own forms: the data browser, the
// new-connection form and the version chooser. They know the forms' controls
// by name, and raise the forms' handlers through a RaiseEvent, so they sit
// above both the toolkit back end and the forms without calling the forms'
// code themselves; the toolkit module hands them to the back end
// (qt::NewQtUi).
#include <memory>

#include "platform/qt/FormView.h"
#include "platform/qt/forms/FormEvents.h"

namespace marbrook::qt {

// The view of `form` when it is one of the library's forms, its events
// raised through `raise`; none otherwise.
std::unique_ptr<FormView> MakeFormViewWith(ui::Form& form, RaiseEvent raise);

// The same, raising the events with RaiseFormEvent: for programs that link
// the library's layers themselves (tests, benchmarks).
std::unique_ptr<FormView> MakeFormView(ui::Form& form);

} // namespace marbrook::qt
