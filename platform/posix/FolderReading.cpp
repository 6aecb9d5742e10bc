#include "platform/posix/FolderReading.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace marbrook::posix {

namespace {

struct KeptNames {
    std::string folder;
    FolderStamp stamp;
    std::chrono::steady_clock::time_point readAt;
    FolderNamesPtr names;
};

// Kept per thread: a listing runs on one thread from its first look at the
// folder to its last store, and two threads never wait for each other here.
thread_local KeptNames tKept;

// Returns 0, or the errno of the failure that stopped the reading.
int ReadNames(const std::string& path, FolderNames& out) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), &::closedir);
    if (!dir) return errno;
    const int dfd = ::dirfd(dir.get());
    errno = 0;
    while (const dirent* e = ::readdir(dir.get())) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        bool folder = e->d_type == DT_DIR;
        // A link counts as what it points to (a dangling one as a file).
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st{};
            folder = ::fstatat(dfd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (folder) {
            out.contents.folders.emplace_back(name);
        } else {
            out.contents.files.emplace_back(name);
            out.plainFile.push_back(e->d_type == DT_REG);
        }
        if (e->d_type != DT_REG) out.notPlain.emplace_back(name);
        errno = 0;
    }
    return errno;
}

} // namespace

bool FolderStamp::Settled() const noexcept {
    constexpr std::int64_t kCoarseClockMargin = 3; // seconds
    timespec wall{};
    ::clock_gettime(CLOCK_REALTIME, &wall);
    return wall.tv_sec - modified.tv_sec >= kCoarseClockMargin;
}

FolderNamesPtr ReadFolderKept(const std::string& folder, std::chrono::steady_clock::duration maxAge, int& error) {
    error = 0;
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) {
        error = errno;
        return nullptr;
    }
    const FolderStamp stamp = FolderStamp::Of(st);
    const auto now = std::chrono::steady_clock::now();
    if (tKept.names && tKept.folder == folder && tKept.stamp == stamp && now - tKept.readAt < maxAge) return tKept.names;

    auto names = std::make_shared<FolderNames>();
    if (const int failed = ReadNames(folder, *names)) {
        error = failed;
        return nullptr;
    }
    if (stamp.Settled()) {
        tKept = KeptNames{folder, stamp, now, names};
    } else {
        tKept = KeptNames{}; // changed a moment ago: the next reading reads again
    }
    return names;
}

} // namespace marbrook::posix
