#include "tests/doubles/TestPlatform.h"

#include "support/Globals.h"

namespace marbrook::testing {

TestPlatform::TestPlatform() {
    ResetProcessValues();
    gis.faults = &faults;
    ui.faults = &faults;
    system.faults = &faults;
}

TestPlatform::~TestPlatform() {
    // A listing the user cancelled may still be using the doubles.
    (void)ui.WaitForBackgroundWork();
    ResetProcessValues();
}

std::string TestPlatform::ErrLogPath() const { return home.LibraryFolder() + "/libmarbrook.err"; }

std::string TestPlatform::ErrLogText() const { return ReadFile(ErrLogPath()); }

std::vector<LogEntry> TestPlatform::LogEntries() const {
    std::vector<LogEntry> entries;
    const std::string text = ErrLogText();
    const auto field = [&](std::size_t from, const std::string& label, std::size_t& end) {
        const auto p = text.find(label, from);
        if (p == std::string::npos) return std::string{};
        end = text.find("\r\n", p);
        return text.substr(p + label.size(), end - p - label.size());
    };
    std::size_t pos = 0;
    while ((pos = text.find("[DATETIME: ", pos)) != std::string::npos) {
        LogEntry e;
        std::size_t end = pos;
        e.position = field(pos, "\tPosition:          ", end);
        e.number = std::stol(field(end, "\tError Number:      ", end));
        e.description = field(end, "\tError Description: ", end);
        entries.push_back(e);
        pos = end;
    }
    return entries;
}

} // namespace marbrook::testing
