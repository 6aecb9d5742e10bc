#pragma once
// Processes in tests: a watchdog for steps that could hang, and a check run
// as an unprivileged user.
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace marbrook::testing {

// Aborts the test program when a step does not end in time: a read that
// waits for a pipe's writer, or a listing that hangs, must fail the run, not
// stall it.
class Watchdog {
public:
    Watchdog(int seconds, std::string what) : what_(std::move(what)) {
        thread_ = std::thread([this, seconds] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return finished_; })) {
                std::fprintf(stderr, "%s did not end within %d s\n", what_.c_str(), seconds);
                std::abort();
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::string what_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// Runs `check` in a child process as the unprivileged user "nobody" and
// returns its exit status; -1 when this process cannot become that user, -2
// when the child did not exit.
inline int AsNobody(const std::function<int()>& check) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(200);
        ::_exit(check());
    }
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    if (!WIFEXITED(raw)) return -2;
    return WEXITSTATUS(raw) == 200 ? -1 : WEXITSTATUS(raw);
}

} // namespace marbrook::testing
