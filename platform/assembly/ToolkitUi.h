#pragma once
// The user interface of the real platform: the toolkit module, loaded the
// first time a window is needed. Until then nothing of the toolkit is in the
// process, so that runs which show no window start as fast as a program that
// only links GDAL.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace marbrook::assembly {

// Where the toolkit module is looked for, in order: MARBROOK_QT_MODULE
// alone when it is set; else `marbrook/libmarbrook-qt.so` in the library's
// folder (where `cmake --install` puts it), then `libmarbrook-qt.so` beside
// the library (the build tree). `libraryFolder` is the folder of the library
// the code stands for.
std::vector<std::string> ToolkitModuleCandidates(const std::string& libraryFolder);

// Loads the module from the first candidate that loads, on first need. When
// none does, every call that needs a window throws one PlatformError naming
// each path tried and why it failed (the loader's own words, never printed),
// and the module is not looked for again.
class ToolkitUi final : public ui::UiService {
public:
    explicit ToolkitUi(std::function<std::vector<std::string>()> candidates);
    ~ToolkitUi() override;

    void MessageBox(const std::string& text, ui::MessageIcon icon, const std::string& title) override;
    // Recorded until a window is needed; passed on at once when the
    // process already runs the toolkit (a host's pointer changes as before).
    void SetMousePointer(ui::MousePointer pointer) override;
    [[nodiscard]] ui::MousePointer GetMousePointer() const override;
    [[nodiscard]] ui::Point MousePosition() override;
    [[nodiscard]] ui::Rect WindowRect(ui::WindowHandle window) override;
    [[nodiscard]] int ScreenHeightTwips() override;
    [[nodiscard]] int TwipsPerPixelX() override;
    [[nodiscard]] int TwipsPerPixelY() override;
    [[nodiscard]] ui::WindowHandle HandleOf(ui::Form& form) override;
    void SetParentWindow(ui::Form& form, ui::WindowHandle parent) override;
    void SetWindowPosition(ui::Form& form, ui::WindowHandle insertAfter, int left, int top) override;
    void ShowForm(ui::Form& form, bool modal, ui::WindowHandle parent) override;
    // A form never shown has no window: hiding or unloading it loads nothing.
    void HideForm(ui::Form& form) override;
    void UnloadForm(ui::Form& form) override;
    void RunBackground(ui::Form& form, std::shared_ptr<ui::BackgroundTask> task) override;

    // The module's service, loading it first; throws PlatformError when it
    // cannot be loaded.
    ui::UiService& Loaded();
    // Whether the module is loaded (no attempt is made).
    [[nodiscard]] bool IsLoaded() const noexcept { return service_.load() != nullptr; }

private:
    // The first load, once (a message box may be asked for off the
    // interface thread): service_ is set when the module has come.
    ui::UiService* Load();

    std::function<std::vector<std::string>()> candidates_;
    std::mutex loading_;
    std::unique_ptr<ui::UiService> owned_;
    std::atomic<ui::UiService*> service_{nullptr};
    std::string failure_; // why the module could not be loaded, once tried
    std::atomic<ui::MousePointer> pointer_{ui::MousePointer::Default};
};

} // namespace marbrook::assembly
