// The connection-file reader on any bytes, and the password obfuscation.
//
// Properties: reading fails only with the "not a connection file" error;
// whatever it reads, writing it and reading that again gives the same
// properties (names and values, in order); a password survives
// obfuscation; scrubbing leaves no trace of a secret.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/error.h"
#include "platform/gdal/postgis/ConnectionFile.h"

namespace pg = marbrook::gdal::postgis;

namespace {

// The properties as one line of printable text, for a failure's report.
void Print(const char* label, const marbrook::gis::PropertySet& set) {
    std::fprintf(stderr, "%s:", label);
    for (const auto& [name, value] : set.Properties()) {
        std::fprintf(stderr, " [");
        for (const std::string* s : {&name, &value}) {
            for (const char c : *s) {
                const auto b = static_cast<unsigned char>(c);
                if (b >= 0x20 && b < 0x7f) std::fputc(b, stderr);
                else std::fprintf(stderr, "\\x%02x", b);
            }
            if (s == &name) std::fputc('=', stderr);
        }
        std::fputc(']', stderr);
    }
    std::fputc('\n', stderr);
}

bool Same(const marbrook::gis::PropertySet& a, const marbrook::gis::PropertySet& b) {
    if (a.Properties() == b.Properties()) return true;
    Print("written", a);
    Print("read back", b);
    return false;
}

} // namespace
using marbrook::PlatformError;
using marbrook::fuzz::InputReader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The whole input as a file.
    try {
        const marbrook::gis::PropertySet read = pg::ParseConnectionFile(text);
        const std::string written = pg::FormatConnectionFile(read);
        marbrook::gis::PropertySet again;
        try {
            again = pg::ParseConnectionFile(written);
        } catch (const PlatformError& e) {
            std::fprintf(stderr, "a written file does not read back: %s\n", e.what());
            FUZZ_CHECK(!"written file reads back");
        }
        FUZZ_CHECK(Same(read, again));
    } catch (const PlatformError& e) {
        FUZZ_CHECK(e.Number() == pg::kInvalidFileFormat);
    }

    // The input as a stored password.
    try {
        (void)pg::RevealPassword(text);
    } catch (const PlatformError& e) {
        FUZZ_CHECK(e.Number() == pg::kInvalidFileFormat);
    }

    InputReader in(data, size);
    const std::string password(in.Field());
    const std::string obfuscated = pg::ObfuscatePassword(password);
    FUZZ_CHECK(pg::RevealPassword(obfuscated) == password);

    // Any properties, written and read back. A name is at least one byte.
    marbrook::gis::PropertySet set;
    while (!in.Empty()) {
        const std::string_view field = in.Field();
        const std::string name = field.empty() ? std::string(1, 'x') : std::string(field);
        const std::string value(in.Field());
        if (name == "format") continue; // the file's own
        set.SetProperty(name, value);
    }
    const std::string file = pg::FormatConnectionFile(set);
    try {
        const auto back = pg::ParseConnectionFile(file);
        FUZZ_CHECK(Same(set, back));
    } catch (const PlatformError& e) {
        std::fprintf(stderr, "a written file does not read back: %s\n", e.what());
        FUZZ_CHECK(!"written file reads back");
    }
    for (const auto& [name, value] : set.Properties()) {
        const std::string scrubbed = pg::Scrub(file + value, value);
        if (!value.empty() && value.find('*') == std::string::npos)
            FUZZ_CHECK(scrubbed.find(value) == std::string::npos);
    }
    return 0;
}
