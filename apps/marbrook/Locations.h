#pragma once
// Locations and items as the program's commands name them, listed with the
// browser's own listings.
//
//   LOCATION   a folder, FILE.mdb, FILE.dxf/.dwg, FILE.sde, FILE.sde::DATASET,
//              FILE.mdb::DATASET, --root or --connections
//   ITEM       LOCATION::NAME, NAME as "list" prints it in DataName; inside a
//              database also DATASET/NAME or DATASET::NAME; or the path of a
//              dataset in a folder (its folder and its file name)
#include <cstdint>
#include <optional>
#include <string>

#include "catalogue/basOpenDialogs.h"

namespace marbrook::cli {

class ProgramPlatform;

// How a listing went. `failed` when the library's failure path ran or it
// told the user something went wrong; `reason` is then one line for people.
struct Listing {
    long count = 0;
    bool failed = false;
    std::string reason;
};

// Lists `location` into `items` (entries 1..count) as the browser shows it.
// "FILE.sde::NOSUCH" and "FILE.mdb::NOSUCH" fail with "no such dataset".
Listing ListLocation(ProgramPlatform& program, const std::string& location, DataItems& items, std::int16_t filter);

// The entry an item names, listed with the browser's listings; `error` says
// why there is none.
struct ResolvedItem {
    std::optional<DataItem> entry;
    std::string error;
};
ResolvedItem ResolveItem(ProgramPlatform& program, const std::string& item);

} // namespace marbrook::cli
