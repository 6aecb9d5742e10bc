// GeoPackages and SpatiaLite / SQLite databases: an SQLite file whose feature
// tables are feature classes, whose attribute tables are tables and (in a
// GeoPackage) whose tile tables are raster datasets.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdal/detail/DataFiles.h"

namespace marbrook::gdal {

namespace {

const char* const kGpkgDrivers[] = {"GPKG", nullptr};
const char* const kSqliteDrivers[] = {"SQLite", nullptr};

constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};

std::uint32_t BigEndian32(std::string_view head, std::size_t at) noexcept {
    const auto u8 = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(head[i])); };
    return u8(at) << 24 | u8(at + 1) << 16 | u8(at + 2) << 8 | u8(at + 3);
}

// Feature tables become classes and plain tables tables, in the store's order.
std::vector<StoreItem> VectorItems(GDALDataset& ds, const std::string& path, const char* const* drivers) {
    std::vector<StoreItem> items;
    for (int i = 0; i < ds.GetLayerCount(); ++i) {
        OGRLayer* layer = ds.GetLayer(i);
        StoreItem item;
        item.name = layer->GetName();
        const OGRwkbGeometryType type = layer->GetGeomType();
        if (type == wkbNone) {
            item.kind = gis::kind::kTable;
        } else {
            item.kind = gis::kind::kFeatureClass;
            item.details = FeatureClassDetails{gis::feature::kSimple, ShapeOfGeometry(type)};
            item.opener = [path, drivers](const FileName& n) -> gis::DatasetPtr {
                auto opened = OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers);
                ErrorCapture capture;
                OGRLayer* l = opened->GetLayerByName(n.Name().c_str());
                if (!l) capture.Throw(errnum::kFileNotFound, "no feature class " + n.Name() + " in " + path);
                return std::make_shared<OgrFeatureClass>(opened, std::vector<OGRLayer*>{l}, n, FeatureFilter{});
            };
        }
        item.describe = LayerSource(drivers[0], path);
        items.push_back(std::move(item));
    }
    return items;
}

// A tile table: the GeoPackage, the table, and GDAL's own name of it.
gis::DataSourceInfo TileTableSource(const std::string& path, const std::string& table) {
    gis::DataSourceInfo source;
    source.driver = kGpkgDrivers[0];
    source.path = path;
    source.layers = {table};
    source.subdataset = "GPKG:" + path + ":" + table;
    return source;
}

bool HasGeometry(GDALDataset& ds) {
    for (int i = 0; i < ds.GetLayerCount(); ++i)
        if (ds.GetLayer(i)->GetGeomType() != wkbNone) return true;
    return false;
}

} // namespace

bool IsSqliteHead(std::string_view head) noexcept { return head.substr(0, kSqliteMagic.size()) == kSqliteMagic; }

bool IsGeoPackageHead(std::string_view head) noexcept {
    if (head.size() < 72 || !IsSqliteHead(head)) return false;
    const std::uint32_t id = BigEndian32(head, 68);
    return id == 0x47504B47u /* GPKG */ || id == 0x47503130u /* GP10 */ || id == 0x47503131u /* GP11 */;
}

std::optional<Identified> IdentifyGeoPackage(const Probe& probe) {
    if (probe.folder) return std::nullopt;
    // A .gpkg that is an SQLite database is ours even when an old writer left
    // its application id out; any other SQLite file only by its id.
    if ((probe.upperExt == "GPKG" && IsSqliteHead(probe.head)) || IsGeoPackageHead(probe.head))
        return Identified{gis::store::kGeoPackage, "GeoPackage", std::nullopt, kGpkgDrivers[0]};
    return std::nullopt;
}

gis::WorkspacePtr OpenGeoPackage(const std::string& path) {
    auto ds = OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kGpkgDrivers);
    std::vector<StoreItem> items = VectorItems(*ds, path, kGpkgDrivers);
    // Tile tables: the rasters. The table name reaches GDAL as an open
    // option's value, which it takes whole.
    ErrorCapture quiet;
    if (OGRLayer* tiles = ds->ExecuteSQL(
            "SELECT table_name FROM gpkg_contents WHERE data_type IN ('tiles', '2d-gridded-coverage')", nullptr, "SQLITE")) {
        while (std::unique_ptr<OGRFeature> f{tiles->GetNextFeature()}) {
            StoreItem item;
            item.name = f->GetFieldAsString(0);
            item.kind = gis::kind::kRasterDataset;
            item.opener = [path](const FileName& n) -> gis::DatasetPtr {
                const std::string table = "TABLE=" + n.Name();
                const char* const options[] = {table.c_str(), nullptr};
                return std::make_shared<GdalRaster>(OpenShared(path, GDAL_OF_RASTER | GDAL_OF_READONLY, kGpkgDrivers, options),
                                                    n.Name(), TileTableSource(path, n.Name()));
            };
            item.describe = [path](const FileName& n) { return TileTableSource(path, n.Name()); };
            items.push_back(std::move(item));
        }
        ds->ReleaseResultSet(tiles);
    }
    return CatalogueWorkspace(path, std::move(items));
}

std::optional<Identified> IdentifySpatiaLite(const Probe& probe) {
    if (probe.folder || !IsSqliteHead(probe.head) || IsGeoPackageHead(probe.head)) return std::nullopt;
    const std::string_view ext = probe.upperExt;
    if (ext != "SQLITE" && ext != "SQLITE3" && ext != "DB" && ext != "DB3" && ext != "SPATIALITE" && ext != "SL3")
        return std::nullopt;
    // Many programs keep their own data in SQLite files: only a database
    // with geometry is a spatial store. Asked of this candidate only.
    try {
        auto ds = OpenShared(*probe.path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kSqliteDrivers);
        if (!HasGeometry(*ds)) return std::nullopt;
    } catch (const PlatformError&) {
        return std::nullopt;
    }
    return Identified{gis::store::kSpatiaLite, "SQLite", std::nullopt, kSqliteDrivers[0]};
}

gis::WorkspacePtr OpenSpatiaLite(const std::string& path) {
    auto ds = OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kSqliteDrivers);
    return CatalogueWorkspace(path, VectorItems(*ds, path, kSqliteDrivers));
}

} // namespace marbrook::gdal
