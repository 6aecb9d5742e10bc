#pragma once
// The order in which the browser lists names: the order a user can search,
// whatever order the file system hands them out in. Names compare by their
// case-folded form (ASCII and Unicode simple case folding), byte by byte, so
// "Roads" and "roads" stand together; names that fold alike keep a fixed
// order by their own bytes. No locale takes part: the same names give the
// same order on every machine, and each name is folded once per sort.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace marbrook::names {

// `name` case folded. A byte sequence that is not UTF-8 is kept as it is.
std::string Fold(std::string_view name);

// True when `a` is listed before `b`.
bool Before(std::string_view a, std::string_view b);

// Sorts `names` into listing order.
void Sort(std::vector<std::string>& names);

// The listing order of `count` names, `nameAt(i)` giving the i-th: a
// permutation of 0..count-1, first the index of the name listed first.
std::vector<std::size_t> Order(std::size_t count, const std::function<std::string_view(std::size_t)>& nameAt);

} // namespace marbrook::names
