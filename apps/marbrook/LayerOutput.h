#pragma once
// How the program prints layers: one line of text, or one JSON object, per
// layer. Each kind of layer object has its own function, building on the
// fields every layer has, so that a new field goes where its layer is.
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
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

// Where data is, for programs: {"driver", "path", "layers", "filter",
// "connection" (libpq's parameters by name; never a password), "schema",
// "table", "column"}, each present when the source has it.
nlohmann::json SourceJson(const gis::DataSourceInfo& source);
// The layer's or name's source as SourceJson, or null when it has none or
// it cannot be told (the reason is then in "datasource_error" of `into`).
void AddSource(nlohmann::json& into, const std::function<std::optional<gis::DataSourceInfo>()>& source);

// {"kind", "name", "source", "datasource"} and what the layer's own function
// adds.
nlohmann::json LayerJson(const gis::Layer& layer);
// + "geometry", "count" (null when it cannot be counted), "extent"
// ([xmin, ymin, xmax, ymax] of its features, null when none) and "crs"
// ("EPSG:4326", else WKT; null when none).
nlohmann::json FeatureLayerJson(const gis::FeatureLayer& layer);
// + "width", "height", "bands", "extent" and "crs".
nlohmann::json RasterLayerJson(const gis::RasterLayer& layer);
// + "drawing": the drawing's file.
nlohmann::json CadLayerJson(const gis::CadLayer& layer);

} // namespace marbrook::cli
