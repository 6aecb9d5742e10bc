#pragma once
// How the program prints layers: one line of text, or one JSON object, per
// layer. Each kind of layer object has its own function, building on the
// fields every layer has, so that a new field goes where its layer is.
#include <nlohmann/json.hpp>
#include <string>

#include "platform/gis.h"

namespace marbrook::cli {

// "feature", "annotation", "coverage-annotation", "raster" or "cad".
const char* LayerKindName(gis::LayerKind kind);
// "point", "multipoint", "polyline", "line", "polygon", "multipatch", or
// "unknown" for a shape kind of none of these (a class of mixed geometry).
const char* ShapeKindName(int shapeKind);

// kind, name, data source, and the feature count or the raster's size
// ("20x10"), separated by TABs; -1 counts as "?".
std::string LayerLine(const gis::Layer& layer);

// {"kind", "name", "source"} and what the layer's own function adds.
nlohmann::json LayerJson(const gis::Layer& layer);
// + "geometry" and "count" (null when it cannot be counted).
nlohmann::json FeatureLayerJson(const gis::FeatureLayer& layer);
// + "width", "height" and "bands".
nlohmann::json RasterLayerJson(const gis::RasterLayer& layer);
// + "drawing": the drawing's file.
nlohmann::json CadLayerJson(const gis::CadLayer& layer);

} // namespace marbrook::cli
