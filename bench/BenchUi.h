#pragma once
// A user interface that shows nothing, for benchmarks: pointer changes and
// windows are not what is measured. A modal show calls `onModalShow` (when
// set) while the form counts as shown, then ends as if the form were hidden.
#include <functional>

#include "platform/ui.h"

namespace marbrook::bench {

class BenchUi final : public ui::UiService {
public:
    std::function<void(ui::Form&)> onModalShow;

    void MessageBox(const std::string&, ui::MessageIcon, const std::string&) override {}
    void SetMousePointer(ui::MousePointer p) override { pointer_ = p; }
    ui::MousePointer GetMousePointer() const override { return pointer_; }
    ui::Point MousePosition() override { return {}; }
    ui::Rect WindowRect(ui::WindowHandle) override { return {}; }
    int ScreenHeightTwips() override { return 768 * 15; }
    ui::WindowHandle HandleOf(ui::Form& form) override {
        form.EnsureLoaded();
        return 1;
    }
    void SetParentWindow(ui::Form&, ui::WindowHandle) override {}
    void SetWindowPosition(ui::Form&, ui::WindowHandle, int, int) override {}
    void ShowForm(ui::Form& form, bool modal, ui::WindowHandle) override {
        form.EnsureLoaded();
        form.SetVisibleState(true);
        if (modal && onModalShow) onModalShow(form);
        if (modal) form.SetVisibleState(false);
    }
    void HideForm(ui::Form& form) override { form.SetVisibleState(false); }
    void UnloadForm(ui::Form& form) override {
        form.SetVisibleState(false);
        form.MarkUnloaded();
    }

private:
    ui::MousePointer pointer_ = ui::MousePointer::Default;
};

} // namespace marbrook::bench
