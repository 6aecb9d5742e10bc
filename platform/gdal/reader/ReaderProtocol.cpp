#include "platform/gdal/reader/ReaderProtocol.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace marbrook::gdal::reader {

namespace {

constexpr std::string_view kMagic = "MBRK1\n";
constexpr long kInvalidFileFormat = 321;
constexpr const char* kSource = "Marbrook.GDAL";

using Record = std::vector<std::string>;

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void PutRecord(std::string& out, const Record& record) {
    PutU32(out, static_cast<std::uint32_t>(record.size()));
    for (const std::string& field : record) {
        PutU32(out, static_cast<std::uint32_t>(field.size()));
        out += field;
    }
}

[[noreturn]] void Malformed(const std::string& why) {
    throw PlatformError(kInvalidFileFormat, kSource, "the reader's answer is not understood: " + why);
}

template <class Int>
Int Number(std::string_view text, const char* what) {
    Int value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size())
        Malformed(std::string(what) + " is not a whole number in range");
    return value;
}

bool IsCatalogueKind(int kind) {
    return kind == gis::kind::kFeatureDataset || kind == gis::kind::kFeatureClass || kind == gis::kind::kTable ||
           kind == gis::kind::kRasterDataset || kind == gis::kind::kRasterCatalog;
}

} // namespace

std::string OneLineText(std::string_view text, std::size_t maxBytes) {
    std::string out;
    if (text.size() <= maxBytes) {
        out = text;
    } else {
        // Room for the mark of the cut, and not ending inside a UTF-8
        // character: the first byte left out must not continue one.
        const std::string_view mark = maxBytes >= 3 ? "..." : "";
        std::size_t cut = maxBytes - mark.size();
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        out = std::string(text.substr(0, cut)) + std::string(mark);
    }
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) c = ' ';
    }
    return out;
}

namespace {

class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : rest_(bytes) {}
    [[nodiscard]] bool Empty() const noexcept { return rest_.empty(); }
    std::uint32_t U32() {
        if (rest_.size() < 4) Malformed("it ends inside a length");
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(rest_[i])) << (8 * i);
        rest_.remove_prefix(4);
        return v;
    }
    std::string_view Bytes(std::size_t n) {
        if (rest_.size() < n) Malformed("it ends inside a field");
        const std::string_view out = rest_.substr(0, n);
        rest_.remove_prefix(n);
        return out;
    }

private:
    std::string_view rest_;
};

} // namespace

std::string EncodeAnswer(const Answer& answer) {
    std::string out(kMagic);
    std::size_t records = 0;
    for (const PgeoItem& item : answer.items) {
        PutRecord(out, {"item", item.name, std::to_string(item.kind), item.parent, std::to_string(item.details.featureKind),
                        std::to_string(item.details.shapeKind)});
        ++records;
    }
    if (answer.featuresRead) {
        PutRecord(out, {"read", std::to_string(*answer.featuresRead)});
        ++records;
    }
    if (answer.error) {
        PutRecord(out, {"error", std::to_string(answer.error->number), answer.error->description});
        ++records;
    }
    PutRecord(out, {"end", std::to_string(records)});
    return out;
}

Answer DecodeAnswer(std::string_view bytes, const AnswerBounds& bounds) {
    if (bytes.substr(0, kMagic.size()) != kMagic) Malformed(bytes.empty() ? "it is empty" : "it does not begin as one");
    ByteReader in(bytes.substr(kMagic.size()));
    Answer answer;
    std::size_t records = 0;
    // Each record is read whole before it is judged; no record has more
    // fields than an item.
    constexpr std::uint32_t kMostFields = 6;
    std::vector<std::string_view> fields;
    for (;;) {
        if (in.Empty()) Malformed("it ends before its last record");
        const std::uint32_t count = in.U32();
        if (count == 0 || count > kMostFields) Malformed("a record has " + std::to_string(count) + " fields");
        fields.clear();
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t length = in.U32();
            if (length > bounds.fieldBytes) Malformed("a field of " + std::to_string(length) + " bytes");
            fields.push_back(in.Bytes(length));
        }
        const std::string_view tag = fields[0];
        if (tag == "end") {
            if (count != 2) Malformed("the last record has " + std::to_string(count) + " fields");
            if (Number<std::size_t>(fields[1], "the record count") != records) Malformed("records are missing");
            if (!in.Empty()) Malformed("bytes follow its last record");
            return answer;
        }
        if (++records > bounds.records) Malformed("it has more than " + std::to_string(bounds.records) + " records");
        if (tag == "item") {
            if (count != 6) Malformed("an entry has " + std::to_string(count) + " fields");
            PgeoItem item;
            item.name = fields[1];
            item.kind = Number<int>(fields[2], "a kind");
            if (!IsCatalogueKind(item.kind)) Malformed("an entry of kind " + std::to_string(item.kind));
            item.parent = fields[3];
            item.details.featureKind = Number<int>(fields[4], "a feature kind");
            item.details.shapeKind = Number<int>(fields[5], "a shape kind");
            answer.items.push_back(std::move(item));
        } else if (tag == "read") {
            if (count != 2 || answer.featuresRead) Malformed("a second or malformed count of features");
            const auto n = Number<long long>(fields[1], "a count of features");
            if (n < 0) Malformed("a negative count of features");
            answer.featuresRead = n;
        } else if (tag == "error") {
            if (count != 3 || answer.error) Malformed("a second or malformed failure");
            const long number = Number<long>(fields[1], "a failure's number");
            if (number < std::numeric_limits<std::int32_t>::min() || number > std::numeric_limits<std::int32_t>::max())
                Malformed("a failure's number out of range");
            answer.error = ErrorInfo{number, {}, OneLineText(fields[2], bounds.descriptionBytes)};
        } else {
            Malformed("an unknown record");
        }
    }
}

bool SameAnswer(const Answer& a, const Answer& b) noexcept {
    if (a.items.size() != b.items.size() || a.featuresRead != b.featuresRead || a.error.has_value() != b.error.has_value())
        return false;
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        const PgeoItem& x = a.items[i];
        const PgeoItem& y = b.items[i];
        if (x.name != y.name || x.kind != y.kind || x.parent != y.parent || x.details.featureKind != y.details.featureKind ||
            x.details.shapeKind != y.details.shapeKind)
            return false;
    }
    return !a.error || (a.error->number == b.error->number && a.error->description == b.error->description);
}

} // namespace marbrook::gdal::reader
