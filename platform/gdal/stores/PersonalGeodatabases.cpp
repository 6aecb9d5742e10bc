// Personal-geodatabase workspaces: a .mdb file, read-only, whose feature
// datasets, classes, tables and rasters come from its own catalogue tables.
#include "platform/gdal/detail/FileStores.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "platform/gdal/detail/FileStore.h"
#include "platform/gdal/detail/FolderReader.h"
#include "platform/gdal/reader/ReaderClient.h"

namespace marbrook::gdal {

namespace fs = std::filesystem;

namespace {

const char* const kPgeoDrivers[] = {"PGeo", nullptr};

using CatalogItem = reader::PgeoItem;

// Runs a query of MDB Tools' own SQL (no JOIN, no ORDER BY) and hands each
// row to `row`; false when the query fails (the table does not exist).
bool ForEachRow(GDALDataset& ds, const char* sql, const std::function<void(OGRFeature&)>& row) {
    ErrorCapture quiet;
    OGRLayer* result = ds.ExecuteSQL(sql, nullptr, nullptr);
    if (!result) return false;
    while (std::unique_ptr<OGRFeature> f{result->GetNextFeature()}) row(*f);
    ds.ReleaseResultSet(result);
    return true;
}

// The tables of the database, from its system catalogue: MDB Tools prints
// to the terminal when a query names a table that does not exist, so only
// tables known to exist are queried.
std::set<std::string> TableNames(GDALDataset& ds) {
    std::set<std::string> out;
    ForEachRow(ds, "SELECT Name FROM MSysObjects WHERE Type = 1", [&](OGRFeature& f) { out.insert(f.GetFieldAsString(0)); });
    return out;
}

std::vector<CatalogItem> ReadCatalog(GDALDataset& ds, const std::string& path) {
    const std::set<std::string> tables = TableNames(ds);
    const auto has = [&](const char* t) { return tables.count(t) > 0; };
    // Shape kinds: only GDB_GeomColumns tells a multipatch from a 3D polygon.
    std::map<std::string, int> shapeKinds;
    if (has("GDB_GeomColumns")) ForEachRow(ds, "SELECT TableName, ShapeType FROM GDB_GeomColumns", [&](OGRFeature& f) {
        shapeKinds[f.GetFieldAsString(0)] = f.GetFieldAsInteger(1);
    });
    const auto shapeOf = [&](const std::string& name, int fallback) {
        const auto it = shapeKinds.find(name);
        return it == shapeKinds.end() ? fallback : it->second;
    };

    std::vector<CatalogItem> items;
    const bool modern = has("GDB_Items") && ForEachRow(ds, "SELECT Name, Type, Path, DatasetSubtype1, DatasetSubtype2 FROM GDB_Items", [&](OGRFeature& f) {
        CatalogItem item;
        item.kind = CatalogueItemKind(f.GetFieldAsString(1));
        if (item.kind == 0 || !f.IsFieldSetAndNotNull(0)) return;
        item.name = f.GetFieldAsString(0);
        // "\Hydro\lines": member of Hydro; "\points": top level.
        std::string itemPath = f.GetFieldAsString(2);
        if (!itemPath.empty() && itemPath.front() == '\\') itemPath.erase(0, 1);
        const auto sep = itemPath.find('\\');
        if (sep != std::string::npos) item.parent = itemPath.substr(0, sep);
        if (item.kind == gis::kind::kFeatureClass) {
            item.details.featureKind = f.IsFieldSetAndNotNull(3) ? f.GetFieldAsInteger(3) : gis::feature::kSimple;
            item.details.shapeKind = shapeOf(item.name, f.IsFieldSetAndNotNull(4) ? f.GetFieldAsInteger(4) : 0);
        }
        items.push_back(std::move(item));
    });
    if (modern) return items;

    // The older catalogue.
    std::map<int, std::string> datasets;
    const bool legacy = has("GDB_ObjectClasses");
    if (has("GDB_FeatureDataset")) ForEachRow(ds, "SELECT ID, Name FROM GDB_FeatureDataset", [&](OGRFeature& f) {
        datasets[f.GetFieldAsInteger(0)] = f.GetFieldAsString(1);
    });
    std::map<int, FeatureClassDetails> featureClasses;
    if (has("GDB_FeatureClasses")) ForEachRow(ds, "SELECT ObjectClassID, FeatureType, GeometryType FROM GDB_FeatureClasses", [&](OGRFeature& f) {
        featureClasses[f.GetFieldAsInteger(0)] = {f.GetFieldAsInteger(1), f.GetFieldAsInteger(2)};
    });
    if (!legacy) throw PlatformError(errnum::kFileNotFound, kGdalSource, path + " holds no geodatabase catalogue");
    for (const auto& [id, name] : datasets) items.push_back({name, gis::kind::kFeatureDataset, {}, {}});
    ForEachRow(ds, "SELECT ID, Name, DatasetID FROM GDB_ObjectClasses", [&](OGRFeature& f) {
        CatalogItem item;
        item.name = f.GetFieldAsString(1);
        const auto fc = featureClasses.find(f.GetFieldAsInteger(0));
        item.kind = fc == featureClasses.end() ? gis::kind::kTable : gis::kind::kFeatureClass;
        if (fc != featureClasses.end()) item.details = {fc->second.featureKind, shapeOf(item.name, fc->second.shapeKind)};
        if (f.IsFieldSetAndNotNull(2)) {
            const auto ds2 = datasets.find(f.GetFieldAsInteger(2));
            if (ds2 != datasets.end()) item.parent = ds2->second;
        }
        items.push_back(std::move(item));
    });
    return items;
}

// The personal-geodatabase checks every opening makes before a reader sees
// the file.
void RequirePgeoFile(const std::string& path) {
    // Checked before the ODBC driver sees the file: it prints to the terminal
    // about files it cannot read.
    const std::string head = ReadPrefixOrThrow(path, 21, "personal geodatabase");
    if (head.size() < 21 || (head.compare(4, 15, "Standard Jet DB") != 0 && head.compare(4, 15, "Standard ACE DB") != 0))
        throw PlatformError(errnum::kFileNotFound, kGdalSource, path + " is not a personal geodatabase (not an Access database)");
    // A database is whole pages (2 KB in the first Jet format, 4 KB since):
    // the header page, the page map and the catalogue at least. A file cut
    // short, or with a tail, would reach the driver, which prints about
    // pages it cannot read.
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    const std::uintmax_t page = head[20] == 0 ? 2048 : 4096;
    if (ec || size % page != 0 || size < 3 * page)
        throw PlatformError(errnum::kFileNotFound, kGdalSource,
                            path + " is not a whole personal geodatabase (its size is not a whole number of pages)");
}

SharedDatasetHandle OpenPgeoDataset(const std::string& path) {
    return OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kPgeoDrivers);
}

class PgeoCatalog {
public:
    PgeoCatalog(std::string path, std::vector<CatalogItem> items)
        : path_(std::move(path)), items_(std::move(items)), ws_(WsName(FactoryKind::PersonalGeodatabase, path_)) {}

    std::vector<DatasetNamePtr> Names(int kind, const std::string& parent, const std::shared_ptr<PgeoCatalog>& self) const {
        std::vector<DatasetNamePtr> out;
        for (const CatalogItem& item : items_) {
            if (item.parent != parent || !ListsKind(kind, item.kind)) continue;
            out.push_back(MakeName(item, self));
        }
        return out;
    }

private:
    // The database opened in this process, once, when a first class is
    // opened; the listing itself never opens it here.
    SharedDatasetHandle Dataset() {
        std::lock_guard lock(mutex_);
        if (!ds_) ds_ = OpenPgeoDataset(path_);
        return ds_;
    }

    DatasetNamePtr MakeName(const CatalogItem& item, const std::shared_ptr<PgeoCatalog>& self) const {
        const std::string path = path_;
        std::optional<FeatureClassDetails> details;
        FileName::Opener opener;
        FileName::Members members;
        switch (item.kind) {
        case gis::kind::kFeatureClass:
            details = item.details;
            opener = [self](const FileName& n) -> gis::DatasetPtr {
                // Read whole by the reader program before this process
                // reads any of it.
                if (!reader::ReadingHere()) reader::CheckPgeoLayer(self->path_, n.Name());
                const SharedDatasetHandle ds = self->Dataset();
                ErrorCapture capture;
                OGRLayer* layer = ds->GetLayerByName(n.Name().c_str());
                if (!layer) capture.Throw(errnum::kFileNotFound, "no feature class " + n.Name() + " in " + self->path_);
                return std::make_shared<OgrFeatureClass>(ds, std::vector<OGRLayer*>{layer}, n, FeatureFilter{});
            };
            break;
        case gis::kind::kFeatureDataset: {
            const std::string datasetName = item.name;
            members = [self, datasetName] { return self->Names(gis::kind::kAny, datasetName, self); };
            break;
        }
        case gis::kind::kRasterDataset:
        case gis::kind::kRasterCatalog:
            opener = [path](const FileName& n) -> gis::DatasetPtr {
                throw PlatformError(errnum::kNotSupported, kGdalSource,
                                    "the raster dataset " + n.Name() + " of " + path +
                                        " cannot be opened: rasters stored in a personal geodatabase cannot be read");
            };
            break;
        default:
            break;
        }
        return std::make_shared<FileName>(item.name, item.kind, ws_, details, std::move(opener), std::move(members))
            ->Described(&Source);
    }

    // The database file; a class or a table is the driver's layer of its name.
    static gis::DataSourceInfo Source(const FileName& name) {
        gis::DataSourceInfo source;
        source.driver = kPgeoDrivers[0];
        if (const WorkspaceNamePtr ws = name.GetWorkspaceName()) source.path = ws->PathName();
        if (name.Kind() == gis::kind::kFeatureClass || name.Kind() == gis::kind::kTable) source.layers = {name.Name()};
        return source;
    }

    std::string path_;
    std::vector<CatalogItem> items_;
    WorkspaceNamePtr ws_;
    std::mutex mutex_;
    SharedDatasetHandle ds_;
};

gis::WorkspacePtr OpenPgeo(const std::string& path) {
    RequirePgeoFile(path);
    // The catalogue comes from the reader program, which survives what the
    // driver does with a damaged file.
    auto catalog = std::make_shared<PgeoCatalog>(
        path, reader::ReadingHere() ? ReadCatalog(*OpenPgeoDataset(path), path) : reader::ReadPgeoCatalog(path));
    return std::make_shared<FileWorkspace>(WsName(FactoryKind::PersonalGeodatabase, path),
                                           [catalog](int kind) { return catalog->Names(kind, "", catalog); });
}

} // namespace

gis::WorkspaceFactoryPtr NewPersonalGeodatabaseFactory() {
    return std::make_shared<FileFactory>(FactoryKind::PersonalGeodatabase, &OpenPgeo);
}

std::vector<reader::PgeoItem> ReadPgeoCatalogHere(const std::string& path) {
    InitGdal();
    RequirePgeoFile(path);
    return ReadCatalog(*OpenPgeoDataset(path), path);
}

long long ReadPgeoLayerHere(const std::string& path, const std::string& layerName) {
    InitGdal();
    RequirePgeoFile(path);
    const SharedDatasetHandle ds = OpenPgeoDataset(path);
    ErrorCapture capture;
    OGRLayer* layer = ds->GetLayerByName(layerName.c_str());
    if (!layer) capture.Throw(errnum::kFileNotFound, "no feature class " + layerName + " in " + path);
    return ReadEveryFeature({layer}, path, true);
}

} // namespace marbrook::gdal
