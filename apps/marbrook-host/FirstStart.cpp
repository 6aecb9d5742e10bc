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

bool RememberLocationIfUnset(const std::string& settingsFile, const std::string& folder) {
    std::vector<std::string> lines;
    {
        std::ifstream in(settingsFile);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    // Section and key names compare case-insensitively, as the library reads them.
    long sectionLine = -1;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string t = Trim(lines[i]);
        if (!t.empty() && t.front() == '[') {
            inSection = Lower(t) == "[opendlg]";
            if (inSection && sectionLine < 0) sectionLine = static_cast<long>(i);
            continue;
        }
        const auto eq = t.find('=');
        if (inSection && eq != std::string::npos && Lower(Trim(t.substr(0, eq))) == "curdir") return false;
    }
    const std::string entry = "CURDIR=" + folder;
    if (sectionLine >= 0)
        lines.insert(lines.begin() + sectionLine + 1, entry);
    else {
        lines.push_back("[OPENDLG]");
        lines.push_back(entry);
    }
    std::filesystem::create_directories(std::filesystem::path(settingsFile).parent_path());
    const std::string temp = settingsFile + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const auto& l : lines) out << l << '\n';
        if (!out) return false;
    }
    std::filesystem::rename(temp, settingsFile);
    return true;
}

} // namespace marbrook::host
