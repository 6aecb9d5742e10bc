// The reader program's answer as the library reads it: untrusted bytes from
// another process.
//
// Properties: reading fails only with the "not understood" error; what is
// read stays within the bounds (record count, kinds, one-line descriptions
// of bounded length); writing it again and reading that gives the same
// answer. The first input byte picks tighter bounds for a second reading.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/error.h"
#include "platform/gdal/reader/ReaderProtocol.h"

namespace reader = marbrook::gdal::reader;
using marbrook::PlatformError;

namespace {

void CheckAnswer(const reader::Answer& a, const reader::AnswerBounds& bounds) {
    FUZZ_CHECK(a.items.size() + (a.featuresRead ? 1 : 0) + (a.error ? 1 : 0) <= bounds.records);
    for (const reader::PgeoItem& item : a.items) {
        FUZZ_CHECK(item.kind == 4 || item.kind == 5 || item.kind == 10 || item.kind == 12 || item.kind == 16);
        FUZZ_CHECK(item.name.size() <= bounds.fieldBytes && item.parent.size() <= bounds.fieldBytes);
    }
    if (a.featuresRead) FUZZ_CHECK(*a.featuresRead >= 0);
    if (a.error) {
        FUZZ_CHECK(a.error->description.size() <= bounds.descriptionBytes);
        for (const char c : a.error->description) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
    }
}

void ReadAndCheck(std::string_view bytes, const reader::AnswerBounds& bounds) {
    reader::Answer a;
    try {
        a = reader::DecodeAnswer(bytes, bounds);
    } catch (const PlatformError& e) {
        FUZZ_CHECK(e.Number() == 321);
        return;
    }
    CheckAnswer(a, bounds);
    reader::Answer again;
    try {
        again = reader::DecodeAnswer(reader::EncodeAnswer(a), bounds);
    } catch (const PlatformError& e) {
        std::fprintf(stderr, "a written answer does not read back: %s\n", e.what());
        FUZZ_CHECK(!"written answer reads back");
    }
    FUZZ_CHECK(reader::SameAnswer(a, again));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    ReadAndCheck(all, {});
    if (size > 0) {
        reader::AnswerBounds tight;
        tight.records = data[0] % 8;
        tight.fieldBytes = data[0] % 64;
        tight.descriptionBytes = data[0] % 32;
        ReadAndCheck(all.substr(1), tight);
    }
    // Any text made fit for one line is one line within its bound, and
    // stays as it is when made fit again.
    const std::string line = reader::OneLineText(all, size % 97);
    FUZZ_CHECK(line.size() <= size % 97);
    for (const char c : line) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
    FUZZ_CHECK(reader::OneLineText(line, size % 97) == line);
    return 0;
}
