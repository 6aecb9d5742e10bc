#pragma once
// The spatial-database workspace factory: PostgreSQL + PostGIS through GDAL's
// PostgreSQL and PostGIS-raster drivers, and our connection files.
#include <memory>

#include "platform/gis.h"

namespace marbrook::gdal {

// OpenWorkspace takes SERVER (host), INSTANCE (a port number, a service name
// looked up in the services database, default port 5432, or
// "sde:postgresql:<host>"), DATABASE, USER, PASSWORD (empty: libpq's own
// password file) and VERSION. It gives none, with LastOpenFailure() saying
// why, when the server cannot be reached or refuses the login; other
// failures throw. No description it produces holds the password.
std::shared_ptr<gis::WorkspaceFactory> NewSpatialDatabaseFactory();

} // namespace marbrook::gdal
