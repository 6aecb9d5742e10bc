#pragma once
// The "list" command of the marbrook program: a location listed exactly as
// the browser's data list shows it.
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>

#include "catalogue/basOpenDialogs.h"

namespace marbrook::cli {

// A field with backslash, TAB, LF and CR written as \\, \t, \n, \r, so that
// one entry is always one line.
std::string EscapeField(std::string_view field);

// Prints entries 1..n of a data list, one line each: DataLocation, DataType,
// DataTypeDesc, DataName, DataFullName, separated by TABs.
void PrintItems(std::ostream& out, const DataItems& items);

// Entries 1..n of a data list as a JSON array: one object per entry with the
// five fields by name and "datasource" (LayerOutput's SourceJson, or null).
nlohmann::json ItemsJson(const DataItems& items);

// Runs "marbrook list [--json] [--filter N] LOCATION"; returns the exit status:
// 0 listed (possibly empty), 1 the location was not listed, or not
// completely (the reason in one line on stderr), 2 bad usage.
int List(int argc, char** argv);

} // namespace marbrook::cli
