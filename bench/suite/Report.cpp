#include "bench/suite/Report.h"

#include "bench/Stats.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace marbrook::bench {

namespace {

std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string Ms(double seconds) {
    const double ms = seconds * 1e3;
    return Fixed(ms, ms < 1 ? 4 : ms < 100 ? 2 : 0);
}

std::string MiB(long kib) { return Fixed(static_cast<double>(kib) / 1024.0, 1); }

long OwnPeakKiB() {
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    return self.ru_maxrss;
}

} // namespace

Row Compare(const std::string& name, long n, const Options& o, const std::function<ChildRun()>& ours,
            const std::function<ChildRun()>& base) {
    Settle();
    Row row{name, n, {}, {}, {}, {}, {}};
    row.ours.seconds = row.base.seconds = 1e100;
    row.ours.ok = row.base.ok = true;
    const auto fold = [](ChildRun& into, std::vector<double>& rounds, const ChildRun& r) {
        into.ok = into.ok && r.ok;
        into.seconds = std::min(into.seconds, r.seconds);
        into.peakKiB = std::max(into.peakKiB, r.peakKiB);
        into.count = r.count;
        rounds.push_back(r.seconds);
    };
    // Short cases are what a busy moment spoils most: they get three times
    // the rounds, which cost little.
    int rounds = o.rounds;
    for (int i = 0; i < rounds; ++i) {
        if (i % 2 == 0) {
            fold(row.ours, row.oursRounds, ours());
            fold(row.base, row.baseRounds, base());
        } else {
            fold(row.base, row.baseRounds, base());
            fold(row.ours, row.oursRounds, ours());
        }
        if (i + 1 == o.rounds && !o.smoke && row.ours.seconds < 0.05 && row.base.seconds < 0.05) rounds = 3 * o.rounds;
    }
    std::cerr << "  " << name << " n=" << n << ": ours " << row.ours.seconds * 1e3 << " ms, baseline "
              << row.base.seconds * 1e3 << " ms" << std::endl;
    return row;
}

void PrintTable(const std::vector<Row>& rows) {
    std::printf("\n%-28s %8s %12s %12s %9s %10s %10s  %s\n", "case", "n", "ours ms", "baseline ms", "ratio",
                "ours MiB", "base MiB", "note");
    for (const Row& r : rows) {
        const bool hasBase = r.base.seconds < 1e99;
        std::printf("%-28s %8ld %12s %12s %9s %10s %10s  %s\n", r.name.c_str(), r.n, Ms(r.ours.seconds).c_str(),
                    hasBase ? Ms(r.base.seconds).c_str() : "-",
                    hasBase && r.base.seconds > 0 ? Fixed(r.ours.seconds / r.base.seconds, 2).c_str() : "-",
                    MiB(r.ours.peakKiB).c_str(), hasBase ? MiB(r.base.peakKiB).c_str() : "-", r.note.c_str());
    }
}

void PrintGrowth(const std::vector<Row>& folderRows, long idleKiB) {
    if (folderRows.empty()) return;
    std::printf("\nfolder listing in process, per entry: n, ours us, baseline us, ours growth vs previous n,"
                " bytes above the idle process (%s MiB) per entry and per listed dataset\n",
                idleKiB > 0 ? MiB(idleKiB).c_str() : "not measured");
    double previous = 0;
    for (const Row& r : folderRows) {
        const double n = static_cast<double>(r.n);
        const double per = r.ours.seconds / n * 1e6;
        const double added = idleKiB > 0 ? static_cast<double>(r.ours.peakKiB - idleKiB) * 1024.0 : 0;
        std::printf("  %8ld %9.3f %9.3f %9s %9s %9s\n", r.n, per, r.base.seconds / n * 1e6,
                    previous > 0 ? (Fixed(per / previous, 2) + "x").c_str() : "-",
                    idleKiB > 0 ? Fixed(added / n, 0).c_str() : "-",
                    idleKiB > 0 && r.ours.count > 0 ? Fixed(added / static_cast<double>(r.ours.count), 0).c_str() : "-");
        previous = per;
    }
}

void PrintSpread(const std::string& title, const std::vector<Row>& rows) {
    if (rows.empty()) return;
    std::printf("\n%s (ms): rounds, ours min / median, baseline min / median, added min / median\n", title.c_str());
    for (const Row& r : rows) {
        const double oursMin = Min(r.oursRounds), baseMin = Min(r.baseRounds);
        const double oursMedian = Median(r.oursRounds), baseMedian = Median(r.baseRounds);
        std::printf("  %-40s %3zu %9s / %-9s %9s / %-9s %9s / %s\n", r.name.c_str(), r.oursRounds.size(),
                    Ms(oursMin).c_str(), Ms(oursMedian).c_str(), Ms(baseMin).c_str(), Ms(baseMedian).c_str(),
                    Ms(oursMin - baseMin).c_str(), Ms(oursMedian - baseMedian).c_str());
    }
}

void PrintLoad(const char* when) {
    double load[3] = {};
    if (::getloadavg(load, 3) == 3)
        std::printf("load average %s: %.2f %.2f %.2f, %u cores\n", when, load[0], load[1], load[2],
                    std::thread::hardware_concurrency());
    std::fflush(stdout);
}

void PrintMachine() {
    // A child starts as a copy of this process: its peak counts only when
    // this one stays below every child's.
    std::printf("\nthis process's own peak: %s MiB\n", MiB(OwnPeakKiB()).c_str());
    std::printf("\n");
    PrintLoad("at the end");
}

} // namespace marbrook::bench
