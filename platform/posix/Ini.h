#pragma once
// Private-profile (INI) text, parsed from bytes: case-insensitive section and
// key names, first match wins, a write keeps every other line as it was.
#include <optional>
#include <string>
#include <string_view>

namespace marbrook::posix {

std::optional<std::string> IniRead(std::string_view content, std::string_view section, std::string_view key);
// The content with `key` in `section` set to `value`: the key's line is
// replaced in place, a new key goes after the section's last key, a new
// section at the end.
std::string IniWrite(std::string_view content, std::string_view section, std::string_view key, std::string_view value);

} // namespace marbrook::posix
