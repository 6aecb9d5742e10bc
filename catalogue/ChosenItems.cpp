// What a chosen entry of the data list becomes when it is added: the kind of
// layer it makes. The browser's Add and the marbrook program's "layers"
// share it, so that both make the same layers from the same entries.
#include "catalogue/basOpenDialogs.h"
#include "catalogue/CLayerObj.h"

namespace marbrook {

std::optional<std::int16_t> LayerTypeOf(int dataType) noexcept {
    switch (dataType) {
    case dtSdeConnection: return ltSdeConnection;
    case dtPointFeatureClass:
    case dtLineFeatureClass:
    case dtPolygonFeatureClass:
    case dtSdePointFeatureClass:
    case dtSdeLineFeatureClass:
    case dtSdePolygonFeatureClass: return ltFeatureClass;
    case dtRasterFile:
    case 15:
    case dtRasterDataset: return ltRaster;
    case dtCadFile: return ltCadDrawing;
    // A feature class of a geodatabase's feature dataset that is neither
    // simple nor annotation is a feature class like its top-level sibling:
    // taken as a raster it would fail to open and lose the whole selection.
    case dtPgdbOtherFeatureClass:
    case dtOtherFeatureClass:
    case dtAnnotationFeatureClass: return ltAnnotationClass;
    case dtFeatureDataset: return ltFeatureDataset;
    case dtRasterCatalog: return ltRasterCatalog;
    default: return std::nullopt;
    }
}

} // namespace marbrook
