#pragma once
// The figures every benchmark reports of its rounds: the best and the median.
#include <algorithm>
#include <cstddef>
#include <vector>

namespace marbrook::bench {

// The least of `v`; 0 for no rounds.
inline double Min(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

// The median of `v` (the mean of the middle two for an even count); 0 for no
// rounds.
inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

} // namespace marbrook::bench
