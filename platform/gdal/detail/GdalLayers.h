#pragma once
// Layers and maps of the GDAL back end. They hold the datasets the back end
// opened (feature classes, raster datasets, drawing datasets) through the
// platform interfaces only, so they work with any dataset of this back end.
#include "platform/gis.h"

namespace marbrook::gdal {

// A feature, annotation or coverage-annotation layer. Connect(name) opens the
// name through `gis`, which must outlive the layer.
gis::FeatureLayerPtr NewLayerOfFeatures(gis::GisService& gis, gis::LayerKind kind);
gis::RasterLayerPtr NewLayerOfRaster();
gis::CadLayerPtr NewLayerOfDrawing();
gis::MapPtr NewLayerMap();
gis::MapLayerServicePtr NewMapLayerService();

} // namespace marbrook::gdal
