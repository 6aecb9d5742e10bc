#pragma once
// The toolkit module, libmarbrook-qt.so: the Qt user interface and the views
// of the library's forms, built as a module of its own that the library
// loads (dlopen) the first time a window is needed. A run that shows no
// window (a command-line listing, a host that only re-points layers) maps
// no toolkit library at all. Free of Qt: the library's loader includes it.
#include "platform/qt/forms/FormEvents.h"
#include "platform/ui.h"

namespace marbrook::qt {

inline constexpr const char* kModuleFileName = "libmarbrook-qt.so";
// The module's only public name, a C function of type ModuleEntry.
inline constexpr const char* kModuleEntryName = "marbrook_qt_module_ui";

// Makes the module's user-interface service, its forms' events raised with
// `raise`. `build` names the library's build (kModuleBuild of the loader): a
// module of another build answers nullptr, as it does when the service cannot
// be made. Never throws. The service belongs to the caller.
using ModuleEntry = ui::UiService* (*)(const char* build, RaiseEvent raise) noexcept;

} // namespace marbrook::qt
