#include "LayerOutput.h"

namespace marbrook::cli {

namespace {

// Tabs and line breaks inside a field would break the one-line format.
std::string Field(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}

nlohmann::json Common(const gis::Layer& layer) {
    nlohmann::json j = {{"kind", LayerKindName(layer.Kind())}, {"name", layer.Name()}, {"source", layer.DataSourceText()}};
    AddSource(j, [&] { return layer.SourceInfo(); });
    return j;
}

} // namespace

nlohmann::json SourceJson(const gis::DataSourceInfo& source) {
    nlohmann::json j = nlohmann::json::object();
    if (!source.driver.empty()) j["driver"] = source.driver;
    if (!source.path.empty()) j["path"] = source.path;
    if (!source.layers.empty()) j["layers"] = source.layers;
    if (!source.subdataset.empty()) j["subdataset"] = source.subdataset;
    if (!source.filter.empty()) j["filter"] = source.filter;
    if (!source.connection.empty()) {
        nlohmann::json connection = nlohmann::json::object();
        for (const auto& [key, value] : source.connection) connection[key] = value;
        j["connection"] = connection;
    }
    if (source.table) {
        j["schema"] = source.table->schema;
        if (!source.table->table.empty()) j["table"] = source.table->table;
        if (!source.table->column.empty()) j["column"] = source.table->column;
    }
    return j;
}

void AddSource(nlohmann::json& into, const std::function<std::optional<gis::DataSourceInfo>()>& source) {
    try {
        const std::optional<gis::DataSourceInfo> info = source();
        into["datasource"] = info ? SourceJson(*info) : nlohmann::json(nullptr);
    } catch (const std::exception& e) {
        // A source that cannot be told is no reason to drop the entry: the
        // script still gets what the dialog would show, and why.
        into["datasource"] = nullptr;
        into["datasource_error"] = e.what();
    }
}

const char* LayerKindName(gis::LayerKind kind) {
    switch (kind) {
    case gis::LayerKind::Feature: return "feature";
    case gis::LayerKind::Annotation: return "annotation";
    case gis::LayerKind::CoverageAnnotation: return "coverage-annotation";
    case gis::LayerKind::Raster: return "raster";
    case gis::LayerKind::Cad: return "cad";
    }
    return "layer";
}

const char* ShapeKindName(int shapeKind) {
    switch (shapeKind) {
    case gis::shape::kPoint: return "point";
    case gis::shape::kMultipoint: return "multipoint";
    case gis::shape::kPolyline: return "polyline";
    case gis::shape::kLine: return "line";
    case gis::shape::kPolygon: return "polygon";
    case gis::shape::kMultiPatch: return "multipatch";
    default: return "unknown";
    }
}

std::string LayerLine(const gis::Layer& layer) {
    std::string measure;
    if (const auto* features = dynamic_cast<const gis::FeatureLayer*>(&layer)) {
        const gis::FeatureClassPtr featureClass = features->GetFeatureClass();
        const long long count = featureClass ? featureClass->FeatureCount() : -1;
        measure = count < 0 ? "?" : std::to_string(count);
    } else if (const auto* raster = dynamic_cast<const gis::RasterLayer*>(&layer)) {
        if (const gis::RasterDatasetPtr dataset = raster->GetRasterDataset())
            measure = std::to_string(dataset->Width()) + "x" + std::to_string(dataset->Height());
    }
    return std::string(LayerKindName(layer.Kind())) + '\t' + Field(layer.Name()) + '\t' + Field(layer.DataSourceText()) +
           '\t' + measure;
}

nlohmann::json LayerJson(const gis::Layer& layer) {
    if (const auto* features = dynamic_cast<const gis::FeatureLayer*>(&layer)) return FeatureLayerJson(*features);
    if (const auto* raster = dynamic_cast<const gis::RasterLayer*>(&layer)) return RasterLayerJson(*raster);
    if (const auto* drawing = dynamic_cast<const gis::CadLayer*>(&layer)) return CadLayerJson(*drawing);
    return Common(layer);
}

// "extent" ([xmin, ymin, xmax, ymax] or null) and "crs" ("EPSG:4326", WKT,
// or null) of the layer's data.
void AddPlace(nlohmann::json& j, const gis::Dataset* dataset) {
    const std::optional<gis::Envelope> extent = dataset ? dataset->Extent() : std::nullopt;
    j["extent"] = extent ? nlohmann::json::array({extent->xMin, extent->yMin, extent->xMax, extent->yMax})
                         : nlohmann::json(nullptr);
    const std::string crs = dataset ? dataset->SpatialReference() : std::string();
    j["crs"] = crs.empty() ? nlohmann::json(nullptr) : nlohmann::json(crs);
}

nlohmann::json FeatureLayerJson(const gis::FeatureLayer& layer) {
    nlohmann::json j = Common(layer);
    const gis::FeatureClassPtr featureClass = layer.GetFeatureClass();
    AddPlace(j, featureClass.get());
    j["geometry"] = featureClass ? ShapeKindName(featureClass->ShapeKind()) : "unknown";
    const long long count = featureClass ? featureClass->FeatureCount() : -1;
    j["count"] = count < 0 ? nlohmann::json(nullptr) : nlohmann::json(count);
    return j;
}

nlohmann::json RasterLayerJson(const gis::RasterLayer& layer) {
    nlohmann::json j = Common(layer);
    const gis::RasterDatasetPtr dataset = layer.GetRasterDataset();
    AddPlace(j, dataset.get());
    if (dataset) {
        j["width"] = dataset->Width();
        j["height"] = dataset->Height();
        j["bands"] = dataset->BandCount();
    }
    return j;
}

nlohmann::json CadLayerJson(const gis::CadLayer& layer) {
    nlohmann::json j = Common(layer);
    if (const gis::CadDrawingDatasetPtr dataset = layer.GetCadDrawingDataset()) j["drawing"] = dataset->FilePath();
    return j;
}

} // namespace marbrook::cli
