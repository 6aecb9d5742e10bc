#pragma once
// The failure helper every routine uses: it remembers the step being run and
// turns the failure being handled into exactly one error-log entry.
//
//   Steps step(p, "Marbrook.COpenLayerDlg.DoModalOpen:");
//   try { step(100); ...; step(101); ... }
//   catch (...) { step.Report(); }
#include <optional>
#include <string>

#include "platform/error.h"

namespace marbrook {
struct Platform;
class StepWatcher;

class Steps {
public:
    Steps(Platform& platform, const char* position) noexcept;

    void operator()(int step) noexcept {
        step_ = step;
        if (watcher_) Tell(step);
    }
    [[nodiscard]] int Current() const noexcept { return step_; }
    [[nodiscard]] std::string Position() const { return position_ + std::to_string(step_); }

    // Call inside a catch block: writes one log entry for the failure being
    // handled, with the position and the current step, and returns what was
    // reported. Never throws.
    ErrorInfo Report() noexcept;

private:
    void Tell(int step) const noexcept;

    Platform& platform_;
    const char* position_;
    StepWatcher* watcher_;
    int step_ = 0;
};

// One failure as it was reported: the position with its step, and what failed.
struct ReportedFailure {
    std::string position;
    ErrorInfo error;
};

// Watches the failures reported on this thread while it lives: a caller that
// must know whether a routine's failure path ran (the routines return their
// neutral result and log) asks the watch instead of the error log, which may
// be unwritable, shown in a box instead, or written by other processes too.
// Watches nest; each one sees every report made while it lives.
class FailureWatch {
public:
    FailureWatch() noexcept;
    ~FailureWatch();
    FailureWatch(const FailureWatch&) = delete;
    FailureWatch& operator=(const FailureWatch&) = delete;

    [[nodiscard]] bool Failed() const noexcept { return count_ > 0; }
    [[nodiscard]] long Count() const noexcept { return count_; }
    // The first failure reported, none when there was none (or it could not
    // be kept for want of memory: Failed() still tells).
    [[nodiscard]] const std::optional<ReportedFailure>& First() const noexcept { return first_; }

private:
    friend class Steps;
    static void Notify(const std::string& position, const ErrorInfo& error) noexcept;

    FailureWatch* outer_;
    long count_ = 0;
    std::optional<ReportedFailure> first_;
};

// Runs `f`, swallowing any failure: for steps whose failures are ignored.
template <class F>
void IgnoreFailure(F&& f) noexcept {
    try {
        f();
    } catch (...) {
    }
}

} // namespace marbrook
