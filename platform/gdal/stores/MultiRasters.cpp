// Raster files that hold several grids (netCDF, HDF5, HDF4): a store whose
// raster datasets are the file's subdatasets, or the file itself when it
// holds one grid only. Listed without being opened.
#include <string>
#include <vector>

#include "platform/gdal/detail/DataFiles.h"

namespace marbrook::gdal {

namespace {

// GDAL's HDF5 driver is left out: the HDF5 library it calls prints its error
// stack to the terminal on a damaged file, which nothing of ours may do. The
// netCDF library reads netCDF-4 and most HDF5 grids and keeps quiet; a file
// only the HDF5 driver reads is listed, and opening it says it cannot be read.
const char* const kMultiGridDrivers[] = {"netCDF", "HDF4", nullptr};

bool HasAnyDriver() {
    for (const char* const* d = kMultiGridDrivers; *d; ++d)
        if (GDALGetDriverByName(*d)) return true;
    return false;
}

// "NETCDF:"/path/f.nc":temp" -> "temp"; "HDF5:"f.h5"://group/var" -> "group/var".
std::string SubdatasetShortName(const std::string& gdalName, std::size_t index) {
    const auto colon = gdalName.rfind(':');
    std::string name = colon == std::string::npos ? gdalName : gdalName.substr(colon + 1);
    while (!name.empty() && name.front() == '/') name.erase(0, 1);
    return name.empty() ? "subdataset " + std::to_string(index) : name;
}

} // namespace

bool IsMultiGridHead(std::string_view head) noexcept {
    using namespace std::string_view_literals;
    const std::string_view h4 = head.substr(0, 4);
    if (h4 == "CDF\x01"sv || h4 == "CDF\x02"sv || h4 == "CDF\x05"sv) return true;
    if (head.substr(0, 8) == "\x89HDF\r\n\x1a\n"sv) return true;
    return h4 == "\x0e\x03\x13\x01"sv;
}

std::optional<Identified> IdentifyRasterFile(const Probe& probe) {
    if (probe.folder || !IsMultiGridHead(probe.head) || !HasAnyDriver()) return std::nullopt;
    const bool netcdf = probe.head.substr(0, 3) == "CDF" || probe.upperExt == "NC" || probe.upperExt == "NC4";
    // HDF files are read by the driver of their flavour, which GDAL finds.
    return Identified{gis::store::kRasterFile, netcdf ? "netCDF" : "HDF", std::nullopt, netcdf ? "netCDF" : ""};
}

gis::WorkspacePtr OpenRasterFile(const std::string& path) {
    auto ds = OpenShared(path, GDAL_OF_RASTER | GDAL_OF_READONLY, kMultiGridDrivers);
    std::vector<StoreItem> items;
    // GDAL's own names of the subdatasets open them again: they are its own
    // syntax, the path quoted as it reads it back.
    char** subdatasets = ds->GetMetadata("SUBDATASETS");
    for (std::size_t i = 1;; ++i) {
        const char* gdalName = CSLFetchNameValue(subdatasets, ("SUBDATASET_" + std::to_string(i) + "_NAME").c_str());
        if (!gdalName) break;
        StoreItem item;
        item.name = SubdatasetShortName(gdalName, i);
        item.kind = gis::kind::kRasterDataset;
        const std::string target = gdalName;
        gis::DataSourceInfo source;
        source.path = path;
        source.layers = {item.name};
        source.subdataset = target;
        item.opener = [target, source](const FileName& n) -> gis::DatasetPtr {
            return std::make_shared<GdalRaster>(OpenShared(target, GDAL_OF_RASTER | GDAL_OF_READONLY, kMultiGridDrivers),
                                                n.Name(), source);
        };
        item.describe = [source](const FileName&) { return source; };
        items.push_back(std::move(item));
    }
    if (items.empty() && ds->GetRasterCount() > 0) {
        StoreItem item;
        const auto slash = path.rfind('/');
        item.name = slash == std::string::npos ? path : path.substr(slash + 1);
        item.kind = gis::kind::kRasterDataset;
        gis::DataSourceInfo source;
        source.path = path;
        item.opener = [path, source](const FileName& n) -> gis::DatasetPtr {
            return std::make_shared<GdalRaster>(OpenShared(path, GDAL_OF_RASTER | GDAL_OF_READONLY, kMultiGridDrivers),
                                                n.Name(), source);
        };
        item.describe = [source](const FileName&) { return source; };
        items.push_back(std::move(item));
    }
    return CatalogueWorkspace(path, std::move(items));
}

} // namespace marbrook::gdal
