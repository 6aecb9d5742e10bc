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
    return {{"kind", LayerKindName(layer.Kind())}, {"name", layer.Name()}, {"source", layer.DataSourceText()}};
}

} // namespace

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

nlohmann::json FeatureLayerJson(const gis::FeatureLayer& layer) {
    nlohmann::json j = Common(layer);
    const gis::FeatureClassPtr featureClass = layer.GetFeatureClass();
    j["geometry"] = featureClass ? ShapeKindName(featureClass->ShapeKind()) : "unknown";
    const long long count = featureClass ? featureClass->FeatureCount() : -1;
    j["count"] = count < 0 ? nlohmann::json(nullptr) : nlohmann::json(count);
    return j;
}

nlohmann::json RasterLayerJson(const gis::RasterLayer& layer) {
    nlohmann::json j = Common(layer);
    if (const gis::RasterDatasetPtr dataset = layer.GetRasterDataset()) {
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
