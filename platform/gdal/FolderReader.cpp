#include "platform/gdal/detail/FolderReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/error.h"
#include "platform/gdal/detail/GdalCommon.h"
#include "platform/posix/PosixSystem.h"

namespace marbrook::gdal {

namespace {

struct KeptNames {
    std::string folder;
    FolderStamp stamp;
    std::chrono::steady_clock::time_point readAt;
    FolderNamesPtr names;
};

// Kept per thread, and only for a settled folder.
thread_local KeptNames tKept;

[[noreturn]] void ThrowUnreadable(const std::string& folder, int error) {
    throw PlatformError(error == ENOENT || error == ENOTDIR ? errnum::kPathNotFound : errnum::kPermissionDenied, kGdalSource,
                        "cannot read the folder " + folder + ": " + std::strerror(error));
}

} // namespace

bool FolderStamp::Settled() const noexcept {
    constexpr std::int64_t kCoarseClockMargin = 3; // seconds
    timespec wall{};
    ::clock_gettime(CLOCK_REALTIME, &wall);
    return wall.tv_sec - modified.tv_sec >= kCoarseClockMargin;
}

FolderNamesPtr ReadFolder(const std::string& folder, std::chrono::steady_clock::duration maxAge) {
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) ThrowUnreadable(folder, errno);
    const FolderStamp stamp = FolderStamp::Of(st);
    const auto now = std::chrono::steady_clock::now();
    if (tKept.names && tKept.folder == folder && tKept.stamp == stamp && now - tKept.readAt < maxAge) return tKept.names;

    const bool settled = stamp.Settled();
    auto names = std::make_shared<FolderNames>();
    if (const int error = posix::ReadFolderNames(folder, names->contents, &names->notPlain))
        ThrowUnreadable(folder, error);
    if (settled) {
        tKept = KeptNames{folder, stamp, now, names};
    } else {
        tKept = KeptNames{}; // changed a moment ago: the next reading reads again
    }
    return names;
}

std::optional<std::size_t> ReadHead(int folderFd, const std::string& file, char* buffer, std::size_t size,
                                    bool* denied) noexcept {
    const int fd = ::openat(folderFd, file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        struct stat st{};
        if (denied && (errno == EACCES || errno == EPERM))
            *denied = ::fstatat(folderFd, file.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
        return std::nullopt;
    }
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

std::string ReadPrefixOrThrow(const std::string& path, std::size_t n, const std::string& what) {
    // Opened without waiting: a pipe named like a data file would otherwise
    // wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM)
            throw PlatformError(errnum::kPermissionDenied, kGdalSource,
                                "cannot read the " + what + " " + path + ": permission denied");
        throw PlatformError(errnum::kFileNotFound, kGdalSource, "no " + what + " " + path + ": " + std::strerror(err));
    }
    std::string out(n, '\0');
    struct stat st{};
    ssize_t got = -1;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular) {
        do got = ::pread(fd, out.data(), n, 0);
        while (got < 0 && errno == EINTR);
    }
    const int err = errno;
    ::close(fd);
    if (!regular) throw PlatformError(errnum::kFileNotFound, kGdalSource, "no " + what + " " + path + ": it is not a file");
    if (got < 0)
        throw PlatformError(errnum::kPathFileAccessError, kGdalSource,
                            "cannot read the " + what + " " + path + ": " + std::strerror(err));
    out.resize(static_cast<std::size_t>(got));
    return out;
}

FolderHandle::FolderHandle(const std::string& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

FolderHandle::~FolderHandle() {
    if (fd_ >= 0) ::close(fd_);
}

} // namespace marbrook::gdal
