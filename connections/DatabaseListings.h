#pragma once
// The database listings of the browser: the top level of a spatial database
// (through its connection file) and the members of a feature dataset of a
// spatial database or of a personal geodatabase.
//
// Each opens its workspace afresh, resets `items` to the blank element 0 and
// appends one DataItem per listed dataset, returning their count. A filter
// they do not serve returns 0 and leaves `items` alone. Failures are logged
// (position "Marbrook.basOpenDialogs.<routine>:") and the items appended so
// far are counted; nothing is thrown.
#include <cstdint>
#include <string>

#include "catalogue/basOpenDialogs.h"

namespace marbrook {
struct Platform;

long OpenSdeConnectionEx(Platform& p, const std::string& sdePath, DataItems& items, std::int16_t filterType,
                         gis::WindowHandle parent = gis::kNoWindow);
long OpenFeatureDatasetFromSDEEx(Platform& p, const std::string& sdePath, const std::string& fdName, DataItems& items,
                                 std::int16_t filterType, gis::WindowHandle parent = gis::kNoWindow);
long OpenFeatureDatasetFromPGeoDBEx(Platform& p, const std::string& mdbPath, const std::string& fdName,
                                    DataItems& items, std::int16_t filterType,
                                    gis::WindowHandle parent = gis::kNoWindow);

} // namespace marbrook
