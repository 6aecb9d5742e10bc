#include "FirstStart.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace marbrook::host {

namespace {

std::string Home() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/tmp";
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

} // namespace

std::string SampleFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const std::string base = xdg && *xdg == '/' ? std::string(xdg) : Home() + "/.local/share";
    return base + "/marbrook/samples";
}

std::string RememberedLocationFile() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string base = xdg && *xdg == '/' ? std::string(xdg) : Home() + "/.config";
    return base + "/marbrook/VERDANTA.ini";
}

namespace {

std::vector<std::string> ReadLines(const std::string& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The line of `key` in `section` (-1 for none) and the section's header
// line (-1 for none).
std::pair<long, long> Find(const std::vector<std::string>& lines, const std::string& section, const std::string& key) {
    long sectionLine = -1;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string t = Trim(lines[i]);
        if (!t.empty() && t.front() == '[') {
            inSection = Lower(t) == "[" + Lower(section) + "]";
            if (inSection && sectionLine < 0) sectionLine = static_cast<long>(i);
            continue;
        }
        const auto eq = t.find('=');
        if (inSection && eq != std::string::npos && Lower(Trim(t.substr(0, eq))) == Lower(key)) return {static_cast<long>(i), sectionLine};
    }
    return {-1, sectionLine};
}

bool WriteLines(const std::string& file, const std::vector<std::string>& lines) {
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    const std::string temp = file + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const auto& l : lines) out << l << '\n';
        if (!out) return false;
    }
    std::filesystem::rename(temp, file);
    return true;
}

} // namespace

std::string DataSourceTypeFile() {
    const std::string remembered = RememberedLocationFile();
    return remembered.substr(0, remembered.rfind('/')) + "/QM_VERDANTA.ini";
}

std::optional<std::string> ReadSetting(const std::string& file, const std::string& section, const std::string& key) {
    const auto lines = ReadLines(file);
    const auto [line, sectionLine] = Find(lines, section, key);
    (void)sectionLine;
    if (line < 0) return std::nullopt;
    const std::string& text = lines[static_cast<std::size_t>(line)];
    return Trim(text.substr(text.find('=') + 1));
}

bool WriteSetting(const std::string& file, const std::string& section, const std::string& key, const std::string& value) {
    auto lines = ReadLines(file);
    const auto [line, sectionLine] = Find(lines, section, key);
    const std::string entry = key + "=" + value;
    if (line >= 0) {
        lines[static_cast<std::size_t>(line)] = entry;
    } else if (sectionLine >= 0) {
        lines.insert(lines.begin() + sectionLine + 1, entry);
    } else {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    return WriteLines(file, lines);
}

bool RememberLocationIfUnset(const std::string& settingsFile, const std::string& folder) {
    // The user's last choice wins, an empty one too.
    if (ReadSetting(settingsFile, "OPENDLG", "CURDIR")) return false;
    return WriteSetting(settingsFile, "OPENDLG", "CURDIR", folder);
}

} // namespace marbrook::host
