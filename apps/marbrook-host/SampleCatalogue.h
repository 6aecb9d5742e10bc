#pragma once
// A small catalogue of sample data for the demo host and the view tests:
// shapefiles of each geometry, a GeoTIFF, a DXF drawing and a nested folder.
#include <string>
#include <vector>

namespace marbrook::host {

// Writes the catalogue into `folder` (created when missing), keeping files
// that are already there. Returns the paths written; throws
// std::runtime_error with GDAL's message when a file cannot be written.
std::vector<std::string> WriteSampleCatalogue(const std::string& folder);

} // namespace marbrook::host
