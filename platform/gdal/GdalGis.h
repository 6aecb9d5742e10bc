#pragma once
// The GIS services on GDAL/OGR.
#include <memory>

#include "platform/gis.h"

namespace marbrook::gdal {

// Registers GDAL's drivers once and installs the quiet error handler for the
// calling thread.
void InitGdal();

std::unique_ptr<gis::GisService> NewGdalGis();

} // namespace marbrook::gdal
