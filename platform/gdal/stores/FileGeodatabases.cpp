// File geodatabases: a folder named *.gdb, read through GDAL's OpenFileGDB
// driver. Its feature datasets, classes (multipatch ones too), tables and
// raster datasets come from its own catalogue table GDB_Items, as those of a
// personal geodatabase do.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/gdal/detail/DataFiles.h"

namespace marbrook::gdal {

namespace {

const char* const kFileGdbDrivers[] = {"OpenFileGDB", nullptr};
const char* const kAllTables[] = {"LIST_ALL_TABLES=YES", nullptr};

gis::DatasetPtr OpenClass(const std::string& path, const FileName& name) {
    auto ds = OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kFileGdbDrivers);
    ErrorCapture capture;
    OGRLayer* layer = ds->GetLayerByName(name.Name().c_str());
    if (!layer) capture.Throw(errnum::kFileNotFound, "no feature class " + name.Name() + " in " + path);
    return std::make_shared<OgrFeatureClass>(ds, std::vector<OGRLayer*>{layer}, name, FeatureFilter{});
}

FileName::Opener NoRaster(const std::string& path) {
    return [path](const FileName& n) -> gis::DatasetPtr {
        throw PlatformError(errnum::kNotSupported, kGdalSource,
                            "the raster dataset " + n.Name() + " of " + path +
                                " cannot be opened: this GDAL cannot read rasters stored in a file geodatabase");
    };
}

// A geodatabase of the first releases has no GDB_Items: its classes and
// tables are its layers.
std::vector<StoreItem> ItemsFromLayers(GDALDataset& ds, const std::string& path) {
    std::vector<StoreItem> items;
    for (int i = 0; i < ds.GetLayerCount(); ++i) {
        OGRLayer* layer = ds.GetLayer(i);
        StoreItem item;
        item.name = layer->GetName();
        if (layer->GetGeomType() == wkbNone) {
            item.kind = gis::kind::kTable;
        } else {
            item.kind = gis::kind::kFeatureClass;
            item.details = FeatureClassDetails{gis::feature::kSimple, ShapeOfGeometry(layer->GetGeomType())};
            item.opener = [path](const FileName& n) { return OpenClass(path, n); };
        }
        item.describe = LayerSource(kFileGdbDrivers[0], path);
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace

std::optional<Identified> IdentifyFileGeodatabase(const Probe& probe) {
    if (!probe.folder || probe.upperExt != "GDB") return std::nullopt;
    // The catalogue's own table is there from the first release on.
    struct stat st{};
    if (::stat(Join(*probe.path, "a00000001.gdbtable").c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return Identified{gis::store::kFileGeodatabase, "FileGDB", std::nullopt, kFileGdbDrivers[0]};
}

gis::WorkspacePtr OpenFileGeodatabase(const std::string& path) {
    RequireFolder(path);
    auto ds = OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kFileGdbDrivers, kAllTables);
    std::vector<StoreItem> items;
    bool catalogued = false;
    {
        ErrorCapture quiet;
        if (OGRLayer* catalogue = ds->GetLayerByName("GDB_Items")) {
            const OGRFeatureDefn* defn = catalogue->GetLayerDefn();
            const int nameField = defn->GetFieldIndex("Name");
            const int typeField = defn->GetFieldIndex("Type");
            const int pathField = defn->GetFieldIndex("Path");
            const int featureField = defn->GetFieldIndex("DatasetSubtype1");
            const int shapeField = defn->GetFieldIndex("DatasetSubtype2");
            if (nameField >= 0 && typeField >= 0 && pathField >= 0) {
                catalogued = true;
                catalogue->ResetReading();
                while (std::unique_ptr<OGRFeature> f{catalogue->GetNextFeature()}) {
                    StoreItem item;
                    item.kind = CatalogueItemKind(f->GetFieldAsString(typeField));
                    if (item.kind == 0 || !f->IsFieldSetAndNotNull(nameField)) continue;
                    item.name = f->GetFieldAsString(nameField);
                    // "\hydro\lines": a member of hydro; "\points": top level.
                    std::string itemPath = f->GetFieldAsString(pathField);
                    if (!itemPath.empty() && itemPath.front() == '\\') itemPath.erase(0, 1);
                    if (const auto sep = itemPath.find('\\'); sep != std::string::npos) item.parent = itemPath.substr(0, sep);
                    if (item.kind == gis::kind::kFeatureClass) {
                        const bool hasFeature = featureField >= 0 && f->IsFieldSetAndNotNull(featureField);
                        const bool hasShape = shapeField >= 0 && f->IsFieldSetAndNotNull(shapeField);
                        item.details = FeatureClassDetails{hasFeature ? f->GetFieldAsInteger(featureField) : gis::feature::kSimple,
                                                           hasShape ? f->GetFieldAsInteger(shapeField) : 0};
                        item.opener = [path](const FileName& n) { return OpenClass(path, n); };
                    } else if (item.kind == gis::kind::kRasterDataset || item.kind == gis::kind::kRasterCatalog) {
                        item.opener = NoRaster(path);
                    }
                    item.describe = LayerSource(kFileGdbDrivers[0], path);
                    items.push_back(std::move(item));
                }
            }
        }
    }
    if (!catalogued) {
        auto plain = OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kFileGdbDrivers);
        items = ItemsFromLayers(*plain, path);
    }
    return CatalogueWorkspace(path, std::move(items));
}

} // namespace marbrook::gdal
