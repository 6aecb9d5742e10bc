#include "tests/sweep/SweepHarness.h"

#include <filesystem>
#include <sstream>

#include "support/Globals.h"

namespace marbrook::sweep {

namespace {

namespace fs = std::filesystem;

// The files a run may touch, with their sizes.
std::map<std::string, std::uintmax_t> Snapshot(const World& w) {
    std::map<std::string, std::uintmax_t> files;
    for (const std::string& root : {w.t.home.LibraryFolder(), w.t.home.ConfigHome(), w.dir}) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (it->is_regular_file()) files[it->path().string()] = it->file_size();
        }
    }
    return files;
}

std::string LostFiles(const std::map<std::string, std::uintmax_t>& before) {
    std::string lost;
    for (const auto& [path, size] : before) {
        std::error_code ec;
        if (!fs::exists(path, ec)) lost += " lost " + path + ";";
        else if (size > 0 && fs::file_size(path, ec) == 0) lost += " emptied " + path + ";";
    }
    return lost;
}

std::vector<testing::LogEntry> Entries(const World& w) {
    return fs::exists(w.t.ErrLogPath()) ? w.t.LogEntries() : std::vector<testing::LogEntry>{};
}

// The outcome of one run, as problems found ("" for none).
struct Outcome {
    bool escaped = false;
    std::string escapeWhat;
    CallTrace trace;
    std::optional<std::string> firedAt;
    std::vector<testing::LogEntry> entries;
    std::string problems;
    int ownStep = -1; // the step of an entry naming the swept routine
};

Outcome RunOnce(const Scenario& s, int failCall, const std::set<std::string>& routines) {
    Outcome out;
    World w;
    {
        Run run = s.arrange(w);
        const auto before = Snapshot(w);
        w.t.faults.ResetCounts();
        if (failCall > 0) w.t.faults.FailCall(failCall);
        try {
            run.act();
        } catch (const std::exception& e) {
            out.escaped = true;
            out.escapeWhat = e.what();
        } catch (...) {
            out.escaped = true;
            out.escapeWhat = "unknown exception";
        }
        w.t.faults.Disarm();
        out.trace = w.t.faults.Trace();
        out.firedAt = w.t.faults.FiredAt();
        out.entries = Entries(w);
        std::string p;
        if (w.t.ui.GetMousePointer() != ui::MousePointer::Default) p += " pointer left busy;";
        p += LostFiles(before);
        const std::string settings = testing::ReadFile(w.SettingsFile());
        if (settings.find("keep=1") == std::string::npos) p += " the settings file lost its values;";
        for (const auto& e : out.entries) {
            const auto colon = e.position.rfind(':');
            const std::string literal = colon == std::string::npos ? e.position : e.position.substr(0, colon + 1);
            int step = -1;
            try {
                step = std::stoi(e.position.substr(colon + 1));
            } catch (...) {
            }
            if (routines.count(literal) == 0) p += " entry names an unknown routine '" + e.position + "';";
            else if (!w.reached.Has(literal, step)) p += " entry names a step the routine did not start '" + e.position + "';";
            if (literal == s.position) out.ownStep = step;
        }
        if (run.kept) p += run.kept();
        if (failCall == 0 && run.clean) p += run.clean();
        if (out.ownStep >= 0 && out.entries.size() == 1 && run.neutral) p += run.neutral(out.ownStep);
        out.problems = p;
    }
    ResetProcessValues();
    return out;
}

std::string Describe(const std::vector<testing::LogEntry>& entries) {
    std::ostringstream s;
    for (const auto& e : entries) s << " [" << e.position << " " << e.number << " " << e.description << "]";
    return s.str();
}

} // namespace

void StepsReached::Reached(const char* position, int step) noexcept {
    try {
        reached_.emplace(position, step);
    } catch (...) {
        // Out of memory: the run's checks then fail, as they should.
    }
}

std::string World::SettingsFile() const { return t.home.LibraryFolder() + "/VerdantaSysSet.ini"; }

SweepResult RunSweep(const std::vector<Scenario>& scenarios, const std::set<std::string>& routines) {
    SweepResult result;
    for (const Scenario& s : scenarios) {
        RoutineFigures& figures = result.figures[s.position];
        const std::string where = s.position + " (" + s.how + ")";
        const Outcome clean = RunOnce(s, 0, routines);
        if (clean.escaped) {
            ++figures.escapes;
            result.problems.push_back(where + " clean run: exception left the routine: " + clean.escapeWhat);
        }
        if (!clean.entries.empty()) result.problems.push_back(where + " clean run logged:" + Describe(clean.entries));
        if (!clean.problems.empty()) result.problems.push_back(where + " clean run:" + clean.problems);
        const int n = static_cast<int>(clean.trace.size());
        if (n == 0 && s.noCalls.empty()) result.problems.push_back(where + " makes no platform call and says not why");
        if (n > 0 && !s.noCalls.empty()) result.problems.push_back(where + " is said to make no platform call but makes " + std::to_string(n));
        ++figures.scenarios;
        figures.calls += n;

        for (int k = 1; k <= n; ++k) {
            const std::string call = clean.trace[static_cast<std::size_t>(k - 1)];
            const std::string at = where + " fault " + std::to_string(k) + "/" + std::to_string(n) + " at " + call + ":";
            const Outcome run = RunOnce(s, k, routines);
            if (!run.firedAt) {
                result.problems.push_back(at + " the run made fewer calls than the clean one (not deterministic)");
                continue;
            }
            ++figures.injected;
            std::string p = run.problems;
            if (run.escaped) {
                ++figures.escapes;
                p += " exception left the routine: " + run.escapeWhat + ";";
            }
            const bool ignored = s.ignored && s.ignored(clean.trace, static_cast<std::size_t>(k - 1));
            const std::size_t expected = ignored ? 0 : 1;
            if (run.entries.size() != expected)
                p += " " + std::to_string(run.entries.size()) + " log entries, expected " + std::to_string(expected) + ":" +
                     Describe(run.entries) + ";";
            if (p.empty()) {
                ++figures.handled;
                if (run.ownStep >= 0) ++figures.own;
            }
            else result.problems.push_back(at + p);
        }
    }
    return result;
}

IgnoredCall CallsOf(std::set<std::string> operations) {
    return [operations = std::move(operations)](const CallTrace& trace, std::size_t index) {
        return operations.count(trace[index]) != 0;
    };
}

IgnoredCall Either(IgnoredCall a, IgnoredCall b) {
    return [a = std::move(a), b = std::move(b)](const CallTrace& trace, std::size_t index) {
        return a(trace, index) || b(trace, index);
    };
}

} // namespace marbrook::sweep
