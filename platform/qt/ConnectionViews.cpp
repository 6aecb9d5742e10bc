// The views of the new-connection form and the version chooser.
#include "platform/qt/FormView.h"

namespace marbrook::qt {

std::unique_ptr<FormView> MakeConnectionView(ui::Form&) { return nullptr; }

} // namespace marbrook::qt
