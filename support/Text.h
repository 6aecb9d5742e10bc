#pragma once
// Text helpers for UTF-8 strings and Linux paths.
#include <string>
#include <string_view>

namespace marbrook::text {

// The longest prefix of `s` of at most `maxBytes` bytes that does not end
// inside a UTF-8 character.
std::string CutUtf8(std::string_view s, std::size_t maxBytes);
// `s` with every byte sequence that is not valid UTF-8 replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view s);
[[nodiscard]] bool IsValidUtf8(std::string_view s) noexcept;
// Leading and trailing blanks (space, tab) removed.
std::string Trim(std::string_view s);
// a..z in upper case, every other byte as it is.
constexpr char UpperAscii(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string UpperAscii(std::string_view s);

// Paths use "/" as separator.
std::string JoinPath(std::string_view folder, std::string_view name);
// Everything before the last "/"; "/" for a top-level entry; "" without any "/".
std::string ParentFolder(std::string_view path);
// Everything after the last "/".
std::string FileNamePart(std::string_view path);
// The extension without its dot ("" when the file name has none).
std::string ExtensionPart(std::string_view path);

} // namespace marbrook::text
