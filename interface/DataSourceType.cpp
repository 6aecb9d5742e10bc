#include "interface/DataSourceType.h"

#include <charconv>
#include <string>
#include <system_error>

#include "platform/error.h"
#include "support/Numbers.h"

namespace marbrook {

namespace {

constexpr const char* kSource = "Marbrook";

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

} // namespace

std::int16_t DataSourceTypeFromText(std::string_view stored) {
    // Blanks are skipped wherever they stand ("1 2" reads as 12).
    std::string compact;
    compact.reserve(stored.size());
    for (char c : stored)
        if (!IsBlank(c)) compact.push_back(c);

    std::size_t pos = 0;
    bool negative = false;
    if (pos < compact.size() && (compact[pos] == '+' || compact[pos] == '-')) negative = compact[pos++] == '-';
    std::string number;
    bool anyDigit = false;
    while (pos < compact.size() && IsDigit(compact[pos])) {
        number.push_back(compact[pos++]);
        anyDigit = true;
    }
    if (pos < compact.size() && compact[pos] == '.') {
        number.push_back(compact[pos++]);
        while (pos < compact.size() && IsDigit(compact[pos])) {
            number.push_back(compact[pos++]);
            anyDigit = true;
        }
    }
    if (!anyDigit) return 0;
    bool negativeExponent = false;
    if (pos < compact.size() && (compact[pos] == 'e' || compact[pos] == 'E' || compact[pos] == 'd' || compact[pos] == 'D')) {
        std::size_t e = pos + 1;
        std::string exponent = "e";
        if (e < compact.size() && (compact[e] == '+' || compact[e] == '-')) {
            negativeExponent = compact[e] == '-';
            exponent.push_back(compact[e++]);
        }
        if (e < compact.size() && IsDigit(compact[e])) {
            while (e < compact.size() && IsDigit(compact[e])) exponent.push_back(compact[e++]);
            number += exponent;
        }
    }
    if (number.front() == '.') number.insert(number.begin(), '0');

    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        if (!negativeExponent) throw PlatformError(errnum::kOverflow, kSource, "Overflow");
        value = 0; // far below one: rounds to zero
    } else if (ec != std::errc{}) {
        return 0;
    }
    if (negative) value = -value;

    // Far outside 16 bits the rounding itself could not hold the number.
    if (!(value > -40000.0 && value < 40000.0)) throw PlatformError(errnum::kOverflow, kSource, "Overflow");
    const long rounded = RoundHalfEven(value);
    if (rounded < -32768 || rounded > 32767) throw PlatformError(errnum::kOverflow, kSource, "Overflow");
    return static_cast<std::int16_t>(rounded);
}

} // namespace marbrook
