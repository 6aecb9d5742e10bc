#include "platform/gdal/detail/FolderReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/error.h"
#include "platform/gdal/detail/GdalCommon.h"
#include "platform/posix/PosixSystem.h"

namespace marbrook::gdal {

namespace {

[[noreturn]] void ThrowUnreadable(const std::string& folder, int error) {
    throw PlatformError(error == ENOENT || error == ENOTDIR ? errnum::kPathNotFound : errnum::kPermissionDenied, kGdalSource,
                        "cannot read the folder " + folder + ": " + std::strerror(error));
}

std::optional<std::size_t> ReadOpened(int fd, char* buffer, std::size_t size) noexcept {
    ssize_t n;
    do n = ::pread(fd, buffer, size, 0);
    while (n < 0 && errno == EINTR);
    const int error = errno;
    ::close(fd);
    // A pipe or a folder that took a plain file's place cannot be read at
    // an offset: it is no file.
    if (n < 0 && (error == ESPIPE || error == EISDIR)) return std::nullopt;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// Whether `file` of the folder is a regular file that the user may not read.
bool DeniedFile(int folderFd, const char* file, int openError) noexcept {
    if (openError != EACCES && openError != EPERM) return false;
    struct stat st{};
    return ::fstatat(folderFd, file, &st, 0) == 0 && S_ISREG(st.st_mode);
}

} // namespace

FolderNamesPtr ReadFolder(const std::string& folder, std::chrono::steady_clock::duration maxAge) {
    int error = 0;
    FolderNamesPtr names = posix::ReadFolderKept(folder, maxAge, error);
    if (!names) ThrowUnreadable(folder, error);
    return names;
}

std::optional<std::size_t> ReadHead(int folderFd, const char* file, char* buffer, std::size_t size,
                                    bool* denied) noexcept {
    const int fd = ::openat(folderFd, file, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (denied) *denied = DeniedFile(folderFd, file, errno);
        return std::nullopt;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    return ReadOpened(fd, buffer, size);
}

std::optional<std::size_t> ReadPlainHead(int folderFd, const char* file, char* buffer, std::size_t size,
                                         bool* denied) noexcept {
    // Not a link (O_NOFOLLOW refuses one) and, opened without waiting, not
    // a pipe that pread could read; a device node cannot take the name
    // without a privilege the folder's owner does not have.
    const int fd = ::openat(folderFd, file, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        if (denied) *denied = DeniedFile(folderFd, file, errno);
        return std::nullopt;
    }
    return ReadOpened(fd, buffer, size);
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

std::optional<std::size_t> FolderHandle::Head(const FolderNames& names, std::size_t index, const std::string& path,
                                              char* buffer, std::size_t size, bool* denied) const noexcept {
    const bool byFolder = fd_ >= 0;
    const int at = byFolder ? fd_ : AT_FDCWD;
    const std::string& file = byFolder ? names.contents.files[index] : path;
    return index < names.plainFile.size() && names.plainFile[index] ? ReadPlainHead(at, file.c_str(), buffer, size, denied)
                                                                     : ReadHead(at, file.c_str(), buffer, size, denied);
}

} // namespace marbrook::gdal
