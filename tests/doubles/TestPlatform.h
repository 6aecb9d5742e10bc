#pragma once
// One test's world: a temporary library folder and config home, the
// in-memory GIS, the scripted window system and the fake system services,
// bundled as a Platform. Process-wide values are reset on construction.
#include <string>

#include "platform/platform.h"
#include "tests/doubles/FakeSystem.h"
#include "tests/doubles/MemoryGis.h"
#include "tests/doubles/ScriptedUi.h"

namespace marbrook::testing {

struct LogEntry {
    std::string position;
    long number = 0;
    std::string description;
};

class TestPlatform {
public:
    TestPlatform();
    ~TestPlatform();

    IsolatedHome home;
    // The plan every double below reports its calls to: the k-th platform
    // call of any kind can be made to fail.
    FaultPlan faults;
    MemoryGis gis;
    ScriptedUi ui;
    FakeSystem system;
    Platform platform{gis, ui, system};

    operator Platform&() noexcept { return platform; }

    [[nodiscard]] std::string ErrLogPath() const;
    [[nodiscard]] std::string ErrLogText() const;
    // The entries of the error log, parsed.
    [[nodiscard]] std::vector<LogEntry> LogEntries() const;
};

} // namespace marbrook::testing
