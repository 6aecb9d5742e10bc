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

#include "platform/gdal/detail/FileStore.h"
#include "platform/gdal/detail/FolderReader.h"

namespace marbrook::gdal {

namespace {

// Raster formats we offer, and the extensions that are worth probing for them.
constexpr std::array kRasterDriverNames = {"GTiff", "HFA",  "AAIGrid", "AIG",  "JPEG", "PNG",  "BMP",  "GIF",
                                           "JP2OpenJPEG", "EHdr", "ENVI", "USGSDEM", "NITF", "VRT", "GSAG",
                                           "GSBG", "GS7BG", "ERS", "RST"};
constexpr std::array kRasterExtensions = {"TIF", "TIFF", "IMG", "ASC", "JPG", "JPEG", "PNG", "BMP", "GIF", "JP2",
                                          "J2K", "BIL", "BIP", "BSQ", "DEM", "NTF", "NITF", "VRT", "GRD", "ERS", "RST"};

const std::vector<const char*>& RasterDrivers() {
    static const std::vector<const char*> drivers = [] {
        std::vector<const char*> out;
        for (const char* name : kRasterDriverNames)
            if (GDALGetDriverByName(name)) out.push_back(name);
        out.push_back(nullptr);
        return out;
    }();
    return drivers;
}

bool IsRasterCandidate(std::string_view file) {
    const std::string ext = UpperExt(file);
    return std::find(kRasterExtensions.begin(), kRasterExtensions.end(), ext) != kRasterExtensions.end();
}

gis::DatasetPtr OpenRaster(const std::string& path, const std::string& name) {
    auto ds = OpenShared(path, GDAL_OF_RASTER | GDAL_OF_READONLY, RasterDrivers().data());
    return std::make_shared<GdalRaster>(ds, name);
}

// The first bytes a raster candidate is read with: enough for every format
// that is recognised by its first bytes alone.
constexpr std::size_t kRasterHeadSize = 64;

// Whether a folder holds the driver that recognises these bytes: a driver
// left out of this GDAL build (or skipped) lists nothing by its bytes.
bool HasDriver(const char* name) {
    const auto& drivers = RasterDrivers();
    return std::any_of(drivers.begin(), drivers.end() - 1, [name](const char* d) { return std::strcmp(d, name) == 0; });
}

std::vector<DatasetNamePtr> ListRasters(const std::string& folder, int kind) {
    std::vector<DatasetNamePtr> out;
    if (!ListsKind(kind, gis::kind::kRasterDataset)) return out;
    const auto ws = WsName(FactoryKind::Raster, folder);
    const FolderNamesPtr names = ReadFolder(folder);
    const sys::FolderContents& entries = names->contents;
    const auto add = [&](const std::string& name, const std::string& path) {
        out.push_back(std::make_shared<FileName>(name, gis::kind::kRasterDataset, ws, std::nullopt,
                                                 [path](const FileName& n) { return OpenRaster(path, n.Name()); }));
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
    std::optional<ErrorCapture> quiet; // a file that is not a raster is simply not listed
    const FolderHandle folderFd(folder);
    std::string path = Join(folder, "");
    const std::size_t folderLength = path.size();
    for (const std::string& file : entries.files) {
        if (!IsRasterCandidate(file)) continue;
        path.resize(folderLength);
        path += file;
        // Most candidates say by their first bytes that they are ours; GDAL
        // judges the rest, as it would have judged every one.
        char head[kRasterHeadSize];
        bool denied = false;
        const auto got = folderFd.IsOpen() ? ReadHead(folderFd.Fd(), file, head, sizeof head, &denied)
                                           : ReadHead(AT_FDCWD, path, head, sizeof head, &denied);
        // A file the user may not read is listed, as an unreadable
        // shapefile is: opening it says why it fails.
        if (denied) {
            add(file, path);
            continue;
        }
        // What cannot be read (a dangling link, a pipe) is no raster, and
        // GDAL must not try to read it either.
        if (!got) continue;
        const char* driver = RasterDriverByHead(UpperExt(file), std::string_view(head, *got));
        if (driver && HasDriver(driver)) {
            add(file, path);
            continue;
        }
        if (!quiet) quiet.emplace();
        const std::vector<std::string> siblings = siblingsOf(file);
        std::vector<const char*> siblingList;
        for (const std::string& sibling : siblings) siblingList.push_back(sibling.c_str());
        siblingList.push_back(nullptr);
        if (GDALIdentifyDriverEx(path.c_str(), GDAL_OF_RASTER, RasterDrivers().data(), siblingList.data())) add(file, path);
    }
    for (const std::string& sub : entries.folders) {
        const std::string gridFolder = Join(folder, sub);
        struct stat st{};
        if (::stat(Join(gridFolder, "hdr.adf").c_str(), &st) == 0 && S_ISREG(st.st_mode)) add(sub, gridFolder);
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

gis::WorkspaceFactoryPtr NewRasterFactory() { return FolderFactory(FactoryKind::Raster, &ListRasters); }

} // namespace marbrook::gdal
