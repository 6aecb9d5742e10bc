#include "platform/posix/FolderReading.h"

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/posix/FdCloser.h"

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

std::atomic<ReadingWatcher> gWatcher{nullptr};

// The kernel is asked for small batches of names first, so that a watch
// has files to work on at once and gets more while it works, and for larger
// ones after them.
constexpr std::size_t kFirstBatchBytes = 4 * 1024;
constexpr int kFirstBatches = 8;
constexpr std::size_t kBatchBytes = 32 * 1024;

// Returns 0, or the errno of the failure that stopped the reading.
int ReadNames(const std::string& path, FolderNames& out) {
    const FdCloser dir{::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0) return errno;
    // Ends before the folder is closed: a watch reads its files by it.
    struct Watched {
        std::unique_ptr<ReadingWatch> watch;
        FolderNames& names;
        ~Watched() {
            if (watch) names.early = watch->Ended();
        }
    } watched{nullptr, out};
    std::vector<char> buffer(kFirstBatchBytes);
    for (int batch = 0;; ++batch) {
        const ssize_t n = ::getdents64(dir.fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += e->d_reclen;
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            bool folder = e->d_type == DT_DIR;
            // A link counts as what it points to (a dangling one as a file).
            if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
                struct stat st{};
                folder = ::fstatat(dir.fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            }
            if (folder) {
                out.contents.folders.emplace_back(name);
            } else {
                out.contents.files.emplace_back(name);
                out.plainFile.push_back(e->d_type == DT_REG);
            }
            if (e->d_type != DT_REG) out.notPlain.emplace_back(name);
        }
        // A folder whose names fit in one batch is read before another
        // thread could start on its files: only a full batch says that more
        // names follow.
        constexpr std::size_t kLongestEntry = sizeof(dirent64);
        if (batch == 0 && static_cast<std::size_t>(n) + kLongestEntry > buffer.size()) {
            if (const ReadingWatcher watcher = gWatcher.load(std::memory_order_acquire)) watched.watch = watcher(dir.fd);
        }
        if (watched.watch) watched.watch->Found(out);
        if (batch + 1 == kFirstBatches) buffer.resize(kBatchBytes);
    }
}

} // namespace

EarlyHeads::EarlyHeads(std::vector<Head> heads, std::vector<std::unique_ptr<char[]>> storage)
    : heads_(std::move(heads)), taken_(std::make_unique<std::atomic<bool>[]>(heads_.size())), storage_(std::move(storage)) {}

std::optional<EarlyHeads::Head> EarlyHeads::Take(std::size_t file, std::size_t size) const noexcept {
    const auto it = std::lower_bound(heads_.begin(), heads_.end(), file, [](const Head& h, std::size_t f) { return h.file < f; });
    if (it == heads_.end() || it->file != file) return std::nullopt;
    // A read of fewer bytes than now asked serves only when the file was
    // shorter still: it holds the whole file.
    if (it->asked < size && it->got && *it->got == it->asked) return std::nullopt;
    if (taken_[static_cast<std::size_t>(it - heads_.begin())].exchange(true, std::memory_order_acq_rel)) return std::nullopt;
    Head out = *it;
    if (out.got && *out.got > size) out.got = size;
    return out;
}

void WatchReadings(ReadingWatcher watcher) noexcept { gWatcher.store(watcher, std::memory_order_release); }

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
