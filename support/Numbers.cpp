#include "support/Numbers.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace marbrook {

long RoundHalfEven(double value) {
    if (!std::isfinite(value) || value > static_cast<double>(std::numeric_limits<int>::max()) ||
        value < static_cast<double>(std::numeric_limits<int>::min()))
        throw std::overflow_error("number out of range");
    const double floor = std::floor(value);
    const double diff = value - floor;
    long r = static_cast<long>(floor);
    if (diff > 0.5 || (diff == 0.5 && (r % 2 != 0))) ++r;
    return r;
}

} // namespace marbrook
