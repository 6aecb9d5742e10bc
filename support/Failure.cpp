#include "support/Failure.h"

#include "platform/platform.h"
#include "support/ErrExport.h"

namespace marbrook {

Steps::Steps(Platform& platform, const char* position) noexcept
    : platform_(platform), position_(position), watcher_(platform.steps) {}

void Steps::Tell(int step) const noexcept { watcher_->Reached(position_, step); }

namespace {
thread_local FailureWatch* tInnermostWatch = nullptr;
} // namespace

FailureWatch::FailureWatch() noexcept : outer_(tInnermostWatch) { tInnermostWatch = this; }

FailureWatch::~FailureWatch() { tInnermostWatch = outer_; }

void FailureWatch::Notify(const std::string& position, const ErrorInfo& error) noexcept {
    for (FailureWatch* w = tInnermostWatch; w; w = w->outer_) {
        ++w->count_;
        if (w->first_) continue;
        try {
            w->first_ = ReportedFailure{position, error};
        } catch (...) {
            // Out of memory: the count still tells that something failed.
        }
    }
}

ErrorInfo Steps::Report() noexcept {
    ErrorInfo info = DescribeCurrentException();
    std::string position;
    try {
        position = Position();
    } catch (...) {
        // Out of memory: reported without a position rather than not at all.
    }
    FailureWatch::Notify(position, info);
    try {
        WriteErrLog(platform_, position, info.number, info.source, info.description);
    } catch (...) {
        // WriteErrLog does not throw.
    }
    return info;
}

} // namespace marbrook
