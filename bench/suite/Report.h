#pragma once
// The rows of the suite's table: each times ours against the baseline over
// the rounds, and the table is printed with the machine's load.
#include <functional>
#include <string>
#include <vector>

#include "bench/suite/Common.h"
#include "bench/suite/Processes.h"

namespace marbrook::bench {

struct Row {
    std::string name;
    long n = 0;
    ChildRun ours, base;
    std::string note;
    // Every round's time, for a minimum and a median.
    std::vector<double> oursRounds{}, baseRounds{};
};

// Best time and highest peak over the rounds, ours and the baseline
// alternating so that a busy moment of the machine falls on both.
Row Compare(const std::string& name, long n, const Options& o, const std::function<ChildRun()>& ours,
            const std::function<ChildRun()>& base);

void PrintTable(const std::vector<Row>& rows);
// The folder listing's cost per entry at each n: it should stay flat; and
// the memory it adds per entry above the idle child's peak `idleKiB`.
void PrintGrowth(const std::vector<Row>& folderRows, long idleKiB);
// `rows` again, under `title`: the minimum and median of the rounds, ours
// and the baseline, and their difference (what ours adds).
void PrintSpread(const std::string& title, const std::vector<Row>& rows);
// The load average now, and the cores, under `when` ("at the start").
void PrintLoad(const char* when);
// This process's own peak and the load average now.
void PrintMachine();

} // namespace marbrook::bench
