#include "tests/doubles/FaultPlan.h"

#include "platform/error.h"

namespace marbrook::testing {

void FaultPlan::Hit(const std::string& operation) {
    const std::lock_guard lock(mutex_);
    ++count_;
    ++calls_[operation];
    trace_.push_back(operation);
    if (anyCall_ && --anyCall_->remaining == 0) {
        const Plan plan = *anyCall_;
        anyCall_.reset();
        firedAt_ = operation;
        throw PlatformError(plan.number, "FaultPlan", plan.description + " (" + operation + ")");
    }
    auto range = named_.equal_range(operation);
    for (auto it = range.first; it != range.second; ++it) {
        if (--it->second.remaining == 0) {
            const Plan plan = it->second;
            named_.erase(it);
            throw PlatformError(plan.number, "FaultPlan", plan.description);
        }
    }
}

void FaultPlan::FailAt(const std::string& operation, int nth, long number, const std::string& description) {
    const std::lock_guard lock(mutex_);
    named_.emplace(operation, Plan{nth, number, description});
}

void FaultPlan::FailCall(int k, long number, const std::string& description) {
    const std::lock_guard lock(mutex_);
    anyCall_ = Plan{k, number, description};
    firedAt_.reset();
}

void FaultPlan::Disarm() {
    const std::lock_guard lock(mutex_);
    named_.clear();
    anyCall_.reset();
}

void FaultPlan::ResetCounts() {
    const std::lock_guard lock(mutex_);
    count_ = 0;
    trace_.clear();
    calls_.clear();
}

int FaultPlan::Calls(const std::string& operation) const {
    const std::lock_guard lock(mutex_);
    auto it = calls_.find(operation);
    return it == calls_.end() ? 0 : it->second;
}

} // namespace marbrook::testing
