// Whole-process start of the marbrook program: `marbrook list` of an empty
// folder against a program that does nothing but is linked to GDAL (the
// floor). Each round runs every contender once, in turn, each a fresh
// process timed from fork to its end; the minimum and median of the rounds
// are printed with the machine's load at the start and the end.
//
//   bench_startup [--rounds N] [--cli PROGRAM] [--idle PROGRAM] [--also LABEL=PROGRAM]... [--smoke]
//
// --also times another marbrook program on the same folder (an older build,
// for a before/after figure).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/Stats.h"

#ifndef MARBROOK_CLI
#error "MARBROOK_CLI names the marbrook program of this build"
#endif
#ifndef MARBROOK_GDAL_IDLE
#error "MARBROOK_GDAL_IDLE names the do-nothing program linked to GDAL"
#endif

using marbrook::bench::Median;
using marbrook::bench::Min;

namespace {

struct Contender {
    std::string label;
    std::vector<std::string> argv;
    std::vector<double> ms;
    long peakKiB = 0;
};

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// One run: milliseconds from fork to the end of the process, or < 0 when it failed.
double RunOnce(const std::vector<std::string>& argv, const std::string& home, long& peakKiB) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::setenv("MARBROOK_HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) return -1;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    peakKiB = std::max(peakKiB, usage.ru_maxrss);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    std::string cli = MARBROOK_CLI;
    std::string idle = MARBROOK_GDAL_IDLE;
    std::vector<std::pair<std::string, std::string>> also;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--rounds" && hasValue) rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--cli" && hasValue) cli = argv[++i];
        else if (a == "--idle" && hasValue) idle = argv[++i];
        else if (a == "--also" && hasValue) {
            const std::string v = argv[++i];
            const auto eq = v.find('=');
            if (eq == std::string::npos) {
                std::fprintf(stderr, "--also takes LABEL=PROGRAM\n");
                return 2;
            }
            also.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--smoke") rounds = 1;
        else {
            std::fprintf(stderr, "usage: bench_startup [--rounds N] [--cli PROGRAM] [--idle PROGRAM] "
                                 "[--also LABEL=PROGRAM]... [--smoke]\n");
            return 2;
        }
    }

    std::error_code ec;
    const auto scratch = std::filesystem::temp_directory_path() / ("marbrook-startup-" + std::to_string(::getpid()));
    const auto empty = scratch / "empty";
    std::filesystem::create_directories(empty, ec);
    if (ec) {
        std::fprintf(stderr, "cannot make %s: %s\n", empty.c_str(), ec.message().c_str());
        return 1;
    }

    std::vector<Contender> contenders;
    contenders.push_back({"do-nothing program linked to GDAL", {idle}, {}, 0});
    contenders.push_back({"marbrook list EMPTY", {cli, "list", empty.string()}, {}, 0});
    for (const auto& [label, program] : also)
        contenders.push_back({label + ": marbrook list EMPTY", {program, "list", empty.string()}, {}, 0});

    const std::string loadBefore = LoadAverage();
    // One round unmeasured: the programs' files come into the page cache.
    for (auto& c : contenders) {
        long unused = 0;
        if (RunOnce(c.argv, scratch.string(), unused) < 0) {
            std::fprintf(stderr, "%s failed (%s)\n", c.label.c_str(), c.argv.front().c_str());
            std::filesystem::remove_all(scratch, ec);
            return 1;
        }
    }
    for (int r = 0; r < rounds; ++r)
        for (auto& c : contenders) {
            const double ms = RunOnce(c.argv, scratch.string(), c.peakKiB);
            if (ms < 0) {
                std::fprintf(stderr, "%s failed in round %d\n", c.label.c_str(), r + 1);
                std::filesystem::remove_all(scratch, ec);
                return 1;
            }
            c.ms.push_back(ms);
        }
    const std::string loadAfter = LoadAverage();
    std::filesystem::remove_all(scratch, ec);

    const double floorMin = Min(contenders[0].ms);
    const double floorMedian = Median(contenders[0].ms);
    std::printf("whole process, %d rounds, contenders alternating\n", rounds);
    std::printf("%-50s %9s %9s %8s %8s %9s\n", "contender", "min ms", "median ms", "min x", "median x", "peak KiB");
    for (const auto& c : contenders) {
        const double mn = Min(c.ms);
        const double md = Median(c.ms);
        std::printf("%-50s %9.1f %9.1f %8.2f %8.2f %9ld\n", c.label.c_str(), mn, md, mn / floorMin, md / floorMedian,
                    c.peakKiB);
    }
    std::printf("load average (1 5 15 min): %s at the start, %s at the end; %u processors\n", loadBefore.c_str(),
                loadAfter.c_str(), std::thread::hardware_concurrency());
    return 0;
}
