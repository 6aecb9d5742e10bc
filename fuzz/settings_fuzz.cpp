// The settings helpers and the text helpers behind names and paths, on any
// bytes: the settings file's content, a section, a key and a default
// (NUL-separated, the content last), read through GetValueFromIni; and the
// UTF-8 repair and cutting that every shown name and stored value passes.
//
// Properties: a value read from the settings file is at most 254 bytes, a
// prefix of the stored value, holds no NUL, and is valid UTF-8 whenever the
// stored value is; reading never logs a failure; a repaired name is valid
// UTF-8 and equal to the name when that was valid; path helpers split and
// join consistently.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzPlatform.h"
#include "platform/posix/Ini.h"
#include "support/Text.h"
#include "support/basSafe.h"

namespace text = marbrook::text;
using marbrook::fuzz::InputReader;

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputReader in(data, size);
    const std::string section(in.Field());
    const std::string key(in.Field());
    const std::string defaultValue(in.Field());
    const std::string content(in.Rest());

    // The settings file as it stands.
    marbrook::fuzz::MemoryPlatform w;
    const std::string file = marbrook::SettingsFilePath(w.platform);
    w.system.files[file] = content;
    const std::string value = marbrook::GetValueFromIni(w.platform, section, key, defaultValue);
    const std::string stored = marbrook::posix::IniRead(content, section, key).value_or(defaultValue);
    FUZZ_CHECK(w.system.logEntries == 0);
    FUZZ_CHECK(value.size() <= 254);
    FUZZ_CHECK(value.find('\0') == std::string::npos);
    FUZZ_CHECK(StartsWith(stored, value));
    if (text::IsValidUtf8(stored)) FUZZ_CHECK(text::IsValidUtf8(value));
    // A value that fits, without NUL, comes back whole.
    if (stored.size() <= 254 && stored.find('\0') == std::string::npos) FUZZ_CHECK(value == stored);

    // No settings file: it is created holding the default, which then reads back.
    marbrook::fuzz::MemoryPlatform fresh;
    const std::string first = marbrook::GetValueFromIni(fresh.platform, section, key, defaultValue);
    FUZZ_CHECK(first == defaultValue);
    FUZZ_CHECK(fresh.system.files.count(file) == 1);

    FUZZ_CHECK(marbrook::StripNull(w.platform, content) == content.substr(0, content.find('\0')));

    // Names as shown.
    const std::string repaired = text::SanitizeUtf8(content);
    FUZZ_CHECK(text::IsValidUtf8(repaired));
    if (text::IsValidUtf8(content)) FUZZ_CHECK(repaired == content);
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{254}, content.size() / 2}) {
        const std::string part = text::CutUtf8(content, cut);
        FUZZ_CHECK(part.size() <= cut || content.size() <= cut);
        FUZZ_CHECK(StartsWith(content, part));
        if (text::IsValidUtf8(content)) FUZZ_CHECK(text::IsValidUtf8(part));
    }

    // Paths: a name joined to a folder splits back into both.
    const std::string name(key);
    if (!name.empty() && name.find('/') == std::string::npos) {
        const std::string path = text::JoinPath(section, name);
        FUZZ_CHECK(text::FileNamePart(path) == name);
        const std::string parent = text::ParentFolder(path);
        if (!section.empty() && section.find_last_not_of('/') != std::string::npos && section.back() != '/')
            FUZZ_CHECK(parent == section);
        const std::string ext = text::ExtensionPart(path);
        FUZZ_CHECK(ext.empty() || (name.size() > ext.size() && name.substr(name.size() - ext.size()) == ext));
    }
    const std::string trimmed = text::Trim(content);
    FUZZ_CHECK(trimmed.empty() || (trimmed.front() != ' ' && trimmed.front() != '\t' && trimmed.back() != ' ' &&
                                   trimmed.back() != '\t'));
    FUZZ_CHECK(text::UpperAscii(content).size() == content.size());
    return 0;
}
