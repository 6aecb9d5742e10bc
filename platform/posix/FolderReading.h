#pragma once
// One reading of a folder's names, shared by everything that looks at the
// folder while it is unchanged: the system service's listing of files and
// subfolders, and every store of the GIS back end (shapefiles, rasters,
// drawings, data files) that the same listing asks. A folder of 100 000
// names is read once per listing, not once per store.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace marbrook::posix {

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

// The first bytes of some files of a folder, read on another core while
// the folder's names were still being read: reading the names of a big
// folder takes as long as opening a few hundred files, and a listing then
// finds those files already read. Each read is handed out once, to the
// listing that came with the reading; a later listing reads the file again
// and sees what it holds by then.
class EarlyHeads {
public:
    struct Head {
        std::size_t file = 0;  // its index in the reading's files
        std::size_t asked = 0; // how many bytes were asked
        // The bytes read; none when the file was no regular file.
        std::optional<std::size_t> got;
        bool denied = false; // a regular file the user may not read
        const char* bytes = nullptr;
    };

    // `heads` in the order of their files; `storage` holds their bytes.
    EarlyHeads(std::vector<Head> heads, std::vector<std::unique_ptr<char[]>> storage);

    // The early read of file `file` when there is one of at least `size`
    // bytes (or of the whole file) that no one has taken yet; it is taken
    // then. The bytes live as long as this.
    [[nodiscard]] std::optional<Head> Take(std::size_t file, std::size_t size) const noexcept;

private:
    std::vector<Head> heads_;
    std::unique_ptr<std::atomic<bool>[]> taken_;
    std::vector<std::unique_ptr<char[]>> storage_;
};

// The names of a folder as one reading found them, in the order the file
// system gave them.
struct FolderNames {
    sys::FolderContents contents;
    // The names whose entries are not plain files: folders, links, pipes,
    // devices (a link may point to anything).
    std::vector<std::string> notPlain;
    // For each of contents.files: whether the folder said it is a plain file
    // (not a link, not a pipe or a device). Such a file is read without
    // asking first what it is; any other is looked at before it is read.
    std::vector<bool> plainFile;
    // What was read of its files while the names were read, if anything.
    std::shared_ptr<const EarlyHeads> early;
};
using FolderNamesPtr = std::shared_ptr<const FolderNames>;

// Work on a folder's files that starts while the reading of its names goes
// on. Its calls come on the reading's thread.
class ReadingWatch {
public:
    virtual ~ReadingWatch() = default;
    // More files were just found: `names` holds every name found so far.
    virtual void Found(const FolderNames& names) = 0;
    // The reading has ended (the folder is still open): what was read of
    // its files, kept with its names.
    virtual std::shared_ptr<const EarlyHeads> Ended() noexcept = 0;
};
// Starts a watch of the reading of the folder open as `folderFd`, or none.
using ReadingWatcher = std::unique_ptr<ReadingWatch> (*)(int folderFd) noexcept;
// What watches every reading of a folder with more names than the kernel
// gives in one first batch (about a hundred) from now on; none stops
// watching.
void WatchReadings(ReadingWatcher watcher) noexcept;

// How long a reading serves the readings after it: a listing reads the
// folder for every store; opening a thousand datasets of one folder looks at
// its names a thousand times.
inline constexpr auto kListingAge = std::chrono::seconds(1);
inline constexpr auto kAnyAge = std::chrono::steady_clock::duration::max();

// The names of `folder`: the reading kept on this thread when it is of the
// same folder, its stamp is unchanged and settled, and it is younger than
// `maxAge`; else a new reading, kept in its place when the folder has
// settled. Sets `error` to the errno of a failure (the folder is missing or
// cannot be read) and returns none then.
FolderNamesPtr ReadFolderKept(const std::string& folder, std::chrono::steady_clock::duration maxAge, int& error);

} // namespace marbrook::posix
