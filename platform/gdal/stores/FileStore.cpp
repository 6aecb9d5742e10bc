// Shapefile, raster, CAD and personal-geodatabase workspaces on GDAL/OGR.
//
// Listing is cheap: names come from the folder, a few header bytes or the
// database's own catalogue tables. GDAL opens a file only when a name is
// opened.
#include "platform/gdal/detail/FileStores.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/gdal/GdalGis.h"
#include "platform/gdal/detail/GdalCommon.h"

namespace marbrook::gdal {

namespace fs = std::filesystem;
using gis::DatasetNamePtr;
using gis::FactoryKind;
using gis::FeatureClassDetails;
using gis::WorkspaceNamePtr;

namespace {

// ---- Small helpers -----------------------------------------------------------

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// The upper-case extension of a file name, without its dot.
std::string UpperExt(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return Upper(name.substr(dot + 1));
}

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// A folder path without its trailing "/" (the root stays "/").
std::string NormalFolder(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Up to `n` first bytes of a regular file; "" for anything else. Opened
// without waiting: a pipe named like a data file would otherwise wait for a
// writer for ever.
std::string ReadPrefix(const std::string& path, std::size_t n) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {};
    std::string out(n, '\0');
    struct stat st{};
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do got = ::pread(fd, out.data(), n, 0);
        while (got < 0 && errno == EINTR);
    }
    ::close(fd);
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
}

// Up to `size` first bytes of the file `file` of the folder open as
// `folderFd` into `buffer`, with one read: the listing reads the head of
// thousands of files, and opening them by the folder spares walking the
// folder's path for each. The number of bytes read (0 when the file cannot
// be read); none when `file` is not a regular file (a pipe, a device, a
// folder), which no one may read for a listing: a pipe would wait for a
// writer for ever.
std::optional<std::size_t> ReadHead(int folderFd, const std::string& file, char* buffer, std::size_t size) noexcept {
    const int fd = ::openat(folderFd, file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    ssize_t n;
    do n = ::pread(fd, buffer, size, 0);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// The names in a folder, split into files and folders, in the order the
// file system gives them.
struct Entries {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};
using EntriesPtr = std::shared_ptr<const Entries>;

// A folder listing opens the folder as a shapefile, a CAD and a raster
// workspace; each reads the folder's names, and a folder of 90 000 files
// would be read three times. The names read last on this thread serve the
// reads of the same folder that follow within a moment, while the folder
// is unchanged and settled.
constexpr auto kEntriesLifetime = std::chrono::seconds(1);

struct KeptEntries {
    std::string folder;
    FolderStamp stamp;
    std::chrono::steady_clock::time_point readAt;
    EntriesPtr entries;
};

thread_local KeptEntries tKept;

// A folder open for reading its files by name; AT_FDCWD with the full path
// when it cannot be opened.
class FolderHandle {
public:
    explicit FolderHandle(const std::string& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~FolderHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    [[nodiscard]] bool IsOpen() const noexcept { return fd_ >= 0; }
    [[nodiscard]] int Fd() const noexcept { return fd_; }

private:
    int fd_;
};

[[noreturn]] void ThrowUnreadable(const std::string& folder, int error) {
    throw PlatformError(error == ENOENT || error == ENOTDIR ? errnum::kPathNotFound : errnum::kPermissionDenied, kGdalSource,
                        "cannot read the folder " + folder + ": " + std::strerror(error));
}

Entries ReadEntries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) ThrowUnreadable(folder, errno);
    std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, &::closedir);
    const int dfd = ::dirfd(dir);
    Entries out;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) break;
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            // A link counts as what it points to, as a user would see it; a
            // dangling one as a file.
            struct stat st{};
            isDir = ::fstatat(dfd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        (isDir ? out.folders : out.files).emplace_back(name);
    }
    if (errno != 0) ThrowUnreadable(folder, errno);
    return out;
}

// The names of a folder; PlatformError when it cannot be read.
EntriesPtr ReadFolder(const std::string& folder) {
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) ThrowUnreadable(folder, errno);
    const FolderStamp stamp = FolderStamp::Of(st);
    const auto now = std::chrono::steady_clock::now();
    if (tKept.entries && tKept.folder == folder && tKept.stamp == stamp && now - tKept.readAt < kEntriesLifetime)
        return tKept.entries;

    const bool settled = stamp.Settled();
    auto entries = std::make_shared<const Entries>(ReadEntries(folder));
    if (settled) {
        tKept = KeptEntries{folder, stamp, now, entries};
    } else {
        tKept = KeptEntries{}; // changed a moment ago: the next read reads again
    }
    return entries;
}

void RequireFolder(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) throw PlatformError(errnum::kPathNotFound, kGdalSource, "no folder " + folder);
}

WorkspaceNamePtr WsName(FactoryKind kind, const std::string& path) { return std::make_shared<gis::WorkspaceName>(kind, path); }

// ---- Names -----------------------------------------------------------------

// A dataset name of a file store. What it opens, and its members, are given
// as functions so that every store shares one name type.
class FileName final : public GdalDatasetName, public std::enable_shared_from_this<FileName> {
public:
    using Opener = std::function<gis::DatasetPtr(const FileName&)>;
    using Members = std::function<std::vector<DatasetNamePtr>()>;

    FileName(std::string name, int kind, WorkspaceNamePtr workspace, std::optional<FeatureClassDetails> details,
             Opener opener, Members members = {}, std::string fileExtension = {})
        : name_(std::move(name)), kind_(kind), workspace_(std::move(workspace)), details_(details),
          opener_(std::move(opener)), members_(std::move(members)), fileExtension_(std::move(fileExtension)) {}

    std::string Name() const override { return name_; }
    void SetName(const std::string& name) override { name_ = name; }
    int Kind() const override { return kind_; }
    std::vector<DatasetNamePtr> SubsetNames() const override {
        InitGdal();
        return members_ ? members_() : std::vector<DatasetNamePtr>{};
    }
    WorkspaceNamePtr GetWorkspaceName() const override { return workspace_; }
    void SetWorkspaceName(WorkspaceNamePtr name) override { workspace_ = std::move(name); }
    std::optional<FeatureClassDetails> Details() const override { return details_; }
    std::string FileExtension() const override { return fileExtension_; }
    gis::DatasetPtr Open() const override {
        InitGdal();
        if (!opener_) throw PlatformError(errnum::kNotSupported, kGdalSource, "the dataset " + name_ + " cannot be opened");
        return opener_(*this);
    }
    DatasetNamePtr Self() const { return std::const_pointer_cast<FileName>(shared_from_this()); }

private:
    std::string name_;
    int kind_;
    WorkspaceNamePtr workspace_;
    std::optional<FeatureClassDetails> details_;
    Opener opener_;
    Members members_;
    std::string fileExtension_;
};

// ---- Datasets ----------------------------------------------------------------

// Which features of a drawing's layers belong to a class; none: all of them.
using FeatureFilter = std::function<bool(OGRFeature&)>;

class OgrFeatureClass final : public gis::FeatureClass {
public:
    OgrFeatureClass(SharedDatasetHandle ds, std::vector<OGRLayer*> layers, const FileName& name, FeatureFilter filter)
        : ds_(std::move(ds)), layers_(std::move(layers)), name_(name.Name()), fullName_(name.Self()),
          details_(name.Details().value_or(FeatureClassDetails{})), filter_(std::move(filter)) {}

    std::string Name() const override { return name_; }
    std::string AliasName() const override { return name_; }
    int FeatureKind() const override { return details_.featureKind; }
    int ShapeKind() const override { return details_.shapeKind; }
    long long FeatureCount() const override {
        InitGdal();
        ErrorCapture capture;
        long long n = 0;
        for (OGRLayer* layer : layers_) {
            if (!filter_) {
                const GIntBig c = layer->GetFeatureCount(TRUE);
                if (c < 0) return -1;
                n += c;
                continue;
            }
            layer->ResetReading();
            while (std::unique_ptr<OGRFeature> f{layer->GetNextFeature()}) {
                if (filter_(*f)) ++n;
            }
        }
        return n;
    }
    DatasetNamePtr FullName() const override { return fullName_; }

private:
    SharedDatasetHandle ds_;
    std::vector<OGRLayer*> layers_;
    std::string name_;
    DatasetNamePtr fullName_;
    FeatureClassDetails details_;
    FeatureFilter filter_;
};

class GdalCadDrawing final : public gis::CadDrawingDataset {
public:
    GdalCadDrawing(SharedDatasetHandle ds, std::string name, std::string path)
        : ds_(std::move(ds)), name_(std::move(name)), path_(std::move(path)) {}
    std::string Name() const override { return name_; }
    std::string FilePath() const override { return path_; }

private:
    SharedDatasetHandle ds_;
    std::string name_;
    std::string path_;
};

// ---- Workspaces and factories -------------------------------------------------

class FileWorkspace final : public gis::Workspace {
public:
    using Lister = std::function<std::vector<DatasetNamePtr>(int kind)>;
    FileWorkspace(WorkspaceNamePtr name, Lister lister) : name_(std::move(name)), lister_(std::move(lister)) {}
    WorkspaceNamePtr Name() const override { return name_; }
    std::vector<DatasetNamePtr> ListDatasetNames(int kind) override {
        InitGdal();
        return lister_(kind);
    }
    std::vector<gis::VersionInfo> ListVersions() override {
        throw PlatformError(errnum::kTypeMismatch, kGdalSource, "a file workspace is not versioned");
    }

private:
    WorkspaceNamePtr name_;
    Lister lister_;
};

class FileFactory final : public gis::WorkspaceFactory {
public:
    using Opener = std::function<gis::WorkspacePtr(const std::string& path)>;
    FileFactory(FactoryKind kind, Opener opener) : kind_(kind), opener_(std::move(opener)) {}
    FactoryKind Kind() const noexcept override { return kind_; }
    gis::WorkspacePtr OpenWorkspace(const gis::PropertySet& properties, gis::WindowHandle) override {
        const auto path = properties.GetProperty("DATABASE");
        if (!path || path->empty())
            throw PlatformError(errnum::kInvalidProcedureCall, kGdalSource, "the property DATABASE is missing");
        InitGdal();
        return opener_(*path);
    }
    gis::WorkspacePtr OpenWorkspaceFromFile(const std::string& path, gis::WindowHandle) override {
        InitGdal();
        return opener_(path);
    }
    gis::PropertySet ReadConnectionProperties(const std::string&) override {
        throw PlatformError(errnum::kNotSupported, kGdalSource, "only spatial databases have connection files");
    }
    WorkspaceNamePtr CreateConnectionFile(const std::string&, const std::string&, const gis::PropertySet&,
                                          gis::WindowHandle) override {
        throw PlatformError(errnum::kNotSupported, kGdalSource, "only spatial databases have connection files");
    }

private:
    FactoryKind kind_;
    Opener opener_;
};

bool ListsKind(int wanted, int kind) {
    if (wanted == gis::kind::kAny) return true;
    if (wanted == gis::kind::kGeo)
        return kind == gis::kind::kFeatureDataset || kind == gis::kind::kFeatureClass ||
               kind == gis::kind::kRasterDataset || kind == gis::kind::kRasterCatalog;
    return wanted == kind;
}

// ---- Shapefiles ----------------------------------------------------------------

const char* const kShapeDrivers[] = {"ESRI Shapefile", nullptr};

// Whether a file name ends in "." and `ext` (upper case, ASCII), in any case,
// with a stem before the dot.
bool HasExtensionCi(std::string_view file, std::string_view upperExt) noexcept {
    if (file.size() < upperExt.size() + 2 || file[file.size() - upperExt.size() - 1] != '.') return false;
    const std::string_view tail = file.substr(file.size() - upperExt.size());
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = tail[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upperExt[i]) return false;
    }
    return true;
}

gis::DatasetPtr OpenShapefile(const std::string& path, const FileName& name) {
    auto ds = OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kShapeDrivers);
    OGRLayer* layer = ds->GetLayerCount() > 0 ? ds->GetLayer(0) : nullptr;
    if (!layer) throw PlatformError(errnum::kFileNotFound, kGdalSource, "the shapefile " + path + " holds no layer");
    return std::make_shared<OgrFeatureClass>(ds, std::vector<OGRLayer*>{layer}, name, FeatureFilter{});
}

std::vector<DatasetNamePtr> ListShapefiles(const std::string& folder, int kind) {
    std::vector<DatasetNamePtr> out;
    if (!ListsKind(kind, gis::kind::kFeatureClass)) return out;
    const auto ws = WsName(FactoryKind::Shapefile, folder);
    const EntriesPtr entries = ReadFolder(folder);
    const FolderHandle folderFd(folder);
    std::string path = Join(folder, "");
    const std::size_t folderLength = path.size();
    for (const std::string& file : entries->files) {
        if (!HasExtensionCi(file, "SHP")) continue;
        path.resize(folderLength);
        path += file;
        // A .shp whose header cannot be read is still listed (unclassified):
        // the user must see the broken dataset; opening it reports why.
        char header[100];
        const std::size_t got = (folderFd.IsOpen() ? ReadHead(folderFd.Fd(), file, header, sizeof header)
                                                   : ReadHead(AT_FDCWD, path, header, sizeof header))
                                    .value_or(0);
        const int shapeKind = ParseShpHeader(std::string_view(header, got)).value_or(0);
        const std::size_t stem = file.size() - 4;
        // The name is the stem; the extension is kept as the file spells it
        // (ROADS.SHP), so that the name still leads to the real file.
        out.push_back(std::make_shared<FileName>(
            file.substr(0, stem), gis::kind::kFeatureClass, ws, FeatureClassDetails{gis::feature::kSimple, shapeKind},
            [path](const FileName& name) { return OpenShapefile(path, name); }, FileName::Members{}, file.substr(stem)));
    }
    return out;
}

// ---- Rasters -------------------------------------------------------------------

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
    const EntriesPtr entries = ReadFolder(folder);
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
            sorted.assign(entries->files.begin(), entries->files.end());
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
    for (const std::string& file : entries->files) {
        if (!IsRasterCandidate(file)) continue;
        path.resize(folderLength);
        path += file;
        // Most candidates say by their first bytes that they are ours; GDAL
        // judges the rest, as it would have judged every one.
        char head[kRasterHeadSize];
        const auto got = folderFd.IsOpen() ? ReadHead(folderFd.Fd(), file, head, sizeof head)
                                           : ReadHead(AT_FDCWD, path, head, sizeof head);
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
    for (const std::string& sub : entries->folders) {
        const std::string gridFolder = Join(folder, sub);
        struct stat st{};
        if (::stat(Join(gridFolder, "hdr.adf").c_str(), &st) == 0 && S_ISREG(st.st_mode)) add(sub, gridFolder);
    }
    return out;
}

// ---- CAD drawings ----------------------------------------------------------------

const char* const kCadDrivers[] = {"DXF", "CAD", nullptr};

bool IsDrawing(std::string_view file) { return HasExtensionCi(file, "DXF") || HasExtensionCi(file, "DWG"); }

// GDAL reads DWG in release R2000 only; any other release is refused before
// GDAL sees it, with a description that says so.
void RequireReadableDrawing(const std::string& path) {
    if (UpperExt(path) != "DWG") return;
    const std::string code = ReadPrefix(path, 6);
    if (code == kReadableDwgVersion) return;
    throw PlatformError(errnum::kNotSupported, kGdalSource,
                        "the drawing " + path + " is a DWG of release " + DwgRelease(code) +
                            "; only DWG R2000 (AC1015) drawings can be read");
}

SharedDatasetHandle OpenDrawing(const std::string& path) {
    RequireReadableDrawing(path);
    return OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kCadDrivers);
}

std::string FieldText(OGRFeature& f, const char* field) {
    const int i = f.GetFieldIndex(field);
    if (i < 0 || !f.IsFieldSetAndNotNull(i)) return {};
    return f.GetFieldAsString(i);
}

OGRwkbGeometryType FlatType(OGRFeature& f) {
    const OGRGeometry* g = f.GetGeometryRef();
    return g ? wkbFlatten(g->getGeometryType()) : wkbNone;
}

// Texts are points that carry a text (hatches carry their pattern name there).
bool IsText(OGRFeature& f) {
    const auto t = FlatType(f);
    return (t == wkbPoint || t == wkbMultiPoint) && !FieldText(f, "Text").empty();
}

bool IsFace(OGRFeature& f, OGRwkbGeometryType flat) {
    if (flat == wkbTIN || flat == wkbPolyhedralSurface) return true;
    const std::string sub = FieldText(f, "SubClasses");
    return sub.find("AcDbFace") != std::string::npos || sub.find("AcDbPolyFaceMesh") != std::string::npos;
}

// The classes a drawing offers, as filters over its mixed-geometry layers.
struct CadClass {
    const char* name;
    int featureKind;
    int shapeKind;
    bool (*accepts)(OGRFeature&);
};

const std::array<CadClass, 5> kCadClasses = {{
    {"Annotation", gis::feature::kCoverageAnnotation, gis::shape::kPoint, [](OGRFeature& f) { return IsText(f); }},
    {"Point", gis::feature::kSimple, gis::shape::kPoint,
     [](OGRFeature& f) {
         const auto t = FlatType(f);
         return (t == wkbPoint || t == wkbMultiPoint) && !IsText(f);
     }},
    {"Polyline", gis::feature::kSimple, gis::shape::kPolyline,
     [](OGRFeature& f) {
         const auto t = FlatType(f);
         return t == wkbLineString || t == wkbMultiLineString || t == wkbCircularString || t == wkbCompoundCurve ||
                t == wkbMultiCurve;
     }},
    {"Polygon", gis::feature::kSimple, gis::shape::kPolygon,
     [](OGRFeature& f) {
         const auto t = FlatType(f);
         return (t == wkbPolygon || t == wkbMultiPolygon || t == wkbCurvePolygon || t == wkbMultiSurface) && !IsFace(f, t);
     }},
    {"MultiPatch", gis::feature::kSimple, gis::shape::kMultiPatch,
     [](OGRFeature& f) {
         const auto t = FlatType(f);
         return t != wkbNone && IsFace(f, t);
     }},
}};

gis::CadDrawingDatasetPtr DrawingDataset(const std::string& path, const std::string& name) {
    return std::make_shared<GdalCadDrawing>(OpenDrawing(path), name, path);
}

std::vector<DatasetNamePtr> DrawingMembers(const std::string& path, const std::string& file, const WorkspaceNamePtr& ws) {
    RequireReadableDrawing(path);
    std::vector<DatasetNamePtr> out;
    for (const CadClass& c : kCadClasses) {
        const auto accepts = c.accepts;
        out.push_back(std::make_shared<FileName>(
            c.name, gis::kind::kFeatureClass, ws, FeatureClassDetails{c.featureKind, c.shapeKind},
            [path, accepts](const FileName& name) -> gis::DatasetPtr {
                auto ds = OpenDrawing(path);
                std::vector<OGRLayer*> layers;
                for (int i = 0; i < ds->GetLayerCount(); ++i) layers.push_back(ds->GetLayer(i));
                return std::make_shared<OgrFeatureClass>(ds, std::move(layers), name, FeatureFilter(accepts));
            }));
    }
    out.push_back(std::make_shared<FileName>(file, gis::kind::kCadDrawing, ws, std::nullopt,
                                             [path](const FileName& n) { return DrawingDataset(path, n.Name()); }));
    return out;
}

std::vector<DatasetNamePtr> ListDrawings(const std::string& folder, int kind) {
    std::vector<DatasetNamePtr> out;
    if (!ListsKind(kind, gis::kind::kFeatureDataset)) return out;
    const auto ws = WsName(FactoryKind::Cad, folder);
    const EntriesPtr entries = ReadFolder(folder);
    for (const std::string& file : entries->files) {
        if (!IsDrawing(file)) continue;
        const std::string path = Join(folder, file);
        out.push_back(std::make_shared<FileName>(
            file, gis::kind::kFeatureDataset, ws, std::nullopt,
            [path](const FileName& n) { return DrawingDataset(path, n.Name()); },
            [path, file, ws] { return DrawingMembers(path, file, ws); }));
    }
    return out;
}

// ---- Personal geodatabases ---------------------------------------------------------

const char* const kPgeoDrivers[] = {"PGeo", nullptr};

struct CatalogItem {
    std::string name;
    int kind = 0;
    std::string parent; // the feature dataset it belongs to, "" at the top level
    FeatureClassDetails details;
};

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

std::string StripBraces(std::string s) {
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '{' || c == '}'; }), s.end());
    return Upper(s);
}

int ItemKind(const std::string& typeGuid) {
    static const std::map<std::string, int> kinds = {
        {"74737149-DCB5-4257-8904-B9724E32A530", gis::kind::kFeatureDataset},
        {"70737809-852C-4A03-9E22-2CECEA5B9BFA", gis::kind::kFeatureClass},
        {"CD06BC3B-789D-4C51-AAFA-A467912B8965", gis::kind::kTable},
        {"5ED667A3-9CA9-44A2-8029-D95BF23704B9", gis::kind::kRasterDataset},
        {"35B601F7-45CE-4AFF-ADB7-7702D3839B12", gis::kind::kRasterCatalog},
    };
    const auto it = kinds.find(StripBraces(typeGuid));
    return it == kinds.end() ? 0 : it->second;
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
        item.kind = ItemKind(f.GetFieldAsString(1));
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

class PgeoCatalog {
public:
    PgeoCatalog(std::string path, SharedDatasetHandle ds) : path_(std::move(path)), ds_(std::move(ds)) {
        items_ = ReadCatalog(*ds_, path_);
        ws_ = WsName(FactoryKind::PersonalGeodatabase, path_);
    }

    std::vector<DatasetNamePtr> Names(int kind, const std::string& parent, const std::shared_ptr<PgeoCatalog>& self) const {
        std::vector<DatasetNamePtr> out;
        for (const CatalogItem& item : items_) {
            if (item.parent != parent || !ListsKind(kind, item.kind)) continue;
            out.push_back(MakeName(item, self));
        }
        return out;
    }

private:
    DatasetNamePtr MakeName(const CatalogItem& item, const std::shared_ptr<PgeoCatalog>& self) const {
        const std::string path = path_;
        std::optional<FeatureClassDetails> details;
        FileName::Opener opener;
        FileName::Members members;
        switch (item.kind) {
        case gis::kind::kFeatureClass:
            details = item.details;
            opener = [self](const FileName& n) -> gis::DatasetPtr {
                ErrorCapture capture;
                OGRLayer* layer = self->ds_->GetLayerByName(n.Name().c_str());
                if (!layer) capture.Throw(errnum::kFileNotFound, "no feature class " + n.Name() + " in " + self->path_);
                return std::make_shared<OgrFeatureClass>(self->ds_, std::vector<OGRLayer*>{layer}, n, FeatureFilter{});
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
        return std::make_shared<FileName>(item.name, item.kind, ws_, details, std::move(opener), std::move(members));
    }

    std::string path_;
    SharedDatasetHandle ds_;
    std::vector<CatalogItem> items_;
    WorkspaceNamePtr ws_;
};

gis::WorkspacePtr OpenPgeo(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw PlatformError(errnum::kFileNotFound, kGdalSource, "no personal geodatabase " + path);
    // Checked before the ODBC driver sees the file: it prints to the terminal
    // about files it cannot read.
    const std::string head = ReadPrefix(path, 21);
    if (head.size() < 21 || (head.compare(4, 15, "Standard Jet DB") != 0 && head.compare(4, 15, "Standard ACE DB") != 0))
        throw PlatformError(errnum::kFileNotFound, kGdalSource, path + " is not a personal geodatabase (not an Access database)");
    // A database is whole pages (2 KB in the first Jet format, 4 KB since):
    // the header page, the page map and the catalogue at least. A file cut
    // short would reach the driver, which prints about pages it cannot read.
    const std::uintmax_t size = fs::file_size(path, ec);
    const std::uintmax_t page = head[20] == 0 ? 2048 : 4096;
    if (ec || size % page != 0 || size < 3 * page)
        throw PlatformError(errnum::kFileNotFound, kGdalSource,
                            path + " is not a whole personal geodatabase (the file is cut short)");
    auto catalog = std::make_shared<PgeoCatalog>(path, OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kPgeoDrivers));
    return std::make_shared<FileWorkspace>(WsName(FactoryKind::PersonalGeodatabase, path),
                                           [catalog](int kind) { return catalog->Names(kind, "", catalog); });
}

template <class Lister>
gis::WorkspaceFactoryPtr FolderFactory(FactoryKind kind, Lister lister) {
    return std::make_shared<FileFactory>(kind, [kind, lister](const std::string& path) -> gis::WorkspacePtr {
        const std::string folder = NormalFolder(path);
        RequireFolder(folder);
        return std::make_shared<FileWorkspace>(WsName(kind, folder), [folder, lister](int k) { return lister(folder, k); });
    });
}

} // namespace

// ---- Public --------------------------------------------------------------------

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

const char* RasterDriverByHead(std::string_view upperExtension, std::string_view head) noexcept {
    const auto starts = [&](std::string_view prefix) {
        if (head.size() < prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            char c = head[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (c != prefix[i]) return false;
        }
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

std::string DwgRelease(std::string_view code) {
    static const std::map<std::string, std::string, std::less<>> releases = {
        {"AC1012", "R13"},   {"AC1014", "R14"},   {"AC1015", "R2000"}, {"AC1018", "R2004"},
        {"AC1021", "R2007"}, {"AC1024", "R2010"}, {"AC1027", "R2013"}, {"AC1032", "R2018"},
    };
    const auto it = releases.find(code);
    if (it != releases.end()) return it->second + " (" + it->first + ")";
    std::string shown;
    for (char c : code) shown += (c >= 0x20 && c < 0x7f) ? c : '?';
    return shown.empty() ? std::string("unknown") : "unknown (" + shown + ")";
}

gis::WorkspaceFactoryPtr NewShapefileFactory() { return FolderFactory(FactoryKind::Shapefile, &ListShapefiles); }
gis::WorkspaceFactoryPtr NewRasterFactory() { return FolderFactory(FactoryKind::Raster, &ListRasters); }
gis::WorkspaceFactoryPtr NewCadFactory() { return FolderFactory(FactoryKind::Cad, &ListDrawings); }
gis::WorkspaceFactoryPtr NewPersonalGeodatabaseFactory() {
    return std::make_shared<FileFactory>(FactoryKind::PersonalGeodatabase, &OpenPgeo);
}

gis::CadDrawingDatasetPtr OpenCadDrawing(gis::Workspace& cadWorkspace, const std::string& name) {
    InitGdal();
    const auto ws = cadWorkspace.Name();
    if (!ws || ws->Factory() != FactoryKind::Cad)
        throw PlatformError(errnum::kTypeMismatch, kGdalSource, "the workspace is not a CAD workspace");
    const std::string path = Join(ws->PathName(), name);
    std::error_code ec;
    if (!IsDrawing(name) || !fs::is_regular_file(path, ec))
        throw PlatformError(errnum::kFileNotFound, kGdalSource, "no drawing " + path);
    return DrawingDataset(path, name);
}

} // namespace marbrook::gdal
