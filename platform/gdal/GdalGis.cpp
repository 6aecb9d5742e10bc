#include "platform/gdal/GdalGis.h"

#include <mutex>

#include "platform/gdal/detail/GdalCommon.h"
#include "platform/gdal/detail/GdalLayers.h"

namespace marbrook::gdal {

namespace {

void CPL_STDCALL QuietHandler(CPLErr, CPLErrorNum, const char*) {}

class GdalGis final : public gis::GisService {
public:
    gis::WorkspaceFactoryPtr CreateWorkspaceFactory(gis::FactoryKind) override {
        throw PlatformError(errnum::kNotSupported, kGdalSource, "this workspace factory is not available yet");
    }
    gis::DatasetPtr OpenName(const gis::DatasetName& name) override {
        const auto* own = dynamic_cast<const GdalDatasetName*>(&name);
        if (!own) throw PlatformError(errnum::kTypeMismatch, kGdalSource, "the name does not belong to this platform");
        return own->Open();
    }
    gis::CadDrawingDatasetPtr OpenCadDrawingDataset(gis::Workspace&, const std::string&) override {
        throw PlatformError(errnum::kNotSupported, kGdalSource, "CAD drawings are not available yet");
    }
    gis::FeatureLayerPtr NewFeatureLayer(gis::LayerKind kind) override { return NewLayerOfFeatures(*this, kind); }
    gis::RasterLayerPtr NewRasterLayer() override { return NewLayerOfRaster(); }
    gis::CadLayerPtr NewCadLayer() override { return NewLayerOfDrawing(); }
    gis::MapPtr NewMap() override { return NewLayerMap(); }
    gis::MapLayerServicePtr CreateMapLayerService() override { return NewMapLayerService(); }

private:
    static PlatformError NotYet() { return {errnum::kNotSupported, kGdalSource, "layers are not available yet"}; }
};

} // namespace

void InitGdal() {
    static std::once_flag once;
    std::call_once(once, [] {
        CPLSetErrorHandler(&QuietHandler);
        GDALAllRegister();
    });
    thread_local bool threadReady = false;
    if (!threadReady) {
        CPLSetThreadLocalConfigOption("CPL_LOG_ERRORS", "OFF");
        CPLSetErrorHandler(&QuietHandler);
        threadReady = true;
    }
}

std::unique_ptr<gis::GisService> NewGdalGis() {
    InitGdal();
    return std::make_unique<GdalGis>();
}

} // namespace marbrook::gdal
