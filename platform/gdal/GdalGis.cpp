#include "platform/gdal/GdalGis.h"

#include <mutex>

#include "platform/gdal/detail/DataFiles.h"
#include "platform/gdal/detail/FileStores.h"
#include "platform/gdal/detail/FolderReader.h"
#include "platform/gdal/detail/GdalCommon.h"
#include "platform/gdal/detail/GdalLayers.h"
#include "platform/gdal/postgis/PostgisFactory.h"

namespace marbrook::gdal {

namespace {

void CPL_STDCALL QuietHandler(CPLErr, CPLErrorNum, const char*) {}

class GdalGis final : public gis::GisService {
public:
    // GDAL's error-handler stack is per thread: a thread the library starts
    // gets the quiet handler before its first GDAL call.
    void EnterThread() noexcept override {
        try {
            InitGdal();
        } catch (...) {
        }
    }
    gis::WorkspaceFactoryPtr CreateWorkspaceFactory(gis::FactoryKind kind) override {
        InitGdal();
        switch (kind) {
        case gis::FactoryKind::Shapefile: return NewShapefileFactory();
        case gis::FactoryKind::Raster: return NewRasterFactory();
        case gis::FactoryKind::Cad: return NewCadFactory();
        case gis::FactoryKind::PersonalGeodatabase: return NewGeodatabaseFactory();
        case gis::FactoryKind::DataFile: return NewDataFileFactory();
        case gis::FactoryKind::SpatialDatabase: return NewSpatialDatabaseFactory();
        }
        throw PlatformError(errnum::kNotSupported, kGdalSource, "this workspace factory is not available");
    }
    gis::DatasetPtr OpenName(const gis::DatasetName& name) override {
        InitGdal();
        const auto* own = dynamic_cast<const GdalDatasetName*>(&name);
        if (!own) throw PlatformError(errnum::kTypeMismatch, kGdalSource, "the name does not belong to this platform");
        return own->Open();
    }
    gis::CadDrawingDatasetPtr OpenCadDrawingDataset(gis::Workspace& cadWorkspace, const std::string& name) override {
        return OpenCadDrawing(cadWorkspace, name);
    }
    gis::FeatureLayerPtr NewFeatureLayer(gis::LayerKind kind) override { return NewLayerOfFeatures(*this, kind); }
    gis::RasterLayerPtr NewRasterLayer() override { return NewLayerOfRaster(); }
    gis::CadLayerPtr NewCadLayer() override { return NewLayerOfDrawing(); }
    gis::MapPtr NewMap() override { return NewLayerMap(); }
    gis::MapLayerServicePtr CreateMapLayerService() override { return NewMapLayerService(); }
};

} // namespace

void InitGdal() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The process-wide handler covers threads that never come here.
        CPLSetErrorHandler(&QuietHandler);
        GDALAllRegister();
        ReadHeadsWhileListing();
    });
    // GDAL's handler stack is per thread: each thread that calls GDAL through
    // us gets the quiet handler at the bottom of its own stack, once, and
    // takes it off again when it ends, so a host that calls us from many
    // short-lived threads does not grow by a handler per thread.
    struct ThreadHandler {
        ThreadHandler() {
            CPLSetThreadLocalConfigOption("CPL_LOG_ERRORS", "OFF");
            CPLPushErrorHandler(&QuietHandler);
        }
        ~ThreadHandler() { CPLPopErrorHandler(); }
        ThreadHandler(const ThreadHandler&) = delete;
        ThreadHandler& operator=(const ThreadHandler&) = delete;
    };
    thread_local ThreadHandler threadHandler;
    (void)threadHandler;
}

std::unique_ptr<gis::GisService> NewGdalGis() {
    InitGdal();
    return std::make_unique<GdalGis>();
}

} // namespace marbrook::gdal
