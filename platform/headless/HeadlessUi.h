#pragma once
// A user interface that shows nothing: the UI service of a build without a
// toolkit, and of programs that run the library's forms without a display
// (benchmarks, fuzz targets). It keeps the state a form and the library read
// back (the pointer, a form's visibility and load state) and counts message
// boxes.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui.h"

namespace marbrook::headless {

class HeadlessUi : public ui::UiService {
public:
    // `whyNoShow` describes the failure of a show when nothing can be shown.
    explicit HeadlessUi(std::string whyNoShow = "this build of Marbrook has no user interface")
        : whyNoShow_(std::move(whyNoShow)) {}

    // Called for a modal show while the form counts as shown; the show then
    // ends as if the form were hidden (a modeless show just marks the form
    // shown). Without it nothing can be shown: every show is PlatformError 438.
    std::function<void(ui::Form&)> onModalShow;
    // The texts of the message boxes "shown" so far, oldest first (each is
    // answered at once).
    std::vector<std::string> messages;

    void MessageBox(const std::string& text, ui::MessageIcon icon, const std::string& title) override;
    void SetMousePointer(ui::MousePointer p) override { pointer_ = p; }
    [[nodiscard]] ui::MousePointer GetMousePointer() const override { return pointer_; }
    // An 800 x 600 window at the origin of a 1024 x 768 screen.
    [[nodiscard]] ui::Point MousePosition() override { return {}; }
    [[nodiscard]] ui::Rect WindowRect(ui::WindowHandle) override { return {0, 0, 800, 600}; }
    [[nodiscard]] int ScreenHeightTwips() override { return 768 * 15; }
    [[nodiscard]] ui::WindowHandle HandleOf(ui::Form& form) override;
    void SetParentWindow(ui::Form&, ui::WindowHandle) override {}
    void SetWindowPosition(ui::Form&, ui::WindowHandle, int, int) override {}
    void ShowForm(ui::Form& form, bool modal, ui::WindowHandle parent) override;
    void HideForm(ui::Form& form) override { form.SetVisibleState(false); }
    void UnloadForm(ui::Form& form) override;
    // Runs the work at once on the calling thread: nothing here can wait.
    void RunBackground(ui::Form&, std::shared_ptr<ui::BackgroundTask> task) override { ui::RunHere(*task); }

private:
    std::string whyNoShow_;
    ui::MousePointer pointer_ = ui::MousePointer::Default;
};

} // namespace marbrook::headless
