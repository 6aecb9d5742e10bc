#pragma once
// What every part of the benchmark suite uses: its options, fatal failures,
// the environment, a stopwatch, and the settling of generated data.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace marbrook::bench {

using Clock = std::chrono::steady_clock;

struct Options {
    bool smoke = false; // the smallest size of each case, once
    bool keep = false;  // leave the generated data
    int rounds = 3;
    std::vector<std::string> only;
    [[nodiscard]] bool Wants(const std::string& c) const;
    // Whether --only names `c` itself.
    [[nodiscard]] bool Names(const std::string& c) const;
};

// Prints "bench_suite: <what>" and ends the process with status 1.
[[noreturn]] void Die(const std::string& what);
// The environment variable `name`, "" when unset.
std::string Env(const char* name);
double SecondsOf(const std::function<void()>& f);
// Whether `s` ends in `ext` (".shp"), ASCII case ignored.
bool EndsWithCi(const std::string& s, const char* ext);

// A folder changed in the last seconds is read afresh at every look (its
// times cannot yet tell a later change), which a user's folder, changed
// long before it is browsed, is not: data settles before it is timed.
// Generated() notes that data was just written; Settle() waits until it has
// settled, unless settling is off (a smoke run times nothing worth the wait).
void Generated();
void Settle();
void SettleNever();

} // namespace marbrook::bench
