#include "fuzz/FuzzPlatform.h"

#include "platform/error.h"
#include "platform/posix/Ini.h"

namespace marbrook::fuzz {

namespace {
[[noreturn]] void Refuse(const char* what) {
    throw PlatformError(errnum::kNotSupported, "Marbrook.Fuzz", std::string(what) + " is not offered here");
}
} // namespace

sys::FolderContents MemorySystemBase::ListFolder(const std::string& path) {
    throw PlatformError(errnum::kPathNotFound, "Marbrook.Fuzz", "no folder " + path);
}

void MemorySystemBase::AppendText(const std::string& path, const std::string& text) {
    files[path] += text;
    ++logEntries;
}

void MemorySystemBase::CreateEmptyFile(const std::string& path) {
    if (files.count(path) != 0) throw PlatformError(errnum::kFileAlreadyExists, "Marbrook.Fuzz", "exists: " + path);
    files[path];
}

std::string MemorySystemBase::ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                                            const std::string& defaultValue) {
    const auto it = files.find(file);
    if (it == files.end()) return defaultValue;
    return posix::IniRead(it->second, section, key).value_or(defaultValue);
}

void MemorySystemBase::WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                                      const std::string& value) {
    files[file] = posix::IniWrite(files[file], section, key, value);
}

gis::WorkspaceFactoryPtr NoGis::CreateWorkspaceFactory(gis::FactoryKind) { Refuse("a workspace factory"); }
gis::DatasetPtr NoGis::OpenName(const gis::DatasetName&) { Refuse("opening a name"); }
gis::CadDrawingDatasetPtr NoGis::OpenCadDrawingDataset(gis::Workspace&, const std::string&) { Refuse("a drawing"); }
gis::FeatureLayerPtr NoGis::NewFeatureLayer(gis::LayerKind) { Refuse("a feature layer"); }
gis::RasterLayerPtr NoGis::NewRasterLayer() { Refuse("a raster layer"); }
gis::CadLayerPtr NoGis::NewCadLayer() { Refuse("a CAD layer"); }
gis::MapPtr NoGis::NewMap() { Refuse("a map"); }
gis::MapLayerServicePtr NoGis::CreateMapLayerService() { Refuse("a map-layer service"); }

} // namespace marbrook::fuzz
