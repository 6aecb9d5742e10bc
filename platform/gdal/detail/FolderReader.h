#pragma once
// How the GDAL back end reads folders and the first bytes of files: one
// cached reading of a folder's names that every store and every opening
// shares, and reads that never wait on a pipe.
#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/FolderReading.h"

namespace marbrook::gdal {

using posix::FolderNames;
using posix::FolderNamesPtr;
using posix::kAnyAge;
using posix::kListingAge;

// The names of `folder`; PlatformError 76 when it does not exist, 70 when it
// cannot be read.
FolderNamesPtr ReadFolder(const std::string& folder, std::chrono::steady_clock::duration maxAge = kListingAge);

// Up to `size` first bytes of the file `file` of the folder open as
// `folderFd` (AT_FDCWD: `file` is a path) into `buffer`, with one read. The
// number of bytes read (0 when the file cannot be read); none when `file` is
// not a regular file (a pipe, a device, a folder), which no one may read for
// a listing: a pipe would wait for a writer for ever. `denied` is set for a
// regular file that may not be read.
std::optional<std::size_t> ReadHead(int folderFd, const char* file, char* buffer, std::size_t size,
                                    bool* denied = nullptr) noexcept;
// The same for a file that the folder's reading found plain (FolderNames::
// plainFile): opened without following a link and read without asking first
// what it is, since the entry was a plain file a moment ago. Whatever took
// its place since (a link, a pipe, a folder) is refused by the opening or
// by the read, and reads as none.
std::optional<std::size_t> ReadPlainHead(int folderFd, const char* file, char* buffer, std::size_t size,
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
    // Up to `size` first bytes of the file `index` of `names`, a reading of
    // this folder, as ReadHead and ReadPlainHead read them; `path` is the
    // file's full path, read when the folder could not be opened.
    std::optional<std::size_t> Head(const FolderNames& names, std::size_t index, const std::string& path, char* buffer,
                                    std::size_t size, bool* denied = nullptr) const noexcept;

private:
    int fd_;
};

// What the read of one file's first bytes gave: its bytes, or none when it
// is no regular file; `denied` for a regular file the user may not read.
struct HeadRead {
    std::optional<std::string_view> bytes;
    bool denied = false;
};

// Reads up to `size` first bytes of each file `files` (indices into the
// files of `names`, a reading of `folder`) as FolderHandle::Head reads them,
// and hands each to `visit` with its place in `files`, in that order and on
// the calling thread. The bytes live until `visit` returns.
//
// A folder of thousands of data files is mostly waiting on the kernel's
// opens and reads, which other cores can do at the same time: a long list
// is read by the calling thread and helper threads together, a bounded
// stretch ahead of `visit`, so that the memory held stays small whatever
// the count. `visit` runs only on the calling thread, so that it may use
// GDAL and the failure log; what it throws ends the helpers' part and
// reaches the caller. `folderPath` ends with '/'. A file whose first bytes
// were read while the folder's names were (FolderNames::early) is not read
// again: it is visited with those bytes, once.
void ForEachHead(const FolderHandle& folder, const FolderNames& names, std::span<const std::size_t> files,
                 const std::string& folderPath, std::size_t size,
                 const std::function<void(std::size_t, const HeadRead&)>& visit);

// From now on, reads the first bytes of the files a listing reads while
// the folder's names are read, on a helper thread (see ForEachHead).
void ReadHeadsWhileListing() noexcept;

} // namespace marbrook::gdal
