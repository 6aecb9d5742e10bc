#include "platform/gdal/postgis/ConnectionFile.h"

#include <array>
#include <cstdint>
#include <random>

#include "platform/error.h"

namespace marbrook::gdal::postgis {

namespace {

constexpr std::string_view kHeader = "[Marbrook connection]";
constexpr std::string_view kObfuscated = "obf1:";
constexpr const char* kSource = "Marbrook.GDAL.PostGIS";

[[noreturn]] void BadFile(const std::string& what) {
    throw PlatformError(kInvalidFileFormat, kSource, "not a Marbrook connection file: " + what);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendHex(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0f];
}

// What a line keeps of a name or value is what the reader gives back: the
// reader trims blanks at the line's ends and around a name, ends a name at
// the first "=", and skips lines that start with "#" or ";". Those bytes are
// written as %XX where they would be lost.
std::string Escape(std::string_view text, bool isName) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        const bool atEnd = i + 1 == text.size();
        bool escape = byte < 0x20 || byte == 0x7f || c == '%' || (atEnd && blank(c));
        if (isName) escape = escape || c == '=' || (i == 0 && (blank(c) || c == '#' || c == ';'));
        if (escape) {
            out += '%';
            AppendHex(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        if (i + 2 >= value.size()) BadFile("a cut escape");
        const int hi = HexValue(value[i + 1]);
        const int lo = HexValue(value[i + 2]);
        if (hi < 0 || lo < 0) BadFile("a damaged escape");
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

// A keystream from a fixed key and the salt: the same salt gives the same
// stream, so the password can be revealed again.
std::uint32_t NextKey(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

std::string Xor(std::string_view bytes, std::uint32_t salt) {
    std::uint32_t state = 0x9e3779b9u ^ salt;
    if (state == 0) state = 0x2545f491u;
    std::string out(bytes);
    for (char& c : out) c = static_cast<char>(static_cast<unsigned char>(c) ^ (NextKey(state) & 0xffu));
    return out;
}

std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return line;
}

bool IsPasswordKey(std::string_view key) {
    if (key.size() != 8) return false;
    for (std::size_t i = 0; i < 8; ++i)
        if ((key[i] | 0x20) != "password"[i]) return false;
    return true;
}

} // namespace

std::string ObfuscatePassword(std::string_view password) {
    std::random_device device;
    const std::uint32_t salt = device();
    std::string out(kObfuscated);
    for (int shift = 24; shift >= 0; shift -= 8) AppendHex(out, static_cast<unsigned char>((salt >> shift) & 0xffu));
    for (char c : Xor(password, salt)) AppendHex(out, static_cast<unsigned char>(c));
    return out;
}

std::string RevealPassword(std::string_view stored) {
    if (stored.substr(0, kObfuscated.size()) != kObfuscated) return std::string(stored);
    stored.remove_prefix(kObfuscated.size());
    if (stored.size() < 8 || stored.size() % 2 != 0) BadFile("a damaged password");
    std::string bytes;
    for (std::size_t i = 0; i < stored.size(); i += 2) {
        const int hi = HexValue(stored[i]);
        const int lo = HexValue(stored[i + 1]);
        if (hi < 0 || lo < 0) BadFile("a damaged password");
        bytes += static_cast<char>(hi * 16 + lo);
    }
    std::uint32_t salt = 0;
    for (int i = 0; i < 4; ++i) salt = (salt << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    return Xor(std::string_view(bytes).substr(4), salt);
}

std::string FormatConnectionFile(const gis::PropertySet& properties) {
    std::string out(kHeader);
    out += "\nformat=1\n";
    for (const auto& [name, value] : properties.Properties()) {
        out += Escape(name, true);
        out += '=';
        out += IsPasswordKey(name) && !value.empty() ? ObfuscatePassword(value) : Escape(value, false);
        out += '\n';
    }
    return out;
}

gis::PropertySet ParseConnectionFile(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    gis::PropertySet properties;
    bool header = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = TrimLine(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (!header) {
            if (line != kHeader) BadFile("no header");
            header = true;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) BadFile("a line without a name");
        // Blanks and CRs before the "=" are no name either.
        const std::string_view rawName = TrimLine(line.substr(0, eq));
        if (rawName.empty()) BadFile("a line without a name");
        const std::string name = Unescape(rawName);
        const std::string_view raw = line.substr(eq + 1);
        if (name == "format") {
            if (raw != "1") BadFile("format " + std::string(raw) + " is newer than this library");
            continue;
        }
        properties.SetProperty(name, IsPasswordKey(name) ? RevealPassword(raw) : Unescape(raw));
    }
    if (!header) BadFile("the file is empty");
    return properties;
}

std::string Scrub(std::string text, const std::string& secret) {
    if (secret.empty()) return text;
    for (auto pos = text.find(secret); pos != std::string::npos; pos = text.find(secret, pos + 8))
        text.replace(pos, secret.size(), "********");
    return text;
}

} // namespace marbrook::gdal::postgis
