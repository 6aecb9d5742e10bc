#pragma once
// The spatial-database parts of the marbrook program: "connection create"
// and the database targets of "list".
#include <cstdint>
#include <optional>
#include <string>

#include "catalogue/basOpenDialogs.h"

namespace marbrook {
struct Platform;
}

namespace marbrook::cli {

// Runs "marbrook connection create --server H --instance I [--database D]
// --user U [--password P|-] [--version V] FOLDER"; returns the exit status:
// 0 written (its path printed), 1 the connection cannot be opened or no file
// can be written (one line on stderr), 2 bad usage.
int Connection(int argc, char** argv);

// Lists a database target into `items` with the browser's listings:
// "FILE.sde" (the top level of the spatial database), "FILE.sde::DATASET"
// or "FILE.mdb::DATASET" (the members of a feature dataset). Returns the
// count, or none when `target` is not one of these forms.
std::optional<long> ListDatabaseTarget(Platform& p, const std::string& target, DataItems& items,
                                       std::int16_t filterType);

} // namespace marbrook::cli
