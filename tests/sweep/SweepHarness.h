#pragma once
// The fault sweep: a routine is run once in a scenario to count the platform
// calls it makes, then once more for every one of those calls with exactly
// that call failing. Each faulted run must end in the routine: no exception
// leaves it, one error-log entry names a routine and a step that routine
// started in that run (none where the failing call is one the code passes
// over by design), the pointer is back to normal and nothing the caller
// owned is lost.
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/doubles/TestPlatform.h"

namespace marbrook::sweep {

// Every (position, step) the routines of one run started.
class StepsReached final : public StepWatcher {
public:
    void Reached(const char* position, int step) noexcept override;
    [[nodiscard]] bool Has(const std::string& position, int step) const { return reached_.count({position, step}) != 0; }

private:
    std::set<std::pair<std::string, int>> reached_;
};

// The world of one run: the test platform, a data folder the caller owns and
// the settings files, as a host machine would have them.
class World {
public:
    World();
    testing::TestPlatform t;
    StepsReached reached; // watches t.platform from the start
    testing::TempDir data;
    std::string dir;       // the data folder (also the only drive)
    std::string sdeFolder; // connection files
    std::string sdeFile;   // a connection file the in-memory GIS knows
    std::string mdb;       // a personal geodatabase
    std::string dxf;       // a drawing
    [[nodiscard]] std::string SettingsFile() const;
};

// One run of a scenario, built on a fresh world. Checks return "" when they
// hold, else what went wrong.
struct Run {
    // Calls the routine.
    std::function<void()> act;
    // After a fault the routine logged itself at `step`: its neutral result.
    std::function<std::string(int step)> neutral;
    // After every run: what the caller handed in is still there.
    std::function<std::string()> kept;
    // After the clean run: the scenario did what it says.
    std::function<std::string()> clean = {};
};

// The calls of a clean run (operation names in order) and one index into them.
using CallTrace = std::vector<std::string>;
using IgnoredCall = std::function<bool(const CallTrace& trace, std::size_t index)>;

struct Scenario {
    std::string position; // the routine swept, "Marbrook.X.Y:"
    std::string how;      // how it is reached, for the table
    std::function<Run(World&)> arrange;
    // Calls whose failure the code passes over by design (no entry).
    IgnoredCall ignored;
    // Why the routine makes no platform call, when it makes none.
    std::string noCalls;
};

struct RoutineFigures {
    int scenarios = 0;
    int calls = 0;    // platform calls swept (clean runs of its scenarios)
    int injected = 0; // faults injected
    int handled = 0;  // faulted runs that passed every check
    int own = 0;      // of those, faults the routine's own failure path reported
    int escapes = 0;  // exceptions that left the routine
};

struct SweepResult {
    std::map<std::string, RoutineFigures> figures;
    std::vector<std::string> problems;
};

// Sweeps every scenario. `routines` are the positions of the library's
// routines; a log entry must name one of them at a step it started in that
// very run.
SweepResult RunSweep(const std::vector<Scenario>& scenarios, const std::set<std::string>& routines);

// Ignored-call helpers.
// Every call of these operations.
IgnoredCall CallsOf(std::set<std::string> operations);
// Both.
IgnoredCall Either(IgnoredCall a, IgnoredCall b);

} // namespace marbrook::sweep
