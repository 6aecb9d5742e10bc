// Data-file workspaces: a folder, one name per store it holds (file
// geodatabase, GeoPackage, SpatiaLite, vector file of several layers, raster
// file of subdatasets) and per single-file vector dataset. Each entry is
// judged by its extension and the first bytes the folder reader reads; the
// stores' identify steps ask GDAL only about their own candidates.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/gdal/detail/DataFiles.h"
#include "platform/gdal/detail/FileStores.h"
#include "platform/gdal/detail/FolderReader.h"

namespace marbrook::gdal {

namespace {

// The extensions some data-file store may claim; every other file is
// passed over without a read.


using Identify = std::optional<Identified> (*)(const Probe&);
using Opener = gis::WorkspacePtr (*)(const std::string&);

struct StoreStep {
    Identify identify;
    Opener open;
};

// The order in which the stores are asked: the byte checks of the first
// ones are the cheapest and the most certain.
const std::array<StoreStep, 5> kStores = {{
    {&IdentifyFileGeodatabase, &OpenFileGeodatabase},
    {&IdentifyGeoPackage, &OpenGeoPackage},
    {&IdentifyRasterFile, &OpenRasterFile},
    {&IdentifySpatiaLite, &OpenSpatiaLite},
    {&IdentifyVectorFile, &OpenVectorFile},
}};

std::optional<std::pair<Identified, Opener>> Judge(const Probe& probe) {
    for (const StoreStep& step : kStores)
        if (auto found = step.identify(probe)) return std::make_pair(std::move(*found), step.open);
    return std::nullopt;
}

std::vector<DatasetNamePtr> ListDataFiles(const std::string& folder, int kind) {
    std::vector<DatasetNamePtr> out;
    if (kind != gis::kind::kAny && kind != gis::kind::kStore && !ListsKind(kind, gis::kind::kFeatureClass)) return out;
    const auto ws = WsName(FactoryKind::DataFile, folder);
    const FolderNamesPtr names = ReadFolder(folder);
    const sys::FolderContents& entries = names->contents;
    const auto add = [&](const std::string& name, const std::string& path, Identified found) {
        const bool single = found.storeKind == gis::store::kNone;
        const int nameKind = single ? gis::kind::kFeatureClass : gis::kind::kStore;
        if (kind != gis::kind::kAny && kind != nameKind && !(single && ListsKind(kind, nameKind))) return;
        FileName::Opener opener;
        if (single) opener = [path](const FileName& n) { return OpenSingleVectorFile(path, n); };
        auto name_ = std::make_shared<FileName>(name, nameKind, ws, found.details, std::move(opener));
        name_->SetDataFile(found.storeKind, found.format);
        // A store tells its file (its items tell their layers); a single
        // dataset its file and the layer it is read from.
        if (single) {
            name_->Described([path](const FileName&) { return SingleVectorFileSource(path); });
        } else {
            name_->Described([path, driver = found.driver](const FileName&) {
                gis::DataSourceInfo source;
                source.driver = driver;
                source.path = path;
                return source;
            });
        }
        out.push_back(std::move(name_));
    };
    // Every file a store may claim is read once; a store is told its bytes.
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < entries.files.size(); ++i)
        if (DataFileExtensions().HoldsExtensionOf(entries.files[i])) candidates.push_back(i);
    std::optional<ErrorCapture> quiet;
    const FolderHandle folderFd(folder);
    const std::string folderPath = Join(folder, "");
    std::string path;
    ForEachHead(folderFd, *names, candidates, folderPath, kProbeHeadSize, [&](std::size_t k, const HeadRead& head) {
        if (!head.bytes || head.bytes->empty()) return; // not a plain file, or empty: nothing to judge
        const std::string& file = entries.files[candidates[k]];
        path.assign(folderPath).append(file);
        if (!quiet) quiet.emplace();
        const std::string ext = UpperExt(file);
        const Probe probe{file, ext, *head.bytes, &path, false, folderFd.Fd()};
        if (auto judged = Judge(probe)) add(file, path, std::move(judged->first));
    });
    for (const std::string& sub : entries.folders) {
        const std::string ext = UpperExt(sub);
        if (ext != "GDB") continue;
        path.assign(folderPath).append(sub);
        const Probe probe{sub, ext, {}, &path, true};
        if (auto judged = Judge(probe)) add(sub, path, std::move(judged->first));
    }
    return out;
}

} // namespace

const ExtensionSet& DataFileExtensions() {
    static const ExtensionSet set{"GPKG", "SQLITE", "SQLITE3", "DB",  "DB3", "SPATIALITE", "SL3", "GEOJSON", "JSON",
                                     "FGB",  "KML",    "KMZ",     "GML", "GPX", "TAB",        "MIF", "CSV",     "NC",
                                     "NC4",  "CDF",    "NETCDF",  "H5",  "HDF5", "HE5",       "HDF", "HDF4",    "HE4"};
    return set;
}

gis::WorkspacePtr OpenDataFileStore(const std::string& rawPath) {
    const std::string path = NormalFolder(rawPath);
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) throw PlatformError(errnum::kFileNotFound, kGdalSource, "no database " + path);
    const bool folder = S_ISDIR(st.st_mode);
    if (!folder && !S_ISREG(st.st_mode))
        throw PlatformError(errnum::kFileNotFound, kGdalSource, "cannot open " + path + ": it is not a file");
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string ext = UpperExt(name);
    const std::string head = folder ? std::string() : ReadStart(path, kProbeHeadSize);
    ErrorCapture quiet;
    const Probe probe{name, ext, head, &path, folder};
    for (const StoreStep& step : kStores)
        if (step.identify(probe)) return step.open(path);
    throw PlatformError(errnum::kFileNotFound, kGdalSource, path + " is not a geodatabase, GeoPackage or data file this platform reads");
}

gis::WorkspaceFactoryPtr NewDataFileFactory() { return FolderFactory(FactoryKind::DataFile, &ListDataFiles); }

gis::WorkspaceFactoryPtr NewGeodatabaseFactory() {
    return std::make_shared<FileFactory>(FactoryKind::PersonalGeodatabase, [](const std::string& path) -> gis::WorkspacePtr {
        if (HasExtensionCi(NormalFolder(path), "MDB")) {
            const auto pgeo = NewPersonalGeodatabaseFactory();
            return pgeo->OpenWorkspaceFromFile(path, gis::kNoWindow);
        }
        return OpenDataFileStore(path);
    });
}

} // namespace marbrook::gdal
