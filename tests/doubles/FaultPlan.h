#pragma once
// Failures on demand for the test doubles. Every platform call a double
// serves is counted here under "<service>.<operation>" ("gis.OpenName",
// "ui.ShowForm", "system.ListFolder"); a plan makes the n-th call of one
// operation fail, or the k-th call of any kind.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace marbrook::testing {

class FaultPlan {
public:
    // Counts one call and throws the PlatformError planned for it, if any.
    void Hit(const std::string& operation);

    // The `nth` call (from 1) of `operation` from now on throws.
    void FailAt(const std::string& operation, int nth = 1, long number = 440,
                const std::string& description = "simulated failure");
    // The k-th call (from 1) counted after this, of whatever operation, throws.
    void FailCall(int k, long number = 440, const std::string& description = "injected fault");
    // Drops every planned failure.
    void Disarm();
    // Counts and the trace start again from zero (planned failures stay).
    void ResetCounts();

    [[nodiscard]] int Count() const noexcept { return count_; }
    // Calls may come from a listing's thread while the test acts: counting
    // is guarded.
    [[nodiscard]] int Calls(const std::string& operation) const;
    // Every counted call in order.
    [[nodiscard]] const std::vector<std::string>& Trace() const noexcept { return trace_; }
    // The operation the FailCall failure was thrown at (none while it waits).
    [[nodiscard]] const std::optional<std::string>& FiredAt() const noexcept { return firedAt_; }

private:
    struct Plan {
        int remaining;
        long number;
        std::string description;
    };
    mutable std::mutex mutex_;
    int count_ = 0;
    std::vector<std::string> trace_;
    std::map<std::string, int> calls_;
    std::multimap<std::string, Plan> named_;
    std::optional<Plan> anyCall_;
    std::optional<std::string> firedAt_;
};

} // namespace marbrook::testing
