#pragma once
// The process-wide values of the library: the remembered location and the
// data-source type. Tests reset them between cases.
#include <cstdint>
#include <string>

namespace marbrook {

// The remembered location ("VERDANTA" / "OPENDLG" / "CURDIR").
extern std::string gsCurDir;
// The data-source type; 1 offers the spatial-database connections root.
extern std::int16_t giDataSourceType;

void ResetProcessValues();

} // namespace marbrook
