#include "platform/assembly/ToolkitUi.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/error.h"
#include "platform/qt/module/QtModule.h"

#ifndef MARBROOK_MODULE_BUILD
#error "MARBROOK_MODULE_BUILD names the build the toolkit module must belong to"
#endif
#ifndef MARBROOK_QT_MODULE_FROM_LIBDIR
#define MARBROOK_QT_MODULE_FROM_LIBDIR "marbrook"
#endif

namespace marbrook::assembly {

namespace {

constexpr const char* kSource = "Marbrook";

// The loader's reason, taken (and cleared) so that nothing else reports it.
std::string LoaderError(const char* fallback) {
    const char* why = ::dlerror();
    return why && *why ? std::string(why) : std::string(fallback);
}

// Loads one candidate: the service, or why not.
std::unique_ptr<ui::UiService> LoadFrom(const std::string& path, std::string& why) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        why = "not found";
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
        return nullptr;
    }
    ::dlerror();
    // Never closed: the toolkit keeps process-wide objects (the application,
    // its plugins, caches) whose code must stay mapped until the process ends.
    // Local: its names (the views, the back end) stay apart from the host's.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        why = LoaderError("cannot be loaded");
        return nullptr;
    }
    auto entry = reinterpret_cast<qt::ModuleEntry>(::dlsym(handle, qt::kModuleEntryName));
    if (!entry) {
        why = "has no " + std::string(qt::kModuleEntryName) + " (" + LoaderError("no such symbol") + ")";
        return nullptr;
    }
    std::unique_ptr<ui::UiService> service(entry(MARBROOK_MODULE_BUILD, &qt::RaiseFormEvent));
    if (!service) why = "refused to start (a module of another build than " MARBROOK_MODULE_BUILD ")";
    return service;
}

// Whether the process runs the toolkit already (a Qt host).
bool ToolkitInProcess() {
    void* gui = ::dlopen("libQt6Gui.so.6", RTLD_LAZY | RTLD_NOLOAD);
    ::dlerror();
    if (!gui) return false;
    ::dlclose(gui); // only the reference NOLOAD took
    return true;
}

} // namespace

std::vector<std::string> ToolkitModuleCandidates(const std::string& libraryFolder) {
    if (const char* chosen = std::getenv("MARBROOK_QT_MODULE"); chosen && *chosen) return {chosen};
    if (libraryFolder.empty()) return {};
    const std::filesystem::path base(libraryFolder);
    return {(base / MARBROOK_QT_MODULE_FROM_LIBDIR / qt::kModuleFileName).lexically_normal().string(),
            (base / qt::kModuleFileName).string()};
}

ToolkitUi::ToolkitUi(std::function<std::vector<std::string>()> candidates) : candidates_(std::move(candidates)) {}

ToolkitUi::~ToolkitUi() = default;

ui::UiService& ToolkitUi::Loaded() {
    if (loaded_) return *loaded_;
    if (failure_.empty()) {
        std::string tried;
        const std::vector<std::string> paths = candidates_ ? candidates_() : std::vector<std::string>{};
        for (const std::string& path : paths) {
            std::string why;
            loaded_ = LoadFrom(path, why);
            if (loaded_) break;
            tried += (tried.empty() ? "" : "; ") + path + ": " + why;
        }
        if (loaded_) {
            if (pointer_ != ui::MousePointer::Default) loaded_->SetMousePointer(pointer_);
            return *loaded_;
        }
        failure_ = "cannot show a window: the toolkit module " + std::string(qt::kModuleFileName) + " did not load (" +
                   (tried.empty() ? std::string("no place to look for it") : "tried " + tried) + ")";
    }
    throw PlatformError(errnum::kNotSupported, kSource, failure_);
}

void ToolkitUi::MessageBox(const std::string& text, ui::MessageIcon icon, const std::string& title) {
    Loaded().MessageBox(text, icon, title);
}

void ToolkitUi::SetMousePointer(ui::MousePointer pointer) {
    pointer_ = pointer;
    if (!loaded_ && failure_.empty() && ToolkitInProcess()) {
        try {
            (void)Loaded();
            return; // the pointer was passed on as the module came
        } catch (const PlatformError&) {
            return; // reported when a window is needed
        }
    }
    if (loaded_) loaded_->SetMousePointer(pointer);
}

ui::MousePointer ToolkitUi::GetMousePointer() const { return loaded_ ? loaded_->GetMousePointer() : pointer_; }

ui::Point ToolkitUi::MousePosition() { return Loaded().MousePosition(); }

ui::Rect ToolkitUi::WindowRect(ui::WindowHandle window) { return Loaded().WindowRect(window); }

int ToolkitUi::ScreenHeightTwips() { return Loaded().ScreenHeightTwips(); }

int ToolkitUi::TwipsPerPixelX() { return loaded_ ? loaded_->TwipsPerPixelX() : UiService::TwipsPerPixelX(); }

int ToolkitUi::TwipsPerPixelY() { return loaded_ ? loaded_->TwipsPerPixelY() : UiService::TwipsPerPixelY(); }

ui::WindowHandle ToolkitUi::HandleOf(ui::Form& form) { return Loaded().HandleOf(form); }

void ToolkitUi::SetParentWindow(ui::Form& form, ui::WindowHandle parent) { Loaded().SetParentWindow(form, parent); }

void ToolkitUi::SetWindowPosition(ui::Form& form, ui::WindowHandle insertAfter, int left, int top) {
    Loaded().SetWindowPosition(form, insertAfter, left, top);
}

void ToolkitUi::ShowForm(ui::Form& form, bool modal, ui::WindowHandle parent) { Loaded().ShowForm(form, modal, parent); }

void ToolkitUi::HideForm(ui::Form& form) {
    if (loaded_) return loaded_->HideForm(form);
    form.SetVisibleState(false);
}

void ToolkitUi::UnloadForm(ui::Form& form) {
    if (loaded_) return loaded_->UnloadForm(form);
    form.SetVisibleState(false);
    form.MarkUnloaded();
}

void ToolkitUi::RunBackground(ui::Form& form, std::shared_ptr<ui::BackgroundTask> task) {
    Loaded().RunBackground(form, std::move(task));
}

} // namespace marbrook::assembly
