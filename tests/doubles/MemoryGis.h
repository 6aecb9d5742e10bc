#pragma once
// An in-memory GIS catalogue for tests: workspaces with dataset names of every
// kind, datasets, layers, a map, and failures on demand at a chosen operation.
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gis.h"
#include "tests/doubles/FaultPlan.h"
#include "tests/doubles/Gate.h"

namespace marbrook::testing {

class MemoryGis;

class MemoryName : public gis::DatasetName {
public:
    MemoryName(MemoryGis& gis, std::string name, int kind) : gis_(&gis), name_(std::move(name)), kind_(kind) {}

    std::string Name() const override;
    void SetName(const std::string& name) override;
    int Kind() const override;
    std::vector<gis::DatasetNamePtr> SubsetNames() const override;
    gis::WorkspaceNamePtr GetWorkspaceName() const override;
    void SetWorkspaceName(gis::WorkspaceNamePtr name) override;
    std::optional<gis::FeatureClassDetails> Details() const override;
    int StoreKind() const override { return storeKind; }
    std::string FormatName() const override { return format; }

    // Building the catalogue.
    std::vector<gis::DatasetNamePtr> subsets;
    std::optional<gis::FeatureClassDetails> details;
    std::string alias;           // alias of the feature class; defaults to the name
    long long featureCount = 0;  // what an opened feature class reports
    bool openable = true;        // false: OpenName fails
    int storeKind = gis::store::kNone; // a data-file workspace's store, or none
    std::string format;          // a data-file workspace's format name

private:
    MemoryGis* gis_;
    std::string name_;
    int kind_;
    gis::WorkspaceNamePtr workspace_;
};
using MemoryNamePtr = std::shared_ptr<MemoryName>;

struct MemoryWorkspaceDef {
    gis::FactoryKind factory;
    std::string path;
    std::vector<gis::DatasetNamePtr> names;
    std::vector<gis::VersionInfo> versions;
    bool versioned = true;
    // Opening gives nothing (none) rather than failing, and the factory then
    // says why with this text.
    bool opensToNothing = false;
    std::string openFailure;
    // Opening waits at this gate first (a server that does not answer).
    std::shared_ptr<Gate> gate;
};

class MemoryGis : public gis::GisService {
public:
    // ---- building the catalogue ----
    MemoryWorkspaceDef& AddWorkspace(gis::FactoryKind factory, const std::string& path);
    // A feature-class name with details; `alias` defaults to the name.
    MemoryNamePtr FeatureClass(const std::string& name, int featureKind, int shapeKind, const std::string& alias = {});
    MemoryNamePtr Name(const std::string& name, int kind);
    // Adds a name to a workspace and gives it the workspace's name.
    MemoryNamePtr Add(MemoryWorkspaceDef& ws, MemoryNamePtr name);
    // Connection files: ReadConnectionProperties(path) returns these.
    std::map<std::string, gis::PropertySet> connectionFiles;
    // Every CreateConnectionFile call, and whether it writes (none when false).
    struct CreatedFile {
        std::string folder;
        std::string fileName;
        gis::PropertySet properties;
    };
    std::vector<CreatedFile> createdFiles;
    bool connectionFileWrites = true;

    // ---- failures on demand ----
    // The `nth` call (from 1) of `operation` from now on throws a PlatformError
    // with `number`. Operation names: "CreateWorkspaceFactory", "OpenWorkspace",
    // "OpenWorkspaceFromFile", "ReadConnectionProperties", "CreateConnectionFile",
    // "ListDatasetNames", "ListVersions", "OpenName", "Name", "Kind",
    // "SubsetNames", "Details", "OpenCadDrawingDataset", "NewFeatureLayer",
    // "NewRasterLayer", "NewCadLayer", "InsertLayer", "Connect", "AliasName",
    // "CreatePropertySet", "NewMap", "CreateMapLayerService", "SetName",
    // "GetWorkspaceName", "SetWorkspaceName", and of layers
    // "LayerName", "SetLayerName", "Valid", "DataSourceName", "Disconnect",
    // "GetFeatureClass", "SetFeatureClass", "SetSelectable",
    // "CreateFromDataset", "SetCadDrawingDataset".
    void FailAt(const std::string& operation, int nth = 1, long number = 440,
                const std::string& description = "simulated failure");
    // How often each operation was called.
    [[nodiscard]] int Calls(const std::string& operation) const;
    // The plan shared with the other doubles (operations counted as
    // "gis.<name>"), consulted before this double's own plans.
    FaultPlan* faults = nullptr;
    // Counts a call and throws when a failure was planned for it.
    void Hit(const std::string& operation);

    // The property sets OpenWorkspace was called with.
    std::vector<gis::PropertySet> openedWith;
    // InsertLayer calls: the layer handed over, in call order.
    std::vector<gis::LayerPtr> inserted;

    // ---- GisService ----
    gis::PropertySetPtr CreatePropertySet() override;
    gis::WorkspaceFactoryPtr CreateWorkspaceFactory(gis::FactoryKind kind) override;
    gis::DatasetPtr OpenName(const gis::DatasetName& name) override;
    gis::CadDrawingDatasetPtr OpenCadDrawingDataset(gis::Workspace& workspace, const std::string& name) override;
    gis::FeatureLayerPtr NewFeatureLayer(gis::LayerKind kind) override;
    gis::RasterLayerPtr NewRasterLayer() override;
    gis::CadLayerPtr NewCadLayer() override;
    gis::MapPtr NewMap() override;
    gis::MapLayerServicePtr CreateMapLayerService() override;

    MemoryWorkspaceDef* FindWorkspace(gis::FactoryKind factory, const std::string& path);

private:
    struct Plan {
        int remaining;
        long number;
        std::string description;
    };
    std::vector<std::unique_ptr<MemoryWorkspaceDef>> workspaces_;
    // A listing off the interface thread calls in too.
    mutable std::mutex mutex_;
    std::map<std::string, int> calls_;
    std::multimap<std::string, Plan> plans_;
};

} // namespace marbrook::testing
