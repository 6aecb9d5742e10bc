#pragma once
// What the reader program answers, as bytes: written by the reader, read
// back by the library, which trusts none of it.
//
// An answer is the six bytes "MBRK1\n", then records, the last of which is
// ("end", the number of records before it). A record is a field count and
// that many fields, a field a length and that many bytes; counts and
// lengths are 32-bit little-endian. The records:
//   ("item", name, kind, parent, feature kind, shape kind)  one catalogue entry
//   ("read", features)                                      a check that read every feature
//   ("error", number, description)                          the job failed
// Numbers are decimal text.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/gis.h"

namespace marbrook::gdal::reader {

// One entry of a personal geodatabase's catalogue.
struct PgeoItem {
    std::string name;
    int kind = 0;       // gis::kind: feature dataset, feature class, table, raster dataset or catalog
    std::string parent; // the feature dataset it belongs to, "" at the top level
    gis::FeatureClassDetails details;
};

struct Answer {
    std::vector<PgeoItem> items;
    std::optional<long long> featuresRead;
    std::optional<ErrorInfo> error; // source left empty
};

// `text` fit for one line of a log or a terminal: at most `maxBytes` bytes
// (not ending inside a UTF-8 character; "..." marks a cut), control
// characters replaced by blanks. A text made fit stays as it is.
std::string OneLineText(std::string_view text, std::size_t maxBytes);

// Field by field (an error's source aside).
[[nodiscard]] bool SameAnswer(const Answer& a, const Answer& b) noexcept;

// What an answer may hold at most.
struct AnswerBounds {
    std::size_t records = 1'000'000;
    std::size_t fieldBytes = std::size_t{1} << 20;
    std::size_t descriptionBytes = 2000;
};

std::string EncodeAnswer(const Answer& answer);

// The answer the bytes hold. PlatformError (321) saying what is wrong when
// they are not one whole answer within `bounds`: cut short, trailing bytes,
// unknown records, fields of the wrong number or form, numbers out of range,
// kinds that are not catalogue kinds. An error description longer than
// `bounds.descriptionBytes` is cut, and its control characters are replaced.
Answer DecodeAnswer(std::string_view bytes, const AnswerBounds& bounds = {});

} // namespace marbrook::gdal::reader
