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

ui::UiService* ToolkitUi::Load() {
    std::lock_guard lock(loading_);
    if (ui::UiService* service = service_.load()) return service;
    if (failure_.empty()) {
        std::string tried;
        const std::vector<std::string> paths = candidates_ ? candidates_() : std::vector<std::string>{};
        for (const std::string& path : paths) {
            std::string why;
            owned_ = LoadFrom(path, why);
            if (owned_) break;
            tried += (tried.empty() ? "" : "; ") + path + ": " + why;
        }
        if (owned_) {
            if (const ui::MousePointer pointer = pointer_.load(); pointer != ui::MousePointer::Default)
                owned_->SetMousePointer(pointer);
            service_.store(owned_.get());
            return owned_.get();
        }
        failure_ = "cannot show a window: the toolkit module " + std::string(qt::kModuleFileName) + " did not load (" +
                   (tried.empty() ? std::string("no place to look for it") : "tried " + tried) + ")";
    }
    return nullptr;
}

ui::UiService& ToolkitUi::Loaded() {
    if (ui::UiService* service = service_.load()) return *service;
    if (ui::UiService* service = Load()) return *service;
    std::lock_guard lock(loading_);
    throw PlatformError(errnum::kNotSupported, kSource, failure_);
}

void ToolkitUi::MessageBox(const std::string& text, ui::MessageIcon icon, const std::string& title) {
    Loaded().MessageBox(text, icon, title);
}

void ToolkitUi::SetMousePointer(ui::MousePointer pointer) {
    pointer_.store(pointer);
    if (ui::UiService* service = service_.load()) return service->SetMousePointer(pointer);
    // In a process that runs the toolkit already (a Qt host) the pointer
    // changes at once, as it always did; a failure shows when a window is
    // needed.
    if (ToolkitInProcess()) (void)Load();
}

ui::MousePointer ToolkitUi::GetMousePointer() const {
    const ui::UiService* service = service_.load();
    return service ? service->GetMousePointer() : pointer_.load();
}

ui::Point ToolkitUi::MousePosition() { return Loaded().MousePosition(); }

ui::Rect ToolkitUi::WindowRect(ui::WindowHandle window) { return Loaded().WindowRect(window); }

int ToolkitUi::ScreenHeightTwips() { return Loaded().ScreenHeightTwips(); }

int ToolkitUi::TwipsPerPixelX() {
    ui::UiService* service = service_.load();
    return service ? service->TwipsPerPixelX() : UiService::TwipsPerPixelX();
}

int ToolkitUi::TwipsPerPixelY() {
    ui::UiService* service = service_.load();
    return service ? service->TwipsPerPixelY() : UiService::TwipsPerPixelY();
}

ui::WindowHandle ToolkitUi::HandleOf(ui::Form& form) { return Loaded().HandleOf(form); }

void ToolkitUi::SetParentWindow(ui::Form& form, ui::WindowHandle parent) { Loaded().SetParentWindow(form, parent); }

void ToolkitUi::SetWindowPosition(ui::Form& form, ui::WindowHandle insertAfter, int left, int top) {
    Loaded().SetWindowPosition(form, insertAfter, left, top);
}

void ToolkitUi::ShowForm(ui::Form& form, bool modal, ui::WindowHandle parent) { Loaded().ShowForm(form, modal, parent); }

void ToolkitUi::HideForm(ui::Form& form) {
    if (ui::UiService* service = service_.load()) return service->HideForm(form);
    form.SetVisibleState(false);
}

void ToolkitUi::UnloadForm(ui::Form& form) {
    if (ui::UiService* service = service_.load()) return service->UnloadForm(form);
    form.SetVisibleState(false);
    form.MarkUnloaded();
}

void ToolkitUi::RunBackground(ui::Form& form, std::shared_ptr<ui::BackgroundTask> task) {
    Loaded().RunBackground(form, std::move(task));
}

} // namespace marbrook::assembly
