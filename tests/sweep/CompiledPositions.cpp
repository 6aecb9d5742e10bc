#include "tests/sweep/CompiledPositions.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace marbrook::sweep {

namespace {

bool IsNameChar(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

template <class T>
T Read(std::string_view bytes, std::size_t at) {
    if (at + sizeof(T) > bytes.size()) throw std::runtime_error("an object file is cut short");
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof(T));
    return value;
}

// The strings of every allocated, non-executable data section of one ELF
// object (64-bit, little-endian: the machines this library builds on).
void ScanObject(std::string_view object, std::set<std::string>& out) {
    if (object.size() < 64 || object.substr(0, 4) != "\x7f" "ELF" || object[4] != 2 || object[5] != 1) return;
    constexpr std::uint32_t kProgBits = 1;
    constexpr std::uint64_t kAlloc = 2, kExecute = 4;
    const auto sectionTable = Read<std::uint64_t>(object, 0x28);
    const auto entrySize = Read<std::uint16_t>(object, 0x3A);
    const auto sections = Read<std::uint16_t>(object, 0x3C);
    for (std::uint16_t i = 0; i < sections; ++i) {
        const std::size_t header = sectionTable + std::size_t{i} * entrySize;
        const auto type = Read<std::uint32_t>(object, header + 4);
        const auto flags = Read<std::uint64_t>(object, header + 8);
        const auto offset = Read<std::uint64_t>(object, header + 0x18);
        const auto size = Read<std::uint64_t>(object, header + 0x20);
        if (type != kProgBits || (flags & kAlloc) == 0 || (flags & kExecute) != 0) continue;
        if (offset + size > object.size()) throw std::runtime_error("a section lies outside its object file");
        std::string_view data = object.substr(offset, size);
        // C strings: each starts after a NUL (or at the section's start).
        while (!data.empty()) {
            const auto end = data.find('\0');
            const std::string_view text = data.substr(0, end);
            if (IsPositionLiteral(text)) out.emplace(text);
            if (end == std::string_view::npos) break;
            data.remove_prefix(end + 1);
        }
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

bool IsPositionLiteral(std::string_view text) noexcept {
    if (text.size() < 4 || text.back() != ':') return false;
    const std::string_view name = text.substr(0, text.size() - 1);
    if (!((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'))) return false;
    std::size_t parts = 1, length = 0;
    for (const char c : name) {
        if (c == '.') {
            if (length == 0) return false;
            ++parts;
            length = 0;
        } else if (IsNameChar(c)) {
            ++length;
        } else {
            return false;
        }
    }
    return parts >= 2 && length > 0;
}

std::set<std::string> CompiledPositions(const std::vector<std::string>& archives) {
    std::set<std::string> out;
    for (const std::string& path : archives) {
        const std::string bytes = ReadFile(path);
        const std::string_view all(bytes);
        if (all.substr(0, 8) != "!<arch>\n") throw std::runtime_error(path + " is not a static library");
        // Members: a 60-byte header whose bytes 48..57 give the size, then
        // the member, padded to an even length.
        for (std::size_t at = 8; at + 60 <= all.size();) {
            const std::string sizeField(all.substr(at + 48, 10));
            const std::size_t size = std::strtoull(sizeField.c_str(), nullptr, 10);
            if (at + 60 + size > all.size()) throw std::runtime_error(path + " is cut short");
            ScanObject(all.substr(at + 60, size), out);
            at += 60 + size + (size % 2);
        }
    }
    return out;
}

} // namespace marbrook::sweep
