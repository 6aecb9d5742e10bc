#include "platform/gdal/detail/GdalCommon.h"

#include <cpl_error.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

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

// The names in a folder that are not plain files (folders, links, pipes,
// devices) as the folder's entries say, kept with the folder's stamp.
// Building layers from 1 000 shapefiles of one folder opens 1 000 datasets;
// each would otherwise read the whole folder again.
struct KeptOddNames {
    std::string folder;
    FolderStamp stamp;
    std::vector<std::string> names;
};

// Kept per thread, and only for a settled folder.
thread_local std::optional<KeptOddNames> tKeptOdd;

// False when the folder cannot be read.
bool ReadOddNames(const std::string& folder, std::vector<std::string>& names) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) return false;
    while (const dirent* e = ::readdir(dir.get()))
        if (e->d_type != DT_REG) names.emplace_back(e->d_name);
    return true;
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
    if (!S_ISREG(st.st_mode)) return;
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    const std::string stem = (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + ".";

    struct stat folderStat{};
    if (::stat(folder.c_str(), &folderStat) != 0) return;
    const FolderStamp stamp = FolderStamp::Of(folderStat);
    std::vector<std::string> read;
    const std::vector<std::string>* odd = nullptr;
    if (tKeptOdd && tKeptOdd->folder == folder && tKeptOdd->stamp == stamp) {
        odd = &tKeptOdd->names;
    } else {
        const bool settled = stamp.Settled();
        if (!ReadOddNames(folder, read)) return;
        if (settled) {
            tKeptOdd = KeptOddNames{folder, stamp, std::move(read)};
            odd = &tKeptOdd->names;
        } else {
            tKeptOdd.reset(); // changed a moment ago: the next opening reads again
            odd = &read;
        }
    }
    const std::string prefix = folder == "/" ? folder : folder + "/";
    for (const std::string& sibling : *odd) {
        if (sibling.compare(0, stem.size(), stem) != 0) continue;
        struct stat siblingStat{};
        if (::stat((prefix + sibling).c_str(), &siblingStat) == 0 && IsSpecial(siblingStat))
            throw PlatformError(errnum::kFileNotFound, kGdalSource,
                                "cannot open " + path + ": " + sibling + " beside it is not a file");
    }
}

} // namespace

bool FolderStamp::Settled() const noexcept {
    constexpr std::int64_t kCoarseClockMargin = 3; // seconds
    timespec wall{};
    ::clock_gettime(CLOCK_REALTIME, &wall);
    return wall.tv_sec - modified.tv_sec >= kCoarseClockMargin;
}

SharedDatasetHandle OpenShared(const std::string& path, unsigned flags, const char* const* allowedDrivers,
                               const char* const* openOptions) {
    RequireOnlyFiles(path);
    ErrorCapture capture;
    GDALDataset* ds = GDALDataset::FromHandle(GDALOpenEx(path.c_str(), flags, allowedDrivers, openOptions, nullptr));
    if (!ds) capture.Throw(errnum::kFileNotFound, "cannot open " + path);
    return SharedDatasetHandle(ds, DatasetCloser{});
}

} // namespace marbrook::gdal
