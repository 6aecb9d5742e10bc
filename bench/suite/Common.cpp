#include "bench/suite/Common.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

#include "support/Text.h"

namespace marbrook::bench {

namespace {
Clock::time_point gLastGenerated{};
bool gNoSettling = false;
} // namespace

bool Options::Wants(const std::string& c) const { return only.empty() || Names(c); }

bool Options::Names(const std::string& c) const { return std::find(only.begin(), only.end(), c) != only.end(); }

void Die(const std::string& what) {
    std::cerr << "bench_suite: " << what << "\n";
    std::exit(1);
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

double SecondsOf(const std::function<void()>& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool EndsWithCi(const std::string& s, const char* ext) {
    const std::size_t n = std::strlen(ext);
    return s.size() >= n && text::UpperAscii(std::string_view(s).substr(s.size() - n)) == text::UpperAscii(ext);
}

void Generated() { gLastGenerated = Clock::now(); }

void Settle() {
    if (gNoSettling) return;
    const auto ready = gLastGenerated + std::chrono::milliseconds(3500);
    if (Clock::now() < ready) std::this_thread::sleep_until(ready);
}

void SettleNever() { gNoSettling = true; }

} // namespace marbrook::bench
