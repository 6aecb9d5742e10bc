// The views of programs that link the forms' code: events go straight to it.
#include "platform/qt/forms/FormViews.h"

namespace marbrook::qt {

std::unique_ptr<FormView> MakeFormView(ui::Form& form) { return MakeFormViewWith(form, &RaiseFormEvent); }

} // namespace marbrook::qt
