#pragma once
// The stores a folder holds besides shapefiles, rasters and drawings: file
// geodatabases, GeoPackages, SpatiaLite databases, vector files and raster
// files of subdatasets. Each store keeps its own cheap "is this mine?" step
// (the extension and the first bytes that the folder reader read), and
// GDAL is asked only about the candidates those steps let through.
#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdal/detail/FileStore.h"
#include "platform/gis.h"

namespace marbrook::gdal {

// How many first bytes a store's identify step sees.
inline constexpr std::size_t kProbeHeadSize = 1024;

// Up to `n` first bytes of the regular file `path`; "" for anything else
// (a pipe, a device, a folder, a file that cannot be read).
std::string ReadStart(const std::string& path, std::size_t n);

// What an identify step sees of one entry of a folder.
struct Probe {
    std::string_view name;     // the entry's name
    std::string_view upperExt; // its extension in upper case, without the dot
    std::string_view head;     // its first bytes (empty for a folder)
    const std::string* path;   // its full path
    bool folder = false;
    int folderFd = -1;         // its folder open for reading it by name; -1: read by `path`
};

// Up to `n` first bytes of the probed file, as ReadStart reads them, by its
// folder when the probe has it open.
std::string ReadStart(const Probe& probe, std::size_t n);
// The probed file's status, by its folder when the probe has it open; false
// when it cannot be looked at.
bool StatusOf(const Probe& probe, struct stat& st) noexcept;

// What an identify step found: the store kind (gis::store codes; kNone for
// a single-file vector dataset), the format's short name, and for a single
// dataset its feature-class details.
struct Identified {
    int storeKind = gis::store::kNone;
    std::string format;
    std::optional<FeatureClassDetails> details;
    // The GDAL driver that reads it; empty when GDAL finds it by itself.
    std::string driver;
};

// ---- The byte checks (pure, fuzzed) -------------------------------------------

// An SQLite 3 database file.
bool IsSqliteHead(std::string_view head) noexcept;
// A GeoPackage: an SQLite database whose application id says so ("GPKG",
// or "GP10"/"GP11" of the first releases).
bool IsGeoPackageHead(std::string_view head) noexcept;
// netCDF (classic, 64-bit offsets, 64-bit data), HDF5 (netCDF-4 too) or
// HDF4: formats that hold several grids.
bool IsMultiGridHead(std::string_view head) noexcept;
// The vector driver (GDAL's name) that a file of this extension (upper case)
// and these first bytes is for; nullptr when the bytes are not of the
// extension's format.
const char* VectorDriverByHead(std::string_view upperExt, std::string_view head) noexcept;
// The one geometry kind (gis::shape code) of every geometry a whole GeoJSON
// text names; 0 when it names several kinds, a collection or none; none when
// its bytes cannot be judged without GDAL (escapes, a text cut short).
std::optional<int> GeoJsonSingleKind(std::string_view text) noexcept;
// The extensions (upper case) that some data-file store may claim: only a
// data-file store reads such files, the raster listing leaves them alone.
const ExtensionSet& DataFileExtensions();

// ---- The stores ------------------------------------------------------------------

// One item of a store's own catalogue.
struct StoreItem {
    std::string name;
    int kind = 0;
    std::string parent; // the feature dataset it belongs to, "" at the top level
    std::optional<FeatureClassDetails> details;
    FileName::Opener opener;
    // Where the item's data is, for programs; none: the store cannot say.
    FileName::Describer describe;
};

// The source of an item of the store at `path`, read by `driver`: the file,
// and the store's layer of the item's name for a class or a table.
FileName::Describer LayerSource(std::string driver, std::string path);

// A workspace over a store's catalogue, listed like a personal geodatabase.
gis::WorkspacePtr CatalogueWorkspace(const std::string& path, std::vector<StoreItem> items);

// The shape kind of an OGR geometry type, the multi-part kinds counting as
// their base kind; 0 when it is none of point, polyline, polygon, surface.
int ShapeOfGeometry(OGRwkbGeometryType type) noexcept;

// File geodatabases (a folder *.gdb).
std::optional<Identified> IdentifyFileGeodatabase(const Probe& probe);
gis::WorkspacePtr OpenFileGeodatabase(const std::string& path);
// GeoPackages and SpatiaLite / SQLite databases with geometry.
std::optional<Identified> IdentifyGeoPackage(const Probe& probe);
gis::WorkspacePtr OpenGeoPackage(const std::string& path);
std::optional<Identified> IdentifySpatiaLite(const Probe& probe);
gis::WorkspacePtr OpenSpatiaLite(const std::string& path);
// Single-file vector formats (GeoJSON, FlatGeobuf, KML/KMZ, GML, GPX,
// MapInfo, CSV): a file of one layer of one geometry kind is one dataset,
// every other file a store of its layers (by geometry kind when mixed).
std::optional<Identified> IdentifyVectorFile(const Probe& probe);
gis::WorkspacePtr OpenVectorFile(const std::string& path);
// A vector file listed in its folder as one dataset, opened as its one class.
gis::DatasetPtr OpenSingleVectorFile(const std::string& path, const FileName& name);
// Where such a dataset's data is: the file, its driver and the layer of it.
gis::DataSourceInfo SingleVectorFileSource(const std::string& path);
// Raster files that may hold subdatasets (netCDF, HDF5, HDF4).
std::optional<Identified> IdentifyRasterFile(const Probe& probe);
gis::WorkspacePtr OpenRasterFile(const std::string& path);

// Opens the store at `path` (what the personal-geodatabase factory does for
// every path that is not a .mdb); PlatformError when it is none.
gis::WorkspacePtr OpenDataFileStore(const std::string& path);

gis::WorkspaceFactoryPtr NewDataFileFactory();
// The personal-geodatabase factory: a .mdb is a personal geodatabase, every
// other path a store of a folder.
gis::WorkspaceFactoryPtr NewGeodatabaseFactory();

} // namespace marbrook::gdal
