#pragma once
// Read access to the shared settings file "VerdantaSysSet.ini" beside the
// library.
#include <string>

namespace marbrook {
struct Platform;

// The value of `sKey` in `sSection`, at most 254 bytes (cut at a character
// boundary). A missing settings file is created holding the default.
std::string GetValueFromIni(Platform& platform, const std::string& sSection, const std::string& sKey,
                            const std::string& sDefault);
// `s` cut before its first NUL character.
std::string StripNull(Platform& platform, const std::string& s);

std::string SettingsFilePath(Platform& platform);

} // namespace marbrook
