#pragma once
// The failure helper every routine uses: it remembers the step being run and
// turns the failure being handled into exactly one error-log entry.
//
//   Steps step(p, "Marbrook.COpenLayerDlg.DoModalOpen:");
//   try { step(100); ...; step(101); ... }
//   catch (...) { step.Report(); }
#include <string>

#include "platform/error.h"

namespace marbrook {
struct Platform;

class Steps {
public:
    Steps(Platform& platform, const char* position) noexcept : platform_(platform), position_(position) {}

    void operator()(int step) noexcept { step_ = step; }
    [[nodiscard]] int Current() const noexcept { return step_; }
    [[nodiscard]] std::string Position() const { return position_ + std::to_string(step_); }

    // Call inside a catch block: writes one log entry for the failure being
    // handled, with the position and the current step, and returns what was
    // reported. Never throws.
    ErrorInfo Report() noexcept;

private:
    Platform& platform_;
    const char* position_;
    int step_ = 0;
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
