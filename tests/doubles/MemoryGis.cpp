#include "tests/doubles/MemoryGis.h"

#include <algorithm>

#include "platform/error.h"

namespace marbrook::testing {

using namespace marbrook::gis;

namespace {

class MemFeatureClass final : public gis::FeatureClass {
public:
    MemFeatureClass(MemoryGis& g, std::shared_ptr<const MemoryName> n) : gis_(g), name_(std::move(n)) {}
    std::string Name() const override { return name_->Name(); }
    std::string AliasName() const override {
        gis_.Hit("AliasName");
        return name_->alias.empty() ? name_->Name() : name_->alias;
    }
    int FeatureKind() const override {
        gis_.Hit("FeatureKind");
        return name_->details ? name_->details->featureKind : 0;
    }
    int ShapeKind() const override {
        gis_.Hit("ShapeKind");
        return name_->details ? name_->details->shapeKind : 0;
    }
    long long FeatureCount() const override { return name_->featureCount; }
    DatasetNamePtr FullName() const override { return std::const_pointer_cast<MemoryName>(name_); }

private:
    MemoryGis& gis_;
    std::shared_ptr<const MemoryName> name_;
};

class MemRaster final : public gis::RasterDataset {
public:
    explicit MemRaster(std::string n) : name_(std::move(n)) {}
    std::string Name() const override { return name_; }
    int Width() const override { return 10; }
    int Height() const override { return 10; }
    int BandCount() const override { return 1; }

private:
    std::string name_;
};

class MemCad final : public gis::CadDrawingDataset {
public:
    MemCad(std::string n, std::string path) : name_(std::move(n)), path_(std::move(path)) {}
    std::string Name() const override { return name_; }
    std::string FilePath() const override { return path_; }

private:
    std::string name_, path_;
};

class MemWorkspace final : public gis::Workspace {
public:
    MemWorkspace(MemoryGis& g, MemoryWorkspaceDef& d) : gis_(g), def_(d) {}
    WorkspaceNamePtr Name() const override { return std::make_shared<WorkspaceName>(def_.factory, def_.path); }
    std::vector<DatasetNamePtr> ListDatasetNames(int kind) override {
        gis_.Hit("ListDatasetNames");
        std::vector<DatasetNamePtr> out;
        for (const auto& n : def_.names) {
            const int k = n->Kind();
            const bool geo = k == kind::kFeatureDataset || k == kind::kFeatureClass || k == kind::kRasterDataset ||
                             k == kind::kRasterCatalog;
            if (kind == kind::kAny || k == kind || (kind == kind::kGeo && geo)) out.push_back(n);
        }
        return out;
    }
    std::vector<VersionInfo> ListVersions() override {
        gis_.Hit("ListVersions");
        if (!def_.versioned) throw PlatformError(errnum::kTypeMismatch, "MemoryGis", "not a versioned workspace");
        return def_.versions;
    }
    MemoryWorkspaceDef& Def() { return def_; }

private:
    MemoryGis& gis_;
    MemoryWorkspaceDef& def_;
};

class MemFactory final : public gis::WorkspaceFactory {
public:
    MemFactory(MemoryGis& g, FactoryKind k) : gis_(g), kind_(k) {}
    FactoryKind Kind() const noexcept override { return kind_; }
    WorkspacePtr OpenWorkspace(const PropertySet& properties, WindowHandle) override {
        gis_.Hit("OpenWorkspace");
        gis_.openedWith.push_back(properties);
        const std::string key = kind_ == FactoryKind::SpatialDatabase
                                    ? properties.GetProperty("SERVER").value_or("") + ":" +
                                          properties.GetProperty("INSTANCE").value_or("")
                                    : properties.GetProperty("DATABASE").value_or("");
        return Open(key);
    }
    WorkspacePtr OpenWorkspaceFromFile(const std::string& path, WindowHandle) override {
        gis_.Hit("OpenWorkspaceFromFile");
        return Open(path);
    }
    PropertySet ReadConnectionProperties(const std::string& path) override {
        gis_.Hit("ReadConnectionProperties");
        auto it = gis_.connectionFiles.find(path);
        if (it == gis_.connectionFiles.end())
            throw PlatformError(errnum::kFileNotFound, "MemoryGis", "no connection file " + path);
        return it->second;
    }
    WorkspaceNamePtr CreateConnectionFile(const std::string& folder, const std::string& fileName,
                                          const PropertySet& properties, WindowHandle) override {
        gis_.Hit("CreateConnectionFile");
        gis_.createdFiles.push_back({folder, fileName, properties});
        if (!gis_.connectionFileWrites) return nullptr;
        return std::make_shared<WorkspaceName>(kind_, folder + "/" + fileName, properties);
    }
    std::string LastOpenFailure() const override { return lastFailure_; }

private:
    WorkspacePtr Open(const std::string& key) {
        lastFailure_.clear();
        auto* def = gis_.FindWorkspace(kind_, key);
        // A folder that no test gave stores of its own holds none.
        if (!def && kind_ == FactoryKind::DataFile) def = &gis_.AddWorkspace(kind_, key);
        if (!def) throw PlatformError(errnum::kPathNotFound, "MemoryGis", "no workspace at " + key);
        if (def->gate) def->gate->Pass();
        if (def->opensToNothing) {
            lastFailure_ = def->openFailure;
            return nullptr;
        }
        return std::make_shared<MemWorkspace>(gis_, *def);
    }
    MemoryGis& gis_;
    FactoryKind kind_;
    std::string lastFailure_;
};

class MemFeatureLayer final : public gis::FeatureLayer {
public:
    MemFeatureLayer(MemoryGis& g, LayerKind k) : gis_(g), kind_(k) {}
    LayerKind Kind() const noexcept override { return kind_; }
    std::string Name() const override {
        gis_.Hit("LayerName");
        return name_;
    }
    void SetName(const std::string& n) override {
        gis_.Hit("SetLayerName");
        name_ = n;
    }
    bool Valid() const override {
        gis_.Hit("Valid");
        return fc_ != nullptr;
    }
    std::string DataSourceText() const override { return fc_ ? fc_->Name() : std::string{}; }
    DatasetNamePtr DataSourceName() const override {
        gis_.Hit("DataSourceName");
        return source_;
    }
    void Disconnect() override {
        gis_.Hit("Disconnect");
        fc_.reset();
    }
    bool Connect(const DatasetName& name) override {
        gis_.Hit("Connect");
        try {
            fc_ = AsFeatureClass(gis_.OpenName(name));
            source_ = fc_->FullName();
            return true;
        } catch (...) {
            return false;
        }
    }
    FeatureClassPtr GetFeatureClass() const override {
        gis_.Hit("GetFeatureClass");
        return fc_;
    }
    void SetFeatureClass(FeatureClassPtr fc) override {
        gis_.Hit("SetFeatureClass");
        fc_ = std::move(fc);
        if (fc_) source_ = fc_->FullName();
    }
    bool Selectable() const override { return selectable_; }
    void SetSelectable(bool s) override {
        gis_.Hit("SetSelectable");
        selectable_ = s;
    }

private:
    MemoryGis& gis_;
    LayerKind kind_;
    std::string name_;
    FeatureClassPtr fc_;
    DatasetNamePtr source_;
    bool selectable_ = true;
};

class MemRasterLayer final : public gis::RasterLayer {
public:
    explicit MemRasterLayer(MemoryGis& g) : gis_(g) {}
    LayerKind Kind() const noexcept override { return LayerKind::Raster; }
    std::string Name() const override { return name_; }
    void SetName(const std::string& n) override {
        gis_.Hit("SetLayerName");
        name_ = n;
    }
    bool Valid() const override { return ds_ != nullptr; }
    std::string DataSourceText() const override { return ds_ ? ds_->Name() : std::string{}; }
    void CreateFromDataset(RasterDatasetPtr ds) override {
        gis_.Hit("CreateFromDataset");
        ds_ = std::move(ds);
        name_ = ds_->Name();
    }
    RasterDatasetPtr GetRasterDataset() const override { return ds_; }

private:
    MemoryGis& gis_;
    std::string name_;
    RasterDatasetPtr ds_;
};

class MemCadLayer final : public gis::CadLayer {
public:
    explicit MemCadLayer(MemoryGis& g) : gis_(g) {}
    LayerKind Kind() const noexcept override { return LayerKind::Cad; }
    std::string Name() const override { return name_; }
    void SetName(const std::string& n) override {
        gis_.Hit("SetLayerName");
        name_ = n;
    }
    bool Valid() const override { return ds_ != nullptr; }
    std::string DataSourceText() const override { return ds_ ? ds_->FilePath() : std::string{}; }
    void SetCadDrawingDataset(CadDrawingDatasetPtr ds) override {
        gis_.Hit("SetCadDrawingDataset");
        ds_ = std::move(ds);
    }
    CadDrawingDatasetPtr GetCadDrawingDataset() const override { return ds_; }

private:
    MemoryGis& gis_;
    std::string name_;
    CadDrawingDatasetPtr ds_;
};

class MemMap final : public gis::Map {
public:
    std::vector<LayerPtr> Layers() const override { return layers_; }
    void InsertLayerAt(LayerPtr layer, std::size_t index) override {
        index = std::min(index, layers_.size());
        layers_.insert(layers_.begin() + static_cast<std::ptrdiff_t>(index), std::move(layer));
    }

private:
    std::vector<LayerPtr> layers_;
};

class MemMapService final : public gis::MapLayerService {
public:
    explicit MemMapService(MemoryGis& g) : gis_(g) {}
    void InsertLayer(const LayerPtr& reference, Map& map, LayerPtr layer) override {
        gis_.Hit("InsertLayer");
        gis_.inserted.push_back(layer);
        const auto layers = map.Layers();
        std::size_t index = 0;
        if (reference) {
            auto it = std::find(layers.begin(), layers.end(), reference);
            if (it != layers.end()) index = static_cast<std::size_t>(it - layers.begin());
        }
        map.InsertLayerAt(std::move(layer), index);
    }

private:
    MemoryGis& gis_;
};

} // namespace

std::string MemoryName::Name() const {
    gis_->Hit("Name");
    return name_;
}

void MemoryName::SetName(const std::string& name) {
    gis_->Hit("SetName");
    name_ = name;
}

gis::WorkspaceNamePtr MemoryName::GetWorkspaceName() const {
    gis_->Hit("GetWorkspaceName");
    return workspace_;
}

void MemoryName::SetWorkspaceName(gis::WorkspaceNamePtr name) {
    gis_->Hit("SetWorkspaceName");
    workspace_ = std::move(name);
}

int MemoryName::Kind() const {
    gis_->Hit("Kind");
    return kind_;
}

std::vector<DatasetNamePtr> MemoryName::SubsetNames() const {
    gis_->Hit("SubsetNames");
    return subsets;
}

std::optional<FeatureClassDetails> MemoryName::Details() const {
    gis_->Hit("Details");
    return details;
}

MemoryWorkspaceDef& MemoryGis::AddWorkspace(FactoryKind factory, const std::string& path) {
    workspaces_.push_back(std::make_unique<MemoryWorkspaceDef>(MemoryWorkspaceDef{factory, path, {}, {}, true, false, {}, nullptr}));
    return *workspaces_.back();
}

MemoryNamePtr MemoryGis::FeatureClass(const std::string& name, int featureKind, int shapeKind, const std::string& alias) {
    auto n = std::make_shared<MemoryName>(*this, name, kind::kFeatureClass);
    n->details = FeatureClassDetails{featureKind, shapeKind};
    n->alias = alias;
    return n;
}

MemoryNamePtr MemoryGis::Name(const std::string& name, int kind) { return std::make_shared<MemoryName>(*this, name, kind); }

MemoryNamePtr MemoryGis::Add(MemoryWorkspaceDef& ws, MemoryNamePtr name) {
    name->SetWorkspaceName(std::make_shared<WorkspaceName>(ws.factory, ws.path));
    for (auto& s : name->subsets)
        if (auto m = std::dynamic_pointer_cast<MemoryName>(s)) m->SetWorkspaceName(name->GetWorkspaceName());
    ws.names.push_back(name);
    return name;
}

MemoryWorkspaceDef* MemoryGis::FindWorkspace(FactoryKind factory, const std::string& path) {
    for (auto& w : workspaces_)
        if (w->factory == factory && w->path == path) return w.get();
    return nullptr;
}

void MemoryGis::FailAt(const std::string& operation, int nth, long number, const std::string& description) {
    const std::lock_guard lock(mutex_);
    plans_.emplace(operation, Plan{nth, number, description});
}

int MemoryGis::Calls(const std::string& operation) const {
    const std::lock_guard lock(mutex_);
    auto it = calls_.find(operation);
    return it == calls_.end() ? 0 : it->second;
}

void MemoryGis::Hit(const std::string& operation) {
    if (faults) faults->Hit("gis." + operation);
    const std::lock_guard lock(mutex_);
    ++calls_[operation];
    auto range = plans_.equal_range(operation);
    for (auto it = range.first; it != range.second; ++it) {
        if (--it->second.remaining == 0) {
            const Plan plan = it->second;
            plans_.erase(it);
            throw PlatformError(plan.number, "MemoryGis", plan.description);
        }
    }
}

PropertySetPtr MemoryGis::CreatePropertySet() {
    Hit("CreatePropertySet");
    return std::make_shared<PropertySet>();
}

WorkspaceFactoryPtr MemoryGis::CreateWorkspaceFactory(FactoryKind kind) {
    Hit("CreateWorkspaceFactory");
    return std::make_shared<MemFactory>(*this, kind);
}

DatasetPtr MemoryGis::OpenName(const DatasetName& name) {
    Hit("OpenName");
    const auto* mem = dynamic_cast<const MemoryName*>(&name);
    if (!mem || !mem->openable) throw PlatformError(errnum::kFileNotFound, "MemoryGis", "cannot open " + name.Name());
    const int k = mem->Kind();
    if (k == kind::kFeatureClass) {
        // The opened class keeps its own copy of the name.
        auto copy = std::make_shared<MemoryName>(*mem);
        return std::make_shared<MemFeatureClass>(*this, copy);
    }
    if (k == kind::kRasterDataset) return std::make_shared<MemRaster>(mem->Name());
    if (k == kind::kCadDrawing) return std::make_shared<MemCad>(mem->Name(), mem->GetWorkspaceName() ? mem->GetWorkspaceName()->PathName() : "");
    throw PlatformError(errnum::kTypeMismatch, "MemoryGis", "cannot open a dataset of kind " + std::to_string(k));
}

CadDrawingDatasetPtr MemoryGis::OpenCadDrawingDataset(Workspace& workspace, const std::string& name) {
    Hit("OpenCadDrawingDataset");
    return std::make_shared<MemCad>(name, workspace.Name()->PathName() + "/" + name);
}

FeatureLayerPtr MemoryGis::NewFeatureLayer(LayerKind kind) {
    Hit("NewFeatureLayer");
    return std::make_shared<MemFeatureLayer>(*this, kind);
}

RasterLayerPtr MemoryGis::NewRasterLayer() {
    Hit("NewRasterLayer");
    return std::make_shared<MemRasterLayer>(*this);
}

CadLayerPtr MemoryGis::NewCadLayer() {
    Hit("NewCadLayer");
    return std::make_shared<MemCadLayer>(*this);
}

MapPtr MemoryGis::NewMap() {
    Hit("NewMap");
    return std::make_shared<MemMap>();
}

MapLayerServicePtr MemoryGis::CreateMapLayerService() {
    Hit("CreateMapLayerService");
    return std::make_shared<MemMapService>(*this);
}

} // namespace marbrook::testing
