#pragma once
// A platform in memory for the fuzz targets of the library core: settings
// files are strings, the error log is counted, the GIS refuses everything.
// Quick enough for millions of runs, and free of the test framework.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/HeadlessUi.h"
#include "platform/platform.h"

namespace marbrook::fuzz {

// Settings files and the error log in memory; no folders unless a subclass
// offers some.
class MemorySystemBase : public sys::SystemService {
public:
    std::map<std::string, std::string> files;
    std::vector<sys::Drive> drives{{"/", 3}};
    int logEntries = 0;

    std::vector<sys::Drive> LogicalDrives() override { return drives; }
    std::string UserName() override { return "fuzz"; }
    bool PathExists(const std::string& path) override { return files.count(path) != 0; }
    bool FolderExists(const std::string&) override { return false; }
    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    sys::FolderContents ListFolder(const std::string& path) override;
    void CreateFolder(const std::string&) override {}
    void AppendText(const std::string& path, const std::string& text) override;
    void CreateEmptyFile(const std::string& path) override;
    std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                                  const std::string& defaultValue) override;
    void WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                            const std::string& value) override;
    std::optional<std::string> GetSetting(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void SaveSetting(const std::string&, const std::string&, const std::string&, const std::string&) override {}
    sys::LibraryIdentity Library() override { return {"/fuzz", "libmarbrook"}; }
    std::string DateText() override { return "2026-12-07"; }
    std::string TimeText() override { return "23:45:00"; }
};

class MemorySystem final : public MemorySystemBase {};

// Shows nothing: a modal show returns at once, as if the user closed the form.
class MemoryUi final : public headless::HeadlessUi {
public:
    MemoryUi() { onModalShow = [](ui::Form&) {}; }
};

class NoGis final : public gis::GisService {
public:
    gis::WorkspaceFactoryPtr CreateWorkspaceFactory(gis::FactoryKind) override;
    gis::DatasetPtr OpenName(const gis::DatasetName&) override;
    gis::CadDrawingDatasetPtr OpenCadDrawingDataset(gis::Workspace&, const std::string&) override;
    gis::FeatureLayerPtr NewFeatureLayer(gis::LayerKind) override;
    gis::RasterLayerPtr NewRasterLayer() override;
    gis::CadLayerPtr NewCadLayer() override;
    gis::MapPtr NewMap() override;
    gis::MapLayerServicePtr CreateMapLayerService() override;
};

struct MemoryPlatform {
    MemorySystem system;
    MemoryUi ui;
    NoGis gis;
    Platform platform{gis, ui, system};
};

} // namespace marbrook::fuzz
