// What the stores of a folder share: a workspace over a store's own
// catalogue, listed as a personal geodatabase is (feature datasets and their
// members, feature classes, tables, raster datasets).
#include <fcntl.h>
#include <climits>

#include <memory>
#include <string>
#include <vector>

#include "platform/gdal/detail/DataFiles.h"
#include "platform/gdal/detail/FolderReader.h"

namespace marbrook::gdal {

namespace {

class StoreCatalogue {
public:
    StoreCatalogue(std::string path, std::vector<StoreItem> items)
        : path_(std::move(path)), items_(std::move(items)), ws_(WsName(FactoryKind::PersonalGeodatabase, path_)) {}

    std::vector<DatasetNamePtr> Names(int kind, const std::string& parent,
                                      const std::shared_ptr<const StoreCatalogue>& self) const {
        std::vector<DatasetNamePtr> out;
        for (const StoreItem& item : items_) {
            if (item.parent != parent || !ListsKind(kind, item.kind)) continue;
            FileName::Members members;
            if (item.kind == gis::kind::kFeatureDataset) {
                const std::string datasetName = item.name;
                members = [self, datasetName] { return self->Names(gis::kind::kAny, datasetName, self); };
            }
            auto name = std::make_shared<FileName>(item.name, item.kind, ws_,
                                                   item.kind == gis::kind::kFeatureClass ? item.details : std::nullopt,
                                                   item.opener, std::move(members));
            if (item.describe) name->Described(item.describe);
            out.push_back(std::move(name));
        }
        return out;
    }

private:
    std::string path_;
    std::vector<StoreItem> items_;
    WorkspaceNamePtr ws_;
};

} // namespace

std::string ReadStart(const std::string& path, std::size_t n) {
    std::string out(n, '\0');
    out.resize(ReadHead(AT_FDCWD, path.c_str(), out.data(), n).value_or(0));
    return out;
}

FileName::Describer LayerSource(std::string driver, std::string path) {
    return [driver = std::move(driver), path = std::move(path)](const FileName& name) {
        gis::DataSourceInfo source;
        source.driver = driver;
        source.path = path;
        // A class or a table is the store's layer of its name (as it is now:
        // the same name the item opens by).
        if (name.Kind() == gis::kind::kFeatureClass || name.Kind() == gis::kind::kTable) source.layers = {name.Name()};
        return source;
    };
}

std::string ReadStart(const Probe& probe, std::size_t n) {
    if (probe.folderFd < 0) return ReadStart(*probe.path, n);
    std::string out(n, '\0');
    out.resize(ReadHead(probe.folderFd, std::string(probe.name).c_str(), out.data(), n).value_or(0));
    return out;
}

bool StatusOf(const Probe& probe, struct stat& st) noexcept {
    if (probe.folderFd < 0) return ::stat(probe.path->c_str(), &st) == 0;
    // The probe's name is one entry of its folder, never a path.
    char name[NAME_MAX + 1];
    if (probe.name.size() > NAME_MAX) return false;
    probe.name.copy(name, probe.name.size());
    name[probe.name.size()] = '\0';
    return ::fstatat(probe.folderFd, name, &st, 0) == 0;
}

gis::WorkspacePtr CatalogueWorkspace(const std::string& path, std::vector<StoreItem> items) {
    auto catalogue = std::make_shared<const StoreCatalogue>(path, std::move(items));
    return std::make_shared<FileWorkspace>(WsName(FactoryKind::PersonalGeodatabase, path),
                                           [catalogue](int kind) { return catalogue->Names(kind, "", catalogue); });
}

int ShapeOfGeometry(OGRwkbGeometryType type) noexcept {
    switch (wkbFlatten(type)) {
    case wkbPoint:
    case wkbMultiPoint: return gis::shape::kPoint;
    case wkbLineString:
    case wkbMultiLineString:
    case wkbCircularString:
    case wkbCompoundCurve:
    case wkbMultiCurve: return gis::shape::kPolyline;
    case wkbPolygon:
    case wkbMultiPolygon:
    case wkbCurvePolygon:
    case wkbMultiSurface:
    case wkbTriangle: return gis::shape::kPolygon;
    case wkbTIN:
    case wkbPolyhedralSurface: return gis::shape::kMultiPatch;
    default: return 0;
    }
}

} // namespace marbrook::gdal
