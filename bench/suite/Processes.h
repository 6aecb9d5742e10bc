#pragma once
// Every measurement runs in a fresh process: this program started again with
// --child, so that no cache of one measurement helps another, and the
// child's peak resident set (ru_maxrss from wait4) is its peak memory.
#include <string>
#include <vector>

namespace marbrook::bench {

struct ChildRun {
    double seconds = 0; // measured inside the child, or around it for a program
    long count = 0;
    long peakKiB = 0;
    bool ok = false;
};

// The program the children are started from (this one).
void SetSelf(std::string path);
const std::string& Self();

// Runs argv with stdout captured: when `inProcess`, the child's RESULT line
// gives the time and count, else the wall time of the whole program counts.
ChildRun Spawn(const std::vector<std::string>& argv, bool inProcess);
// Runs argv in process mode, reading the numbers of its first output line
// into `figures` (another benchmark program's child, which prints its own
// figures); the run fails when it prints none.
ChildRun SpawnFigures(const std::vector<std::string>& argv, std::vector<double>& figures);
// This program as a child measuring `what` on `arg`.
ChildRun Child(const std::string& what, const std::string& arg);

} // namespace marbrook::bench
