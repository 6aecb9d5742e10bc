#include "platform/gdal/detail/GdalCommon.h"

#include <cpl_error.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <utility>

#include "platform/gdal/detail/FolderReader.h"

namespace marbrook::gdal {

ErrorCapture::ErrorCapture() { CPLPushErrorHandlerEx(&ErrorCapture::Handler, this); }

ErrorCapture::~ErrorCapture() { CPLPopErrorHandler(); }

void CPL_STDCALL ErrorCapture::Handler(CPLErr level, CPLErrorNum, const char* message) {
    if (level < CE_Failure) return; // warnings and debug output are not failures
    auto* self = static_cast<ErrorCapture*>(CPLGetErrorHandlerUserData());
    if (self && message) self->message_ = message;
}

void ErrorCapture::Throw(long number, const std::string& what) const {
    throw PlatformError(number, kGdalSource, message_.empty() ? what : what + ": " + message_);
}

namespace {

bool IsSpecial(const struct stat& st) { return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode); }

// A dataset that is a folder (an Arc/Info grid) is read file by file: a
// pipe or a device among them (prj.adf) would make GDAL wait or read for
// ever.
void RequireOnlyFilesInside(const std::string& folder) {
    FolderNamesPtr names;
    try {
        names = ReadFolder(folder, kAnyAge);
    } catch (const PlatformError&) {
        return; // GDAL reports what it cannot read
    }
    const std::string prefix = folder == "/" ? folder : folder + "/";
    for (const std::string& name : names->notPlain) {
        struct stat st{};
        if (::stat((prefix + name).c_str(), &st) == 0 && IsSpecial(st))
            throw PlatformError(errnum::kFileNotFound, kGdalSource, "cannot open " + folder + ": " + name + " inside it is not a file");
    }
}

// A file the user may not read fails with the reason, not with GDAL's
// guess that it is not a dataset.
void RequireReadable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno == EACCES || errno == EPERM)
        throw PlatformError(errnum::kPermissionDenied, kGdalSource, "cannot open " + path + ": permission denied");
}

// A pipe or a device named like a data file, or like one of the files GDAL
// reads beside it (index, table, world file, overviews: those that share
// its stem), is refused before GDAL reads it: reading a pipe waits for a
// writer for ever. A link is judged by what it points to, at every opening.
void RequireOnlyFiles(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return; // not a path of the file system: GDAL judges it
    if (IsSpecial(st))
        throw PlatformError(errnum::kFileNotFound, kGdalSource, "cannot open " + path + ": it is not a file");
    if (S_ISDIR(st.st_mode)) {
        RequireOnlyFilesInside(path);
        return;
    }
    if (!S_ISREG(st.st_mode)) return;
    RequireReadable(path);
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    const std::string stem = (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + ".";

    // The folder's names as the listing read them a moment ago, when it is
    // unchanged: building layers from 1 000 shapefiles of one folder opens
    // 1 000 datasets.
    FolderNamesPtr names;
    try {
        names = ReadFolder(folder, kAnyAge);
    } catch (const PlatformError&) {
        return; // the folder cannot be read: GDAL judges the file
    }
    const std::string prefix = folder == "/" ? folder : folder + "/";
    for (const std::string& sibling : names->notPlain) {
        if (sibling.compare(0, stem.size(), stem) != 0) continue;
        struct stat siblingStat{};
        if (::stat((prefix + sibling).c_str(), &siblingStat) == 0 && IsSpecial(siblingStat))
            throw PlatformError(errnum::kFileNotFound, kGdalSource,
                                "cannot open " + path + ": " + sibling + " beside it is not a file");
    }
}

} // namespace

SharedDatasetHandle OpenShared(const std::string& path, unsigned flags, const char* const* allowedDrivers,
                               const char* const* openOptions) {
    RequireOnlyFiles(path);
    ErrorCapture capture;
    GDALDataset* ds = GDALDataset::FromHandle(GDALOpenEx(path.c_str(), flags, allowedDrivers, openOptions, nullptr));
    if (!ds) capture.Throw(errnum::kFileNotFound, "cannot open " + path);
    return SharedDatasetHandle(ds, DatasetCloser{});
}

std::string ReferenceText(const OGRSpatialReference* reference) {
    if (!reference || reference->IsEmpty()) return {};
    const char* authority = reference->GetAuthorityName(nullptr);
    const char* code = reference->GetAuthorityCode(nullptr);
    if (authority && code) return std::string(authority) + ":" + code;
    char* wkt = nullptr;
    const char* const options[] = {"FORMAT=WKT2_2018", nullptr};
    std::string text;
    if (reference->exportToWkt(&wkt, options) == OGRERR_NONE && wkt) text = wkt;
    CPLFree(wkt);
    return text;
}

std::optional<gis::Envelope> Union(const std::optional<gis::Envelope>& a, const OGREnvelope& b) {
    if (!b.IsInit()) return a;
    if (!a) return gis::Envelope{b.MinX, b.MinY, b.MaxX, b.MaxY};
    return gis::Envelope{std::min(a->xMin, b.MinX), std::min(a->yMin, b.MinY), std::max(a->xMax, b.MaxX),
                         std::max(a->yMax, b.MaxY)};
}

std::optional<gis::Envelope> GdalRaster::Extent() const {
    ErrorCapture quiet; // a raster without a geotransform has no extent
    double t[6] = {};
    if (ds_->GetGeoTransform(t) != CE_None) return std::nullopt;
    const double w = ds_->GetRasterXSize();
    const double h = ds_->GetRasterYSize();
    OGREnvelope e;
    for (const auto& [px, py] : {std::pair{0.0, 0.0}, std::pair{w, 0.0}, std::pair{0.0, h}, std::pair{w, h}})
        e.Merge(t[0] + px * t[1] + py * t[2], t[3] + px * t[4] + py * t[5]);
    return Union(std::nullopt, e);
}

} // namespace marbrook::gdal
