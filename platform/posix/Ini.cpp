#include "platform/posix/Ini.h"

#include <vector>

namespace marbrook::posix {

namespace {

struct Line {
    std::string_view text; // without its line end
    std::string_view end;  // "\r\n", "\n" or ""
};

std::vector<Line> SplitLines(std::string_view s) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < s.size()) {
        const auto nl = s.find('\n', pos);
        if (nl == std::string_view::npos) {
            // A file cut between the CR and the LF of its last line end still
            // ends that line there: the CR is not part of the text.
            std::string_view text = s.substr(pos);
            std::string_view end;
            if (!text.empty() && text.back() == '\r') {
                end = text.substr(text.size() - 1);
                text.remove_suffix(1);
            }
            lines.push_back({text, end});
            break;
        }
        std::size_t textEnd = nl;
        if (textEnd > pos && s[textEnd - 1] == '\r') --textEnd;
        lines.push_back({s.substr(pos, textEnd - pos), s.substr(textEnd, nl + 1 - textEnd)});
        pos = nl + 1;
    }
    return lines;
}

std::string_view TrimView(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The section name of a "[name]" line.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = TrimView(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return TrimView(line.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> KeyValueOf(std::string_view line) {
    const auto t = TrimView(line);
    if (t.empty() || t.front() == ';') return std::nullopt;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return KeyValue{TrimView(line.substr(0, eq)), TrimView(line.substr(eq + 1))};
}

} // namespace

std::optional<std::string> IniRead(std::string_view content, std::string_view section, std::string_view key) {
    bool inSection = false;
    for (const Line& line : SplitLines(content)) {
        if (auto s = SectionOf(line.text)) {
            inSection = EqualNoCase(*s, section);
            continue;
        }
        if (!inSection) continue;
        if (auto kv = KeyValueOf(line.text); kv && EqualNoCase(kv->key, key)) return std::string(kv->value);
    }
    return std::nullopt;
}

std::string IniWrite(std::string_view content, std::string_view section, std::string_view key, std::string_view value) {
    const auto lines = SplitLines(content);
    std::string_view eol = "\n";
    for (const auto& l : lines)
        if (l.end.find('\n') != std::string_view::npos) {
            eol = l.end;
            break;
        }
    const std::string newLine = std::string(key) + "=" + std::string(value);

    // Find the first matching section, its first matching key and its last key line.
    std::optional<std::size_t> sectionLine, keyLine, lastKeyLine;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto s = SectionOf(lines[i].text)) {
            if (inSection) break; // the first matching section ends here
            inSection = EqualNoCase(*s, section) && !sectionLine;
            if (inSection) sectionLine = i;
            continue;
        }
        if (!inSection) continue;
        if (auto kv = KeyValueOf(lines[i].text)) {
            lastKeyLine = i;
            if (!keyLine && EqualNoCase(kv->key, key)) keyLine = i;
        }
    }

    std::string out;
    out.reserve(content.size() + newLine.size() + section.size() + 8);
    auto emit = [&](std::string_view text, std::string_view end) {
        out.append(text);
        out.append(end);
    };
    if (!sectionLine) {
        out.append(content);
        if (!out.empty() && out.back() != '\n') out.append(out.back() == '\r' ? "\n" : eol);
        out += "[" + std::string(section) + "]";
        out.append(eol);
        out += newLine;
        out.append(eol);
        return out;
    }
    const std::size_t insertAfter = lastKeyLine.value_or(*sectionLine);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (keyLine && i == *keyLine) {
            emit(newLine, lines[i].end.empty() ? eol : lines[i].end);
            continue;
        }
        emit(lines[i].text, lines[i].end);
        if (!keyLine && i == insertAfter) {
            // The line before the new one may be the file's last, ended by
            // nothing or by a lone CR.
            if (lines[i].end.empty()) out.append(eol);
            else if (lines[i].end == "\r") out.append("\n");
            emit(newLine, eol);
        }
    }
    return out;
}

} // namespace marbrook::posix
