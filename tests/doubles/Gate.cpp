#include "tests/doubles/Gate.h"

#include <chrono>

namespace marbrook::testing {

void Gate::Pass() {
    std::unique_lock lock(mutex_);
    reached_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(30), [this] { return open_; });
}

void Gate::Open() {
    {
        const std::lock_guard lock(mutex_);
        open_ = true;
    }
    changed_.notify_all();
}

bool Gate::WaitReached(int limitMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return reached_; });
}

} // namespace marbrook::testing
