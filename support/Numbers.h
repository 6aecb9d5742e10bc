#pragma once
// Numbers as the library rounds them.

namespace marbrook {

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4). std::overflow_error outside the range of int, and for infinity
// and NaN.
long RoundHalfEven(double value);

} // namespace marbrook
