#pragma once
// How the GDAL back end reads folders and the first bytes of files: one
// cached reading of a folder's names that every store and every opening
// shares, and reads that never wait on a pipe.
#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace marbrook::gdal {

// What tells that a folder has not changed since it was read: any entry
// added, removed or renamed changes its modification time, and a
// modification time put back changes its status-change time.
struct FolderStamp {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    timespec changed{};

    static FolderStamp Of(const struct stat& st) noexcept { return {st.st_dev, st.st_ino, st.st_mtim, st.st_ctim}; }
    bool operator==(const FolderStamp& o) const noexcept {
        return device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
    // Whether what was read of the folder may be kept: its modification time
    // is trusted only when it lies well before the read, since a file system
    // stamps times with a coarse clock and an entry added in the same tick as
    // the previous change would not show.
    [[nodiscard]] bool Settled() const noexcept;
};

// The names of a folder as one reading found them.
struct FolderNames {
    sys::FolderContents contents;
    // The names whose entries are not plain files: folders, links, pipes,
    // devices (a link may point to anything).
    std::vector<std::string> notPlain;
};
using FolderNamesPtr = std::shared_ptr<const FolderNames>;

// A listing reads the folder for every store, and opening a thousand
// datasets of one folder looks at its names a thousand times; a folder of
// 90 000 files would be read again each time. The names read last on this
// thread serve every reading of the same folder while its stamp is unchanged
// and settled, and while they are younger than `maxAge`.
inline constexpr auto kListingAge = std::chrono::seconds(1);
inline constexpr auto kAnyAge = std::chrono::steady_clock::duration::max();

// The names of `folder`; PlatformError 76 when it does not exist, 70 when it
// cannot be read.
FolderNamesPtr ReadFolder(const std::string& folder, std::chrono::steady_clock::duration maxAge = kListingAge);

// Up to `size` first bytes of the file `file` of the folder open as
// `folderFd` (AT_FDCWD: `file` is a path) into `buffer`, with one read. The
// number of bytes read (0 when the file cannot be read); none when `file` is
// not a regular file (a pipe, a device, a folder), which no one may read for
// a listing: a pipe would wait for a writer for ever. `denied` is set for a
// regular file that may not be read.
std::optional<std::size_t> ReadHead(int folderFd, const std::string& file, char* buffer, std::size_t size,
                                    bool* denied = nullptr) noexcept;
// Up to `n` first bytes of the regular file `path`, a `what` ("drawing");
// a failure that says why it cannot be read: missing or not a file (53), or
// not readable (70).
std::string ReadPrefixOrThrow(const std::string& path, std::size_t n, const std::string& what);

// A folder open for reading its files by name: a listing reads the head of
// thousands of files, and opening them by the folder spares walking the
// folder's path for each. When it cannot be opened, files are read by their
// full paths (ReadHead with AT_FDCWD).
class FolderHandle {
public:
    explicit FolderHandle(const std::string& folder);
    ~FolderHandle();
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    [[nodiscard]] bool IsOpen() const noexcept { return fd_ >= 0; }
    [[nodiscard]] int Fd() const noexcept { return fd_; }

private:
    int fd_;
};

} // namespace marbrook::gdal
