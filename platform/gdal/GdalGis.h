#pragma once
// The GIS services on GDAL/OGR.
#include <memory>
#include <string>

#include "platform/gis.h"

namespace marbrook::gdal {

// Registers GDAL's drivers once and installs the quiet error handler for the
// calling thread.
void InitGdal();

std::unique_ptr<gis::GisService> NewGdalGis();

// Names the shared library this code stands for when a program carries it
// inside itself: the reader program is looked for beside that library, not
// beside the program. Call before the first reading.
void StandForLibrary(std::string libraryFile);

} // namespace marbrook::gdal
