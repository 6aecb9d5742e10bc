// Shapefile workspaces: a folder, one feature class per .shp, its shape kind
// read from the 100-byte header (OGR opens the file only when the name is).
#include "platform/gdal/detail/FileStores.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdal/detail/FileStore.h"
#include "platform/gdal/detail/FolderReader.h"

namespace marbrook::gdal {

namespace {

const char* const kShapeDrivers[] = {"ESRI Shapefile", nullptr};

gis::DatasetPtr OpenShapefile(const std::string& path, const FileName& name) {
    auto ds = OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kShapeDrivers);
    OGRLayer* layer = ds->GetLayerCount() > 0 ? ds->GetLayer(0) : nullptr;
    if (!layer) throw PlatformError(errnum::kFileNotFound, kGdalSource, "the shapefile " + path + " holds no layer");
    return std::make_shared<OgrFeatureClass>(ds, std::vector<OGRLayer*>{layer}, name, FeatureFilter{});
}

// A shapefile is one layer named by its stem, in the file of the name's
// workspace, stem and extension.
gis::DataSourceInfo ShapefileSource(const FileName& name) {
    gis::DataSourceInfo source;
    source.driver = kShapeDrivers[0];
    const WorkspaceNamePtr ws = name.GetWorkspaceName();
    const std::string extension = name.FileExtension().empty() ? std::string(".shp") : name.FileExtension();
    source.path = Join(ws ? ws->PathName() : std::string(), name.Name() + extension);
    source.layers = {name.Name()};
    return source;
}

std::vector<DatasetNamePtr> ListShapefiles(const std::string& folder, int kind) {
    std::vector<DatasetNamePtr> out;
    if (!ListsKind(kind, gis::kind::kFeatureClass)) return out;
    const auto ws = WsName(FactoryKind::Shapefile, folder);
    const FolderNamesPtr names = ReadFolder(folder);
    const sys::FolderContents& entries = names->contents;
    std::vector<std::size_t> shapefiles;
    for (std::size_t i = 0; i < entries.files.size(); ++i)
        if (HasExtensionCi(entries.files[i], "SHP")) shapefiles.push_back(i);
    const FolderHandle folderFd(folder);
    const std::string folderPath = Join(folder, "");
    ForEachHead(folderFd, *names, shapefiles, folderPath, kShpHeaderSize, [&](std::size_t k, const HeadRead& header) {
        const std::string& file = entries.files[shapefiles[k]];
        // A .shp whose header cannot be read is still listed (unclassified):
        // the user must see the broken dataset; opening it reports why.
        const int shapeKind = ParseShpHeader(header.bytes.value_or(std::string_view())).value_or(0);
        const std::size_t stem = file.size() - 4;
        // The name is the stem; the extension is kept as the file spells it
        // (ROADS.SHP), so that the name still leads to the real file.
        out.push_back(std::make_shared<FileName>(
                          file.substr(0, stem), gis::kind::kFeatureClass, ws,
                          FeatureClassDetails{gis::feature::kSimple, shapeKind},
                          [path = folderPath + file](const FileName& name) { return OpenShapefile(path, name); },
                          FileName::Members{}, file.substr(stem))
                          ->Described(&ShapefileSource));
    });
    return out;
}

} // namespace

std::optional<int> ParseShpHeader(std::string_view bytes) noexcept {
    if (bytes.size() < 100) return std::nullopt;
    const auto u8 = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
    const std::uint32_t fileCode = u8(0) << 24 | u8(1) << 16 | u8(2) << 8 | u8(3);
    const std::uint32_t version = u8(28) | u8(29) << 8 | u8(30) << 16 | u8(31) << 24;
    const std::uint32_t type = u8(32) | u8(33) << 8 | u8(34) << 16 | u8(35) << 24;
    if (fileCode != 9994 || version != 1000) return std::nullopt;
    switch (type) {
    case 0: return 0;
    case 1: case 11: case 21: return gis::shape::kPoint;
    case 3: case 13: case 23: return gis::shape::kPolyline;
    case 5: case 15: case 25: return gis::shape::kPolygon;
    case 8: case 18: case 28: return gis::shape::kMultipoint;
    case 31: return gis::shape::kMultiPatch;
    default: return std::nullopt;
    }
}

std::optional<int> ParseShpHeader(std::span<const std::byte> bytes) noexcept {
    return ParseShpHeader(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

gis::WorkspaceFactoryPtr NewShapefileFactory() { return FolderFactory(FactoryKind::Shapefile, &ListShapefiles); }

} // namespace marbrook::gdal
