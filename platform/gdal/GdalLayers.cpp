#include "platform/gdal/detail/GdalLayers.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace marbrook::gdal {

namespace {

constexpr const char* kLayerSource = "Marbrook.GDAL";

[[noreturn]] void ObjectNotSet(const std::string& what) {
    throw PlatformError(errnum::kObjectNotSet, kLayerSource, "Object variable not set: " + what);
}

// Where a named dataset lives, for people: "<workspace path>/<name>".
std::string Describe(const gis::DatasetName& name) {
    const gis::WorkspaceNamePtr workspace = name.GetWorkspaceName();
    const std::string dataset = name.Name();
    if (!workspace || workspace->PathName().empty()) return dataset;
    return workspace->PathName() + "/" + dataset;
}

// Feature, annotation and coverage-annotation layers differ only in the kind
// they report: each draws the feature class it holds.
class FeatureLayerImpl final : public gis::FeatureLayer {
public:
    FeatureLayerImpl(gis::GisService& gis, gis::LayerKind kind) : gis_(gis), kind_(kind) {}

    gis::LayerKind Kind() const noexcept override { return kind_; }
    std::string Name() const override { return name_; }
    void SetName(const std::string& name) override { name_ = name; }
    bool Valid() const override { return featureClass_ != nullptr; }
    std::string DataSourceText() const override { return source_ ? Describe(*source_) : std::string{}; }

    // The name stays after a disconnection, so that the layer can be
    // connected again to where it came from.
    gis::DatasetNamePtr DataSourceName() const override { return source_; }
    void Disconnect() override { featureClass_.reset(); }
    bool Connect(const gis::DatasetName& name) override {
        try {
            gis::FeatureClassPtr opened = gis::AsFeatureClass(gis_.OpenName(name));
            gis::DatasetNamePtr full = opened->FullName();
            featureClass_ = std::move(opened);
            if (full) source_ = std::move(full);
            return true;
        } catch (...) {
            // A layer whose source cannot be read must not keep drawing the
            // old one.
            featureClass_.reset();
            return false;
        }
    }

    gis::FeatureClassPtr GetFeatureClass() const override { return featureClass_; }
    void SetFeatureClass(gis::FeatureClassPtr featureClass) override {
        gis::DatasetNamePtr full = featureClass ? featureClass->FullName() : nullptr;
        featureClass_ = std::move(featureClass);
        source_ = std::move(full);
    }
    bool Selectable() const override { return selectable_; }
    void SetSelectable(bool selectable) override { selectable_ = selectable; }

private:
    gis::GisService& gis_;
    gis::LayerKind kind_;
    std::string name_;
    gis::FeatureClassPtr featureClass_;
    gis::DatasetNamePtr source_;
    bool selectable_ = true;
};

class RasterLayerImpl final : public gis::RasterLayer {
public:
    gis::LayerKind Kind() const noexcept override { return gis::LayerKind::Raster; }
    std::string Name() const override { return name_; }
    void SetName(const std::string& name) override { name_ = name; }
    bool Valid() const override { return dataset_ != nullptr; }
    std::string DataSourceText() const override { return dataset_ ? dataset_->Name() : std::string{}; }
    void CreateFromDataset(gis::RasterDatasetPtr dataset) override {
        if (!dataset) ObjectNotSet("no raster dataset to build the layer from");
        std::string name = dataset->Name();
        dataset_ = std::move(dataset);
        name_ = std::move(name);
    }
    gis::RasterDatasetPtr GetRasterDataset() const override { return dataset_; }

private:
    std::string name_;
    gis::RasterDatasetPtr dataset_;
};

class CadLayerImpl final : public gis::CadLayer {
public:
    gis::LayerKind Kind() const noexcept override { return gis::LayerKind::Cad; }
    std::string Name() const override { return name_; }
    void SetName(const std::string& name) override { name_ = name; }
    bool Valid() const override { return dataset_ != nullptr; }
    std::string DataSourceText() const override { return dataset_ ? dataset_->FilePath() : std::string{}; }
    void SetCadDrawingDataset(gis::CadDrawingDatasetPtr dataset) override { dataset_ = std::move(dataset); }
    gis::CadDrawingDatasetPtr GetCadDrawingDataset() const override { return dataset_; }

private:
    std::string name_;
    gis::CadDrawingDatasetPtr dataset_;
};

class MapImpl final : public gis::Map {
public:
    std::vector<gis::LayerPtr> Layers() const override { return layers_; }
    void InsertLayerAt(gis::LayerPtr layer, std::size_t index) override {
        if (!layer) ObjectNotSet("no layer to put in the map");
        index = std::min(index, layers_.size());
        layers_.insert(layers_.begin() + static_cast<std::ptrdiff_t>(index), std::move(layer));
    }

private:
    std::vector<gis::LayerPtr> layers_; // top first
};

class MapLayerServiceImpl final : public gis::MapLayerService {
public:
    void InsertLayer(const gis::LayerPtr& reference, gis::Map& map, gis::LayerPtr layer) override {
        if (!layer) ObjectNotSet("no layer to put in the map");
        std::size_t index = 0;
        if (reference) {
            const std::vector<gis::LayerPtr> layers = map.Layers();
            const auto found = std::find(layers.begin(), layers.end(), reference);
            if (found != layers.end()) index = static_cast<std::size_t>(found - layers.begin());
        }
        map.InsertLayerAt(std::move(layer), index);
    }
};

} // namespace

gis::FeatureLayerPtr NewLayerOfFeatures(gis::GisService& gis, gis::LayerKind kind) {
    if (kind != gis::LayerKind::Feature && kind != gis::LayerKind::Annotation && kind != gis::LayerKind::CoverageAnnotation)
        throw PlatformError(errnum::kInvalidProcedureCall, kLayerSource, "a feature layer cannot be of this layer kind");
    return std::make_shared<FeatureLayerImpl>(gis, kind);
}

gis::RasterLayerPtr NewLayerOfRaster() { return std::make_shared<RasterLayerImpl>(); }

gis::CadLayerPtr NewLayerOfDrawing() { return std::make_shared<CadLayerImpl>(); }

gis::MapPtr NewLayerMap() { return std::make_shared<MapImpl>(); }

gis::MapLayerServicePtr NewMapLayerService() { return std::make_shared<MapLayerServiceImpl>(); }

} // namespace marbrook::gdal
