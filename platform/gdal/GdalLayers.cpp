#include "platform/gdal/detail/GdalLayers.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/gdal/detail/GdalCommon.h"

namespace marbrook::gdal {

namespace {

constexpr const char* kLayerSource = "Marbrook.GDAL";

[[noreturn]] void ObjectNotSet(const std::string& what) {
    throw PlatformError(errnum::kObjectNotSet, kLayerSource, "Object variable not set: " + what);
}

// Where a named dataset lives, for people: for a database table
// "<connection> <schema>.<table> (<column>)", else the name's own account of
// its source (the file, the drawing and its class), else
// "<workspace path>/<name>".
std::string Describe(const gis::DatasetName& name) {
    const gis::WorkspaceNamePtr workspace = name.GetWorkspaceName();
    if (const auto table = name.Table())
        return (workspace ? workspace->PathName() + " " : std::string()) + gis::DescribeTable(*table);
    if (const auto* own = dynamic_cast<const GdalDatasetName*>(&name)) return own->SourceText();
    const std::string dataset = name.Name();
    if (!workspace || workspace->PathName().empty()) return dataset;
    return workspace->PathName() + "/" + dataset;
}

// The data-source name a layer owns. Callers change a layer's source name in
// place (workspace and name) before connecting it elsewhere; a layer must not
// hand out the name object it was opened from, which belongs to the browser
// or to the caller, or re-pointing one layer would silently re-point their
// names too. This copy opens what its origin opens while it is unchanged, and
// once changed finds its dataset again in its (new) workspace.
class LayerSourceName final : public GdalDatasetName {
public:
    LayerSourceName(gis::GisService& gis, gis::DatasetNamePtr origin)
        : gis_(gis), origin_(std::move(origin)), name_(origin_->Name()), kind_(origin_->Kind()),
          workspace_(origin_->GetWorkspaceName()), details_(origin_->Details()) {}

    std::string Name() const override { return name_; }
    void SetName(const std::string& name) override { name_ = name; }
    int Kind() const override { return kind_; }
    std::vector<gis::DatasetNamePtr> SubsetNames() const override {
        return Unchanged() ? origin_->SubsetNames() : Resolve()->SubsetNames();
    }
    gis::WorkspaceNamePtr GetWorkspaceName() const override { return workspace_; }
    void SetWorkspaceName(gis::WorkspaceNamePtr name) override { workspace_ = std::move(name); }
    std::optional<gis::FeatureClassDetails> Details() const override { return details_; }
    std::optional<gis::TablePath> Table() const override { return Unchanged() ? origin_->Table() : std::nullopt; }
    std::optional<gis::DataSourceInfo> SourceInfo() const override {
        return Unchanged() ? origin_->SourceInfo() : Resolve()->SourceInfo();
    }
    gis::DatasetPtr Open() const override { return gis_.OpenName(Unchanged() ? *origin_ : *Resolve()); }
    std::string SourceText() const override {
        if (Unchanged())
            if (const auto* own = dynamic_cast<const GdalDatasetName*>(origin_.get())) return own->SourceText();
        return GdalDatasetName::SourceText();
    }

private:
    [[nodiscard]] bool Unchanged() const {
        return name_ == origin_->Name() && SameWorkspace(workspace_, origin_->GetWorkspaceName());
    }

    static bool SameWorkspace(const gis::WorkspaceNamePtr& a, const gis::WorkspaceNamePtr& b) {
        if (a == b) return true;
        if (!a || !b) return false;
        return a->Factory() == b->Factory() && a->PathName() == b->PathName() &&
               a->ConnectionProperties().Properties() == b->ConnectionProperties().Properties();
    }

    // The dataset of this name and kind in the workspace the name now gives.
    gis::DatasetNamePtr Resolve() const {
        if (!workspace_) ObjectNotSet("the data-source name has no workspace");
        const gis::WorkspaceFactoryPtr factory = gis_.CreateWorkspaceFactory(workspace_->Factory());
        if (!factory) ObjectNotSet("no workspace factory");
        gis::WorkspacePtr workspace;
        if (workspace_->Factory() == gis::FactoryKind::SpatialDatabase) {
            // A name that came from a connection file carries its path only.
            const gis::PropertySet& given = workspace_->ConnectionProperties();
            workspace = factory->OpenWorkspace(
                given.Count() > 0 ? given : factory->ReadConnectionProperties(workspace_->PathName()), gis::kNoWindow);
        } else {
            workspace = factory->OpenWorkspaceFromFile(workspace_->PathName(), gis::kNoWindow);
        }
        if (!workspace) ObjectNotSet("the workspace " + workspace_->PathName() + " could not be opened");
        for (const gis::DatasetNamePtr& candidate : workspace->ListDatasetNames(kind_))
            if (candidate && candidate->Name() == name_) return candidate;
        // A feature class may live inside a feature dataset.
        if (kind_ == gis::kind::kFeatureClass)
            for (const gis::DatasetNamePtr& dataset : workspace->ListDatasetNames(gis::kind::kFeatureDataset))
                for (const gis::DatasetNamePtr& member : dataset->SubsetNames())
                    if (member && member->Kind() == kind_ && member->Name() == name_) return member;
        throw PlatformError(errnum::kFileNotFound, kLayerSource, "no dataset " + name_ + " in " + workspace_->PathName());
    }

    gis::GisService& gis_;
    gis::DatasetNamePtr origin_;
    std::string name_;
    int kind_;
    gis::WorkspaceNamePtr workspace_;
    std::optional<gis::FeatureClassDetails> details_;
};

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
    std::optional<gis::DataSourceInfo> SourceInfo() const override {
        return source_ ? source_->SourceInfo() : std::nullopt;
    }

    // The name stays after a disconnection, so that the layer can be
    // connected again to where it came from.
    gis::DatasetNamePtr DataSourceName() const override { return source_; }
    void Disconnect() override { featureClass_.reset(); }
    bool Connect(const gis::DatasetName& name) override {
        try {
            gis::FeatureClassPtr opened = gis::AsFeatureClass(gis_.OpenName(name));
            gis::DatasetNamePtr source = OwnSource(*opened);
            featureClass_ = std::move(opened);
            if (source) source_ = std::move(source);
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
        gis::DatasetNamePtr source = featureClass ? OwnSource(*featureClass) : nullptr;
        featureClass_ = std::move(featureClass);
        source_ = std::move(source);
    }
    bool Selectable() const override { return selectable_; }
    void SetSelectable(bool selectable) override { selectable_ = selectable; }

private:
    gis::DatasetNamePtr OwnSource(const gis::FeatureClass& featureClass) const {
        gis::DatasetNamePtr full = featureClass.FullName();
        if (!full) return nullptr;
        return std::make_shared<LayerSourceName>(gis_, std::move(full));
    }

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
    std::string DataSourceText() const override {
        if (const auto* own = dynamic_cast<const GdalRaster*>(dataset_.get())) return own->Source();
        return dataset_ ? dataset_->Name() : std::string{};
    }
    std::optional<gis::DataSourceInfo> SourceInfo() const override {
        return dataset_ ? dataset_->SourceInfo() : std::nullopt;
    }
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
    std::optional<gis::DataSourceInfo> SourceInfo() const override {
        return dataset_ ? dataset_->SourceInfo() : std::nullopt;
    }
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
