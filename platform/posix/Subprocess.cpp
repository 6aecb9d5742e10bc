#include "platform/posix/Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/error.h"

extern char** environ;

namespace marbrook::posix {

namespace {

constexpr const char* kSource = "Marbrook.System";
constexpr int kAnswerFd = 3;

using Clock = std::chrono::steady_clock;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) noexcept : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            Reset();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int Get() const noexcept { return fd_; }
    void Reset() noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

[[noreturn]] void Fail(const std::string& what, int err) {
    throw PlatformError(errnum::kPathFileAccessError, kSource, what + ": " + std::strerror(err));
}

// A descriptor above the ones the child's are placed on, so that placing
// them never meets one of ours already sitting there.
Fd Above(int fd) {
    Fd original(fd);
    if (fd > kAnswerFd) return original;
    const int raised = ::fcntl(fd, F_DUPFD_CLOEXEC, kAnswerFd + 1);
    if (raised < 0) Fail("cannot start a helper", errno);
    return Fd(raised);
}

struct Pipe {
    Fd read;
    Fd write;
};

Pipe MakePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) Fail("cannot start a helper", errno);
    Pipe p;
    p.read = Above(fds[0]);
    p.write = Above(fds[1]);
    return p;
}

struct FileActions {
    posix_spawn_file_actions_t actions{};
    FileActions() { ::posix_spawn_file_actions_init(&actions); }
    ~FileActions() { ::posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
};

struct SpawnAttributes {
    posix_spawnattr_t attributes{};
    SpawnAttributes() { ::posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

using Resource = decltype(RLIMIT_CPU);

void SetLimit(pid_t pid, Resource resource, rlim_t soft, rlim_t hard) noexcept {
    const rlimit limit{soft, hard};
    ::prlimit(pid, resource, &limit, nullptr);
}

// The child's limits, set from here as soon as it runs; a helper of ours
// sets them itself too before it reads anything, which leaves no moment
// without them.
void LimitChild(pid_t pid, const ChildLimits& limits) noexcept {
    SetLimit(pid, RLIMIT_CORE, 0, 0);
    if (limits.cpuSeconds > 0) SetLimit(pid, RLIMIT_CPU, limits.cpuSeconds, limits.cpuSeconds + 5);
    if (limits.addressSpaceBytes > 0) SetLimit(pid, RLIMIT_AS, limits.addressSpaceBytes, limits.addressSpaceBytes);
}

// Kills and collects the child unless it has been collected: no path out of
// RunChild leaves a process behind.
class ChildGuard {
public:
    explicit ChildGuard(pid_t pid) noexcept : pid_(pid) {}
    ~ChildGuard() {
        if (pid_ > 0) {
            Kill();
            (void)Collect();
        }
    }
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;

    void Kill() const noexcept {
        ::kill(-pid_, SIGKILL); // its group: anything it started goes too
        ::kill(pid_, SIGKILL);
    }
    // Waits for the child; its raw status, or none when the host collects
    // children itself.
    std::optional<int> Collect() noexcept {
        int status = 0;
        pid_t got;
        do got = ::waitpid(pid_, &status, 0);
        while (got < 0 && errno == EINTR);
        pid_ = -1;
        if (got < 0) return std::nullopt;
        return status;
    }
    // The child's status when it has ended, without waiting.
    std::optional<int> Poll() noexcept {
        int status = 0;
        const pid_t got = ::waitpid(pid_, &status, WNOHANG);
        if (got == 0) return std::nullopt;
        pid_ = -1;
        if (got < 0) return -1; // collected by someone else: ended
        return status;
    }
    [[nodiscard]] bool Collected() const noexcept { return pid_ <= 0; }

private:
    pid_t pid_;
};

} // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments, const ChildLimits& limits) {
    const auto start = Clock::now();
    const auto deadline = start + limits.wallTime;
    Pipe printed = MakePipe();
    Pipe answer = MakePipe();

    FileActions fa;
    ::posix_spawn_file_actions_addopen(&fa.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&fa.actions, printed.write.Get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&fa.actions, printed.write.Get(), STDERR_FILENO);
    ::posix_spawn_file_actions_adddup2(&fa.actions, answer.write.Get(), kAnswerFd);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors of the host that are not close-on-exec stay behind too.
    ::posix_spawn_file_actions_addclosefrom_np(&fa.actions, kAnswerFd + 1);
#endif
    SpawnAttributes sa;
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    ::posix_spawnattr_setsigmask(&sa.attributes, &none);
    ::posix_spawnattr_setsigdefault(&sa.attributes, &all);
    ::posix_spawnattr_setpgroup(&sa.attributes, 0);
    ::posix_spawnattr_setflags(&sa.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &fa.actions, &sa.attributes, argv.data(), environ);
    if (rc != 0) {
        const long number = rc == ENOENT || rc == ENOTDIR ? errnum::kFileNotFound
                            : rc == EACCES || rc == EPERM ? errnum::kPermissionDenied
                                                          : errnum::kPathFileAccessError;
        throw PlatformError(number, kSource, "cannot start " + program + ": " + std::strerror(rc));
    }
    ChildGuard child(pid);
    LimitChild(pid, limits);
    printed.write.Reset();
    answer.write.Reset();

    ChildResult result;
    std::optional<ChildResult::Ending> killedFor;
    bool printedOpen = true;
    bool answerOpen = true;
    char buffer[65536];
    const auto take = [&](int fd, bool isAnswer, bool& open) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) return;
            open = false;
            return;
        }
        if (got == 0) {
            open = false;
            return;
        }
        const auto n = static_cast<std::size_t>(got);
        if (isAnswer) {
            if (result.answer.size() + n > limits.answerBytes) {
                killedFor = ChildResult::Ending::AnswerTooLarge;
                return;
            }
            result.answer.append(buffer, n);
            return;
        }
        result.printedTotal += n;
        if (result.printed.size() < limits.printedKept)
            result.printed.append(buffer, std::min(n, limits.printedKept - result.printed.size()));
        if (result.printedTotal > limits.printedBytes) killedFor = ChildResult::Ending::Flooded;
    };

    while ((printedOpen || answerOpen) && !killedFor) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            killedFor = ChildResult::Ending::TimedOut;
            break;
        }
        pollfd fds[2] = {{printedOpen ? printed.read.Get() : -1, POLLIN, 0}, {answerOpen ? answer.read.Get() : -1, POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot wait for a helper", errno);
        }
        if (n == 0) continue;
        if (printedOpen && fds[0].revents != 0) take(printed.read.Get(), false, printedOpen);
        if (answerOpen && !killedFor && fds[1].revents != 0) take(answer.read.Get(), true, answerOpen);
    }

    // Both pipes closed: the child has ended or is about to; one that closed
    // them and lives on is waited for until the deadline.
    std::optional<int> status;
    if (!killedFor) {
        auto pause = std::chrono::microseconds(200);
        for (;;) {
            status = child.Poll();
            if (status) break;
            if (Clock::now() >= deadline) {
                killedFor = ChildResult::Ending::TimedOut;
                break;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(20000));
        }
    }
    if (killedFor) {
        child.Kill();
        (void)child.Collect();
        result.ending = *killedFor;
        result.signal = SIGKILL;
    } else if (*status == -1) {
        result.ending = ChildResult::Ending::Exited;
        result.exitStatus = -1;
    } else if (WIFSIGNALED(*status)) {
        result.ending = ChildResult::Ending::Signalled;
        result.signal = WTERMSIG(*status);
    } else {
        result.ending = ChildResult::Ending::Exited;
        result.exitStatus = WEXITSTATUS(*status);
    }
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return result;
}

bool LimitThisProcess(unsigned cpuSeconds, std::uint64_t addressSpaceBytes) noexcept {
    bool ok = true;
    const auto set = [&](Resource resource, rlim_t soft, rlim_t hard) {
        const rlimit limit{soft, hard};
        ok = ::setrlimit(resource, &limit) == 0 && ok;
    };
    set(RLIMIT_CORE, 0, 0);
    if (cpuSeconds > 0) set(RLIMIT_CPU, cpuSeconds, cpuSeconds + 5);
    if (addressSpaceBytes > 0) set(RLIMIT_AS, addressSpaceBytes, addressSpaceBytes);
    return ok;
}

std::string SignalName(int signal) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    if (const char* abbrev = ::sigabbrev_np(signal)) return std::string("SIG") + abbrev;
#endif
    return "signal " + std::to_string(signal);
}

} // namespace marbrook::posix
