// The entry point of the toolkit module. The module is never unloaded: Qt
// and the views keep process-wide objects (the application, the icon cache,
// resources) whose code must outlive every window.
#include <cstring>
#include <type_traits>

#include "platform/qt/QtUi.h"
#include "platform/qt/forms/FormViews.h"
#include "platform/qt/module/QtModule.h"

#ifndef MARBROOK_MODULE_BUILD
#error "MARBROOK_MODULE_BUILD names the build the module belongs to"
#endif

extern "C" __attribute__((visibility("default"))) marbrook::ui::UiService*
marbrook_qt_module_ui(const char* build, marbrook::qt::RaiseEvent raise) noexcept {
    using namespace marbrook;
    static_assert(std::is_same_v<decltype(&marbrook_qt_module_ui), qt::ModuleEntry>);
    if (!build || !raise || std::strcmp(build, MARBROOK_MODULE_BUILD) != 0) return nullptr;
    try {
        return qt::NewQtUi([raise](ui::Form& form) { return qt::MakeFormViewWith(form, raise); }).release();
    } catch (...) {
        return nullptr;
    }
}
