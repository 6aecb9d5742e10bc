#include "platform/headless/HeadlessUi.h"

#include "platform/error.h"

namespace marbrook::headless {

void HeadlessUi::MessageBox(const std::string& text, ui::MessageIcon, const std::string&) { messages.push_back(text); }

ui::WindowHandle HeadlessUi::HandleOf(ui::Form& form) {
    form.EnsureLoaded();
    return 1;
}

void HeadlessUi::ShowForm(ui::Form& form, bool modal, ui::WindowHandle) {
    if (!onModalShow)
        throw PlatformError(errnum::kNotSupported, "Marbrook", whyNoShow_);
    form.EnsureLoaded();
    form.SetVisibleState(true);
    if (!modal) return;
    onModalShow(form);
    form.SetVisibleState(false);
}

void HeadlessUi::UnloadForm(ui::Form& form) {
    form.SetVisibleState(false);
    form.MarkUnloaded();
}

} // namespace marbrook::headless
