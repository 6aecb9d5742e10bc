#include "support/basSafe.h"

#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Text.h"

namespace marbrook {

namespace {
// A 255-byte buffer holds at most 254 bytes of value.
constexpr std::size_t kValueBytes = 254;
} // namespace

std::string SettingsFilePath(Platform& platform) {
    return text::JoinPath(platform.system.Library().folder, "VerdantaSysSet.ini");
}

std::string StripNull(Platform& platform, const std::string& s) {
    Steps step(platform, "basSafe.StripNull:");
    try {
        step(100);
        const auto p = s.find('\0');
        step(101);
        if (p != std::string::npos) {
            step(102);
            return s.substr(0, p);
        }
        step(103);
        return s;
    } catch (...) {
        step.Report();
        return {};
    }
}

std::string GetValueFromIni(Platform& platform, const std::string& sSection, const std::string& sKey,
                            const std::string& sDefault) {
    Steps step(platform, "basSafe.GetValueFromIni:");
    std::string result;
    try {
        step(100);
        result = sDefault;
        step(101);
        auto& fs = platform.system;
        step(102);
        const std::string file = SettingsFilePath(platform);
        step(103);
        if (fs.FileExists(file)) {
            step(104);
            const std::string raw = fs.ReadProfileString(file, sSection, sKey, sDefault);
            step(105);
            result = StripNull(platform, text::CutUtf8(raw, kValueBytes));
        } else {
            step(105);
            fs.CreateEmptyFile(file);
            fs.WriteProfileString(file, sSection, sKey, sDefault);
        }
        step(106);
    } catch (...) {
        step.Report();
    }
    return result;
}

} // namespace marbrook
