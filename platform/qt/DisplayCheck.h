#pragma once
// Whether a window system is reachable, asked before anything starts Qt:
// Qt ends the whole process when the local X display it is pointed at is
// gone. Header-only and free of Qt, so that programs which load the library
// at run time can ask too.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace marbrook::qt {

// True when a Qt platform or a Wayland display is named, or DISPLAY names a
// remote X display or a local one whose socket exists.
inline bool DisplayAvailable() {
    const auto value = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    if (!value("QT_QPA_PLATFORM").empty() || !value("WAYLAND_DISPLAY").empty()) return true;
    const std::string display = value("DISPLAY");
    if (display.empty()) return false;
    std::string number;
    if (display.rfind(':', 0) == 0) number = display.substr(1);
    else if (display.rfind("unix:", 0) == 0) number = display.substr(5);
    else return true; // a remote display is trusted
    number = number.substr(0, number.find('.'));
    return number.empty() || std::filesystem::exists("/tmp/.X11-unix/X" + number);
}

} // namespace marbrook::qt
