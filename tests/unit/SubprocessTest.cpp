// A helper program run with limits: every way it can end is told apart, no
// way of ending keeps the caller waiting past the limit, and the helper sees
// nothing of the caller but its three pipes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/posix/Subprocess.h"

namespace marbrook {
namespace {

using posix::ChildLimits;
using posix::ChildResult;
using Ending = ChildResult::Ending;
using namespace std::chrono_literals;

ChildResult Shell(const std::string& script, ChildLimits limits = {}) {
    return posix::RunChild("/bin/sh", {"-c", script}, limits);
}

ChildLimits Quick() {
    ChildLimits l;
    l.wallTime = 1500ms;
    l.cpuSeconds = 10;
    l.printedBytes = 64 * 1024;
    l.printedKept = 32;
    l.answerBytes = 64 * 1024;
    return l;
}

TEST(HelperProcess, EachWayOfEndingIsToldApart) {
    const struct {
        const char* script;
        Ending ending;
        int status;     // for Exited
        int signal;     // for Signalled
        const char* answer;
        const char* printed;
    } cases[] = {
        {"printf 'ok' >&3", Ending::Exited, 0, 0, "ok", ""},
        {"echo complaint >&2; printf 'half' >&3; exit 4", Ending::Exited, 4, 0, "half", "complaint\n"},
        {"echo on stdout; echo on stderr >&2", Ending::Exited, 0, 0, "", "on stdout\non stderr\n"},
        {"kill -SEGV $$", Ending::Signalled, 0, SIGSEGV, "", ""},
        {"kill -ABRT $$", Ending::Signalled, 0, SIGABRT, "", ""},
        {"sleep 30", Ending::TimedOut, 0, SIGKILL, "", ""},
        {"exec 1>&- 2>&- 3>&-; sleep 30", Ending::TimedOut, 0, SIGKILL, "", ""},
        {"sleep 30 & wait", Ending::TimedOut, 0, SIGKILL, "", ""},
        {"while :; do echo 'flooding the terminal'; done", Ending::Flooded, 0, SIGKILL, "", "flooding the terminal\nflooding t"},
        {"while :; do echo 'answering for ever'; done >&3", Ending::AnswerTooLarge, 0, SIGKILL, nullptr, ""},
        // Standard input is empty, not the caller's terminal.
        {"cat; printf done >&3", Ending::Exited, 0, 0, "done", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        const auto start = std::chrono::steady_clock::now();
        const ChildResult r = Shell(c.script, Quick());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(r.ending, c.ending);
        if (c.ending == Ending::Exited) {
            EXPECT_EQ(r.exitStatus, c.status);
        } else {
            EXPECT_EQ(r.signal, c.signal);
        }
        if (c.answer) {
            EXPECT_EQ(r.answer, c.answer);
        }
        EXPECT_EQ(r.printed, c.printed);
        EXPECT_LE(r.answer.size(), Quick().answerBytes);
    }
}

TEST(HelperProcess, ProcessorTimeAndAddressSpaceAreLimited) {
    ChildLimits l = Quick();
    l.wallTime = 20s;
    l.cpuSeconds = 1;
    const ChildResult spin = Shell("while :; do :; done", l);
    EXPECT_EQ(spin.ending, Ending::Signalled);
    EXPECT_TRUE(spin.signal == SIGXCPU || spin.signal == SIGKILL) << posix::SignalName(spin.signal);

    // The shell cannot hold 256 MB within 64 MB of address space.
    l = Quick();
    l.wallTime = 20s;
    l.addressSpaceBytes = std::uint64_t{64} << 20;
    const ChildResult big = Shell("x=$(head -c 268435456 /dev/zero | tr '\\000' a); printf '%s' \"${#x}\" >&3", l);
    EXPECT_NE(big.answer, "268435456");
    EXPECT_FALSE(big.ending == Ending::Exited && big.exitStatus == 0 && big.printed.empty());
    l.addressSpaceBytes = 0;
    const ChildResult small = Shell("x=$(head -c 1000 /dev/zero | tr '\\000' a); printf '%s' \"${#x}\" >&3", l);
    EXPECT_EQ(small.answer, "1000");
}

TEST(HelperProcess, SeesNoDescriptorOfTheCallerButItsPipes) {
    // A descriptor the caller left inheritable.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 0);
    const ChildResult r = Shell("ls /proc/self/fd >&3");
    ::close(leaked);
    ASSERT_EQ(r.ending, Ending::Exited);
    // 0, 1, 2, 3, and the folder ls reads.
    std::vector<std::string> fds;
    std::string line;
    for (const char c : r.answer) {
        if (c != '\n') {
            line += c;
            continue;
        }
        fds.push_back(line);
        line.clear();
    }
    EXPECT_LE(fds.size(), 5u) << r.answer;
    for (const std::string& fd : fds) EXPECT_TRUE(fd.size() == 1 && fd[0] >= '0' && fd[0] <= '4') << r.answer;
}

TEST(HelperProcess, AProgramThatCannotStartIsAFailureOfItsOwn) {
    try {
        (void)posix::RunChild("/nonexistent/marbrook-reader", {}, Quick());
        ADD_FAILURE() << "started";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.Number(), errnum::kFileNotFound);
        EXPECT_NE(e.Description().find("/nonexistent/marbrook-reader"), std::string::npos) << e.Description();
    }
    EXPECT_EQ(posix::SignalName(SIGSEGV), "SIGSEGV");
}

} // namespace
} // namespace marbrook
