#pragma once
// What the browser asks of the spatial-database side: the database listings
// and the new-connection form. One narrow seam, so the browser compiles and
// is tested whether or not those parts are present.
#include <cstdint>
#include <string>

#include "catalogue/basOpenDialogs.h"

namespace marbrook {
struct Platform;

namespace browser {

// The top level of the spatial database a connection file describes.
long ListSdeConnection(Platform& p, const std::string& connectionFile, DataItems& items, std::int16_t filterType,
                       gis::WindowHandle parent);
// The members of feature dataset `datasetName` of a spatial database.
long ListSdeFeatureDataset(Platform& p, const std::string& connectionFile, const std::string& datasetName,
                           DataItems& items, std::int16_t filterType, gis::WindowHandle parent);
// The members of feature dataset `datasetName` of a personal geodatabase.
long ListPgdbFeatureDataset(Platform& p, const std::string& mdbPath, const std::string& datasetName, DataItems& items,
                            std::int16_t filterType, gis::WindowHandle parent);

// Shows the new-connection form modally over `parent` with the connection
// folder `sdeDataPath`; true when the user created a connection (the form is
// then unloaded), false when it was cancelled or could not be shown.
bool RunNewConnectionForm(Platform& p, const std::string& sdeDataPath, gis::WindowHandle parent);

} // namespace browser
} // namespace marbrook
