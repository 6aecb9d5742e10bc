// Raster workspaces: a folder, one raster dataset per file that GDAL (or its
// first bytes) recognises, and one per Arc/Info grid folder.
#include "platform/gdal/detail/FileStores.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdal/detail/DataFiles.h"
#include "platform/gdal/detail/FileStore.h"
#include "platform/gdal/detail/FolderReader.h"

namespace marbrook::gdal {

namespace {

// Drivers that never judge a file of a folder as a raster: stores of their
// own (listed by the data-file stores), services, documents, and readers
// that would take any text of numbers for a grid.
constexpr std::array kNotFolderRasterDrivers = {
    "GPKG",   "MBTiles", "Rasterlite", "netCDF",  "HDF4",  "HDF4Image", "HDF5",   "HDF5Image", "PDF",
    "XYZ",    "STACTA",  "STACIT",     "ESRIC",   "PostGISRaster", "WMS", "WMTS", "WCS",       "OGCAPI",
    "EEDA",   "EEDAI",   "DAAS",       "NGW",     "PLMOSAIC", "PLScenes", "Zarr", "TileDB",   "MEM",
    "OpenFileGDB", "SQLite", "KMLSUPEROVERLAY", "HTTP", "DERIVED", "GTI", "BAG", "CAD", "JPEGXL", "RAW"};

// Files that are never probed: sidecars (world files, headers, overviews,
// statistics), the files of shapefiles, drawings, databases and documents.
// With the extensions only a data-file store reads: one lookup per file.
const ExtensionSet& NeverRasterExtensions() {
    static const ExtensionSet set{{
        "AUX", "OVR", "RRD", "TFW", "TFWX", "TIFW", "JGW", "JPW", "JPGW", "PGW", "PNGW", "GFW", "BPW", "BMPW", "WLD",
        "J2W", "BLW", "PRJ", "HDR", "XML", "STX", "CLR", "IMD", "RPB", "RPC", "SGRD", "SHP", "SHX", "DBF", "CPG", "QIX",
        "SBN", "SBX", "DXF", "DWG", "MDB", "SDE", "PDF", "TXT", "DOC", "DOCX", "XLS", "XLSX", "HTML", "HTM", "ZIP",
        "GZ", "LOG", "INI", "MD", "LYR", "MXD", "QGS", "QGZ", "ERR", "ADF"}, DataFileExtensions()};
    return set;
}

// Extensions whose files are raster candidates whatever drivers this GDAL
// has: the catalogue below always counts them, so a folder of TIFFs needs no
// catalogue at all.
constexpr std::array kAlwaysRasterExtensions = {"IMG", "NSF", "SDAT", "TIF", "TIFF"};

bool AlwaysRasterExtension(std::string_view upperExt) {
    return std::find(kAlwaysRasterExtensions.begin(), kAlwaysRasterExtensions.end(), upperExt) !=
           kAlwaysRasterExtensions.end();
}

struct RasterCatalogue {
    std::vector<const char*> drivers; // null-terminated
    std::vector<std::string> extensions; // what the drivers declare, upper case
};

// Whether `driver` reads grids and may stand for files found in a folder.
bool IsFolderRasterDriver(GDALDriverH driver) {
    if (!driver || !GDALGetMetadataItem(driver, GDAL_DCAP_RASTER, nullptr)) return false;
    const char* name = GDALGetDescription(driver);
    return std::none_of(kNotFolderRasterDrivers.begin(), kNotFolderRasterDrivers.end(),
                        [name](const char* n) { return std::strcmp(n, name) == 0; });
}
bool IsFolderRasterDriver(const char* name) { return IsFolderRasterDriver(GDALGetDriverByName(name)); }

// Every raster driver of this GDAL that reads files, and the extensions they
// declare: the platform's own answer to "which files are
// rasters", not a list kept here.
const RasterCatalogue& Catalogue() {
    static const RasterCatalogue catalogue = [] {
        RasterCatalogue out;
        auto* manager = GetGDALDriverManager();
        for (int i = 0; i < manager->GetDriverCount(); ++i) {
            GDALDriver* driver = manager->GetDriver(i);
            const char* name = driver->GetDescription();
            if (!IsFolderRasterDriver(GDALDriver::ToHandle(driver))) continue;
            out.drivers.push_back(name);
            if (const char* exts = driver->GetMetadataItem(GDAL_DMD_EXTENSIONS)) {
                std::string_view rest(exts);
                while (!rest.empty()) {
                    const auto blank = rest.find(' ');
                    const std::string ext = UpperAscii(rest.substr(0, blank));
                    if (!ext.empty() && std::find(out.extensions.begin(), out.extensions.end(), ext) == out.extensions.end())
                        out.extensions.push_back(ext);
                    if (blank == std::string_view::npos) break;
                    rest.remove_prefix(blank + 1);
                }
            }
        }
        // Extensions the drivers do not all declare but whose files they
        // read: NITF's other name, SAGA's grid, TIFF and Erdas images. ENVI's
        // and EHdr's data files are found by the header beside them.
        for (const char* ext : kAlwaysRasterExtensions)
            if (std::find(out.extensions.begin(), out.extensions.end(), ext) == out.extensions.end()) out.extensions.push_back(ext);
        std::sort(out.extensions.begin(), out.extensions.end());
        out.drivers.push_back(nullptr);
        return out;
    }();
    return catalogue;
}

const std::vector<const char*>& RasterDrivers() { return Catalogue().drivers; }

// Whether the file `file` is never a raster of a folder: asked of every
// file, without a string made.
bool NeverRaster(std::string_view file) {
    if (ExtensionPart(file).empty()) return true;
    if (file.size() > 8 && HasExtensionCi(file.substr(0, file.size() - 4), "AUX")) return true; // x.aux.xml
    return NeverRasterExtensions().HoldsExtensionOf(file);
}

bool DeclaredRasterExtension(const std::string& ext) {
    const auto& exts = Catalogue().extensions;
    return std::binary_search(exts.begin(), exts.end(), ext);
}

gis::DatasetPtr OpenRaster(const std::string& path, const FileName& name) {
    auto ds = OpenShared(path, GDAL_OF_RASTER | GDAL_OF_READONLY, RasterDrivers().data());
    return std::make_shared<GdalRaster>(ds, name.Name(), name.SourceInfo());
}

// Whether this GDAL has the driver that recognises these bytes: a driver
// left out of its build (or skipped) lists nothing by its bytes. Asked of
// the driver itself: the table of every driver is built only when a file
// of some other extension needs it.
bool HasDriver(const char* name) {
    struct Known {
        const char* name;
        bool present;
    };
    static const std::array<Known, 3> known = {{{"GTiff", IsFolderRasterDriver("GTiff")},
                                                {"HFA", IsFolderRasterDriver("HFA")},
                                                {"AAIGrid", IsFolderRasterDriver("AAIGrid")}}};
    for (const Known& k : known)
        if (std::strcmp(k.name, name) == 0) return k.present;
    return IsFolderRasterDriver(name);
}

std::vector<DatasetNamePtr> ListRasters(const std::string& folder, int kind) {
    std::vector<DatasetNamePtr> out;
    if (!ListsKind(kind, gis::kind::kRasterDataset)) return out;
    const auto ws = WsName(FactoryKind::Raster, folder);
    const FolderNamesPtr names = ReadFolder(folder);
    const sys::FolderContents& entries = names->contents;
    const auto add = [&](const std::string& name, const std::string& path) {
        // The file (or the grid's folder) GDAL opens; which driver reads it
        // is known once it is open.
        out.push_back(std::make_shared<FileName>(name, gis::kind::kRasterDataset, ws, std::nullopt,
                                                 [path](const FileName& n) { return OpenRaster(path, n); })
                          ->Described([path](const FileName&) {
                              gis::DataSourceInfo source;
                              source.path = path;
                              return source;
                          }));
    };
    // Siblings by name, so that a candidate GDAL must judge is probed with
    // only the files that share its stem (world files, headers) and GDAL
    // never lists the folder again. Sorted only when GDAL is asked at all.
    std::vector<std::string_view> sorted;
    const auto siblingsOf = [&](const std::string& file) {
        if (sorted.empty()) {
            sorted.assign(entries.files.begin(), entries.files.end());
            std::sort(sorted.begin(), sorted.end());
        }
        const std::string_view stem = std::string_view(file).substr(0, file.rfind('.'));
        std::vector<std::string> siblings;
        for (auto it = std::lower_bound(sorted.begin(), sorted.end(), stem); it != sorted.end() && it->substr(0, stem.size()) == stem; ++it)
            siblings.emplace_back(*it);
        return siblings;
    };
    // The stems of the folder's headers (.hdr in any case), gathered once:
    // most folders hold none, and then no file is judged for one.
    std::vector<std::string_view> headerStems;
    for (const std::string& file : entries.files)
        if (HasExtensionCi(file, "HDR")) headerStems.push_back(std::string_view(file).substr(0, file.size() - 4));
    std::sort(headerStems.begin(), headerStems.end());
    const auto hasHeaderSibling = [&](const std::string& file) {
        if (headerStems.empty()) return false;
        const std::string_view stem = std::string_view(file).substr(0, file.rfind('.'));
        return std::binary_search(headerStems.begin(), headerStems.end(), stem);
    };
    // Sidecars, the files of other stores and documents are passed over
    // first, by a fixed table: most files of a folder are. A file of an
    // extension no raster driver declares is judged only when a header
    // beside it says what it is (ENVI, EHdr ...).
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < entries.files.size(); ++i) {
        const std::string& file = entries.files[i];
        if (NeverRaster(file)) continue;
        const std::string ext = UpperExt(file);
        if (AlwaysRasterExtension(ext) || hasHeaderSibling(file) || DeclaredRasterExtension(ext)) candidates.push_back(i);
    }
    std::optional<ErrorCapture> quiet; // a file that is not a raster is simply not listed
    const FolderHandle folderFd(folder);
    const std::string folderPath = Join(folder, "");
    std::string path;
    ForEachHead(folderFd, *names, candidates, folderPath, kRasterHeadSize, [&](std::size_t k, const HeadRead& head) {
        const std::string& file = entries.files[candidates[k]];
        path.assign(folderPath).append(file);
        // A file the user may not read is listed, as an unreadable
        // shapefile is: opening it says why it fails.
        if (head.denied) {
            add(file, path);
            return;
        }
        // What cannot be read (a dangling link, a pipe) is no raster, and
        // GDAL must not try to read it either.
        if (!head.bytes) return;
        // Most candidates say by their first bytes that they are ours; GDAL
        // judges the rest, as it would have judged every one.
        const char* driver = RasterDriverByHead(UpperExt(file), *head.bytes);
        if (driver && HasDriver(driver)) {
            add(file, path);
            return;
        }
        if (!quiet) quiet.emplace();
        const std::vector<std::string> siblings = siblingsOf(file);
        std::vector<const char*> siblingList;
        for (const std::string& sibling : siblings) siblingList.push_back(sibling.c_str());
        siblingList.push_back(nullptr);
        if (GDALIdentifyDriverEx(path.c_str(), GDAL_OF_RASTER, RasterDrivers().data(), siblingList.data())) add(file, path);
    });
    for (const std::string& sub : entries.folders) {
        const std::string gridFolder = Join(folder, sub);
        struct stat st{};
        // The grid's files are named in lower or in upper case (HDR.ADF).
        if ((::stat(Join(gridFolder, "hdr.adf").c_str(), &st) == 0 && S_ISREG(st.st_mode)) ||
            (::stat(Join(gridFolder, "HDR.ADF").c_str(), &st) == 0 && S_ISREG(st.st_mode)))
            add(sub, gridFolder);
    }
    return out;
}

} // namespace

const char* RasterDriverByHead(std::string_view upperExtension, std::string_view head) noexcept {
    const auto starts = [&](std::string_view prefix) {
        if (head.size() < prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i)
            if (UpperAscii(head[i]) != prefix[i]) return false;
        return true;
    };
    if (upperExtension == "TIF" || upperExtension == "TIFF") {
        // Classic and big TIFF, either byte order, with the offset of the
        // first directory after the signature.
        if (head.size() < 8) return nullptr;
        const std::string_view sig = head.substr(0, 4);
        using namespace std::string_view_literals;
        if (sig == "II*\0"sv || sig == "MM\0*"sv || sig == "II+\0"sv || sig == "MM\0+"sv) return "GTiff";
        return nullptr;
    }
    if (upperExtension == "IMG") return head.size() >= 15 && starts("EHFA_HEADER_TAG") ? "HFA" : nullptr;
    if (upperExtension == "ASC") {
        if (head.size() < 40) return nullptr;
        for (const std::string_view key : {"NCOLS", "NROWS", "XLLCORNER", "YLLCORNER", "XLLCENTER", "YLLCENTER"})
            if (starts(key)) return "AAIGrid";
        return nullptr;
    }
    return nullptr;
}

std::size_t ListingHeadSize(std::string_view file) {
    const std::string ext = UpperExt(file);
    if (ext == "SHP") return kShpHeaderSize;
    if (AlwaysRasterExtension(ext) && !NeverRaster(file)) return kRasterHeadSize;
    return DataFileExtensions().Contains(ext) ? kProbeHeadSize : 0;
}

gis::WorkspaceFactoryPtr NewRasterFactory() { return FolderFactory(FactoryKind::Raster, &ListRasters); }

} // namespace marbrook::gdal
