#pragma once
// Running a short-lived helper program with limits, its output captured.
//
// The library lives inside a multi-threaded host: a child is started with
// posix_spawn (never fork followed by work in the child), in a process group
// of its own, with standard input from /dev/null, the default signal
// handling and no descriptor of the host but three pipes: its answer on
// descriptor 3 and whatever it prints on 1 and 2. The caller waits for it;
// a child that runs too long, prints too much or answers too much is killed.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace marbrook::posix {

struct ChildLimits {
    // Wall-clock time until the child is killed.
    std::chrono::milliseconds wallTime{30000};
    // Processor time (RLIMIT_CPU); 0: none.
    unsigned cpuSeconds = 30;
    // Address space (RLIMIT_AS); 0: none.
    std::uint64_t addressSpaceBytes = 0;
    // What descriptor 3 may carry; one byte more kills the child.
    std::size_t answerBytes = std::size_t{64} << 20;
    // What standard output and error together may carry; one byte more
    // kills the child (a flood).
    std::size_t printedBytes = std::size_t{1} << 20;
    // How much of what was printed is kept for a description.
    std::size_t printedKept = 4096;
};

struct ChildResult {
    enum class Ending {
        Exited,         // `exitStatus` holds its status
        Signalled,      // ended by `signal` (a crash, or a resource limit)
        TimedOut,       // killed after the wall-clock limit
        Flooded,        // killed for printing more than allowed
        AnswerTooLarge, // killed for answering more than allowed
    };
    Ending ending = Ending::Exited;
    // -1 when the status could not be collected (a host that reaps every
    // child itself); the answer then decides.
    int exitStatus = 0;
    int signal = 0;
    std::string answer;             // what it wrote on descriptor 3
    std::string printed;            // the first bytes it printed on 1 and 2
    std::size_t printedTotal = 0;   // how many bytes it printed in all
    std::chrono::milliseconds elapsed{0};
};

// Runs `program` (a path; no search) with `arguments` (argv[1]...) under
// `limits` and returns how it ended. Throws PlatformError when the program
// cannot be started (53 when it does not exist, 70 when it may not be run).
ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments, const ChildLimits& limits);

// Applies limits to the calling process (for a helper to set its own before
// it reads anything): processor time, address space (each 0: none) and no
// core files. False when one of them could not be set.
bool LimitThisProcess(unsigned cpuSeconds, std::uint64_t addressSpaceBytes) noexcept;

// The name of a signal ("SIGSEGV"), or its number.
std::string SignalName(int signal);

} // namespace marbrook::posix
