// The INI reader and writer on any bytes: an input is section, key, value,
// a second section and key (NUL-separated), then the file's content.
//
// Properties: reading never fails; what a write stores reads back
// identically wherever the format can hold it; a write changes no other
// key's value, keeps every other line, and a second identical write
// changes nothing.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/posix/Ini.h"

using marbrook::fuzz::InputReader;
using marbrook::posix::IniRead;
using marbrook::posix::IniWrite;

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool Trimmed(std::string_view s) { return s.empty() || (!Blank(s.front()) && !Blank(s.back())); }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// What the format can hold: one line each, no blanks at the ends (they are
// trimmed), a section name without "]", a key that is neither a comment, a
// section line nor holds "=".
bool Storable(std::string_view section, std::string_view key, std::string_view value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    if (!Trimmed(section) || !Trimmed(key) || !Trimmed(value)) return false;
    if (section.find(']') != std::string_view::npos) return false;
    if (key.empty() || key.front() == ';' || key.front() == '[' || key.find('=') != std::string_view::npos) return false;
    return true;
}

// The lines of a text, each without its line end (CR LF or LF).
std::vector<std::string> Lines(std::string_view s) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        auto nl = s.find('\n', pos);
        const bool last = nl == std::string_view::npos;
        if (last) nl = s.size();
        std::size_t end = nl;
        if (end > pos && s[end - 1] == '\r') --end; // CR LF, or a CR that ends the text
        out.emplace_back(s.substr(pos, end - pos));
        pos = nl + 1;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputReader in(data, size);
    const std::string section(in.Field());
    const std::string key(in.Field());
    const std::string value(in.Field());
    const std::string otherSection(in.Field());
    const std::string otherKey(in.Field());
    const std::string content(in.Rest());

    const auto before = IniRead(content, otherSection, otherKey);
    (void)IniRead(content, section, key);

    const std::string written = IniWrite(content, section, key, value);
    if (!Storable(section, key, value)) return 0;

    FUZZ_CHECK(IniRead(written, section, key) == value);
    FUZZ_CHECK(IniWrite(written, section, key, value) == written);
    if (!(EqualNoCase(section, otherSection) && EqualNoCase(key, otherKey)))
        FUZZ_CHECK(IniRead(written, otherSection, otherKey) == before);

    // Every other line stays as it was: the key's line is replaced in place,
    // or the new line is inserted once, or the section and the line are
    // added at the end.
    const auto oldLines = Lines(content);
    const auto newLines = Lines(written);
    const std::string line = key + "=" + value;
    std::size_t k = 0;
    while (k < oldLines.size() && k < newLines.size() && oldLines[k] == newLines[k]) ++k;
    if (newLines.size() == oldLines.size()) {
        FUZZ_CHECK(k == oldLines.size() || (newLines[k] == line &&
                                            std::equal(oldLines.begin() + k + 1, oldLines.end(), newLines.begin() + k + 1)));
    } else if (newLines.size() == oldLines.size() + 1) {
        FUZZ_CHECK(newLines[k] == line && std::equal(oldLines.begin() + k, oldLines.end(), newLines.begin() + k + 1));
    } else {
        FUZZ_CHECK(newLines.size() == oldLines.size() + 2 && k == oldLines.size());
        FUZZ_CHECK(newLines[k] == "[" + section + "]" && newLines[k + 1] == line);
    }
    return 0;
}
