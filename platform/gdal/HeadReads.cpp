// The first bytes of many files of one folder, read with the help of the
// machine's other cores. A listing of a folder of data files waits mostly
// on the kernel's opens and reads, and those run side by side on several
// cores; judging the bytes stays on the caller's thread.
#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>

#include "platform/gdal/detail/FolderReader.h"

namespace marbrook::gdal {

namespace {

// Files are read in blocks: a reader takes a whole block, and the caller
// waits on one block at a time.
constexpr std::size_t kHeadBlock = 16;
// Below this, handing the work out costs more than it saves.
constexpr std::size_t kHeadsWorthHelping = 2 * kHeadBlock;
// Blocks read ahead of the caller's visits, per reader: enough to keep the
// helpers busy while the caller judges a block, few enough that the bytes
// held stay a few hundred kilobytes whatever the folder holds.
constexpr std::size_t kBlocksAheadPerReader = 4;
constexpr unsigned kMostHelpers = 3;
// How long an idle helper waits for the next list before it ends: the
// stores of one listing follow each other within that. No longer: while a
// thread of the process lives on another core, every change of the
// process's memory map (a large free, a file unmapped) must be announced to
// that core, and on a virtual machine that made opening a thousand
// shapefiles right after a listing take twice as long.
constexpr auto kHelperLingers = std::chrono::milliseconds(1);

// The cores this process may run on, less the caller's own.
unsigned HelpersWanted() noexcept {
    cpu_set_t set;
    CPU_ZERO(&set);
    const int cores = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    return cores > 1 ? std::min(static_cast<unsigned>(cores - 1), kMostHelpers) : 0;
}

// The shared state of one list's reading: which block is read by whom, and
// the ring of buffers the blocks are read into.
class HeadBlocks {
public:
    HeadBlocks(const FolderHandle& folder, const FolderNames& names, std::span<const std::size_t> files,
               std::size_t size, unsigned readers)
        : folder_(folder), names_(names), files_(files), size_(size),
          blocks_((files.size() + kHeadBlock - 1) / kHeadBlock), window_(kBlocksAheadPerReader * readers),
          state_(std::make_unique<std::atomic<int>[]>(blocks_)), bytes_(window_ * kHeadBlock * size),
          reads_(window_ * kHeadBlock) {}

    [[nodiscard]] std::size_t Blocks() const noexcept { return blocks_; }

    // Whether the calling thread may read block `b`: no one has taken it.
    bool Claim(std::size_t b) noexcept {
        int expected = kFree;
        return state_[b].compare_exchange_strong(expected, kReading, std::memory_order_acq_rel);
    }

    void Read(std::size_t b) noexcept {
        const std::size_t first = b * kHeadBlock;
        const std::size_t end = std::min(files_.size(), first + kHeadBlock);
        const std::size_t slot = (b % window_) * kHeadBlock;
        for (std::size_t k = first; k < end; ++k) {
            Slot& read = reads_[slot + k - first];
            read.denied = false;
            // The folder is open (ForEachHead reads alone otherwise): the
            // name is read by the folder and no path is needed.
            read.got = folder_.Head(names_, files_[k], std::string(), &bytes_[(slot + k - first) * size_], size_,
                                    &read.denied);
        }
        state_[b].store(kReady, std::memory_order_release);
        state_[b].notify_all();
    }

    [[nodiscard]] bool Ready(std::size_t b) const noexcept {
        return state_[b].load(std::memory_order_acquire) == kReady;
    }

    // Reads, while block `b` is being read by a helper, the blocks after it
    // that no one has taken and whose buffers are free: a helper the system
    // has put aside must not leave the caller idle.
    void ReadAheadOf(std::size_t b) noexcept {
        const std::size_t end = std::min(blocks_, b + window_);
        for (std::size_t c = b + 1; c < end && !Ready(b); ++c)
            if (Claim(c)) Read(c);
    }

    void WaitReady(std::size_t b) noexcept {
        for (int s = state_[b].load(std::memory_order_acquire); s != kReady; s = state_[b].load(std::memory_order_acquire))
            state_[b].wait(s, std::memory_order_acquire);
    }

    // The read of file `k` of the list, once its block is ready.
    HeadRead At(std::size_t k) const noexcept {
        const std::size_t at = ((k / kHeadBlock) % window_) * kHeadBlock + k % kHeadBlock;
        const Slot& read = reads_[at];
        HeadRead out;
        out.denied = read.denied;
        if (read.got) out.bytes = std::string_view(&bytes_[at * size_], *read.got);
        return out;
    }

    // The caller is done with block `b`: its buffers may take a later block.
    void Done(std::size_t b) noexcept {
        visited_.store(b + 1, std::memory_order_release);
        visited_.notify_all();
    }

    // Sends the helpers away: one that waits for free buffers wakes, since
    // the count it waits on moves past every block.
    void Stop() noexcept {
        stop_.store(true, std::memory_order_release);
        visited_.store(kAllVisited, std::memory_order_release);
        visited_.notify_all();
    }

    // Helper `h` of `helpers` (1 ...): reads every block of its stripe
    // (h, h + helpers + 1, ...) that the caller has not taken, once its
    // buffers are free; the caller's own stripe starts at 0. A stripe each
    // rather than the next free block: the caller, which claims a block only
    // when it comes to it, would otherwise find every block taken and read
    // none itself.
    void Help(unsigned h, unsigned helpers) noexcept {
        for (std::size_t b = h; b < blocks_; b += helpers + 1) {
            for (std::size_t v = visited_.load(std::memory_order_acquire); b >= v + window_;
                 v = visited_.load(std::memory_order_acquire))
                visited_.wait(v, std::memory_order_acquire);
            if (stop_.load(std::memory_order_acquire)) return;
            if (Claim(b)) Read(b);
        }
    }

private:
    enum : int { kFree = 0, kReading = 1, kReady = 2 };
    static constexpr std::size_t kAllVisited = SIZE_MAX / 2;

    struct Slot {
        std::optional<std::size_t> got;
        bool denied = false;
    };

    const FolderHandle& folder_;
    const FolderNames& names_;
    std::span<const std::size_t> files_;
    std::size_t size_;
    std::size_t blocks_;
    std::size_t window_;
    std::unique_ptr<std::atomic<int>[]> state_;
    std::vector<char> bytes_;
    std::vector<Slot> reads_;
    std::atomic<std::size_t> visited_{0};
    std::atomic<bool> stop_{false};
};

// The helper threads of the process. Starting a thread costs about what
// reading a hundred heads on it saves, and a listing asks three stores one
// after the other: the helpers wait a moment for the next list before they
// end. One list is helped at a time; a list that comes while another is
// being helped is read by its caller alone.
class HelperPool {
public:
    static HelperPool& Get() noexcept;

    // Offers the stripes 1 ... `helpers` of `blocks` to helper threads,
    // started when too few are waiting; false when another list is being
    // helped. A stripe no helper takes is read by the caller.
    bool Lend(HeadBlocks& blocks, unsigned helpers) noexcept {
        const std::lock_guard lock(m_);
        if (job_) return false;
        job_ = &blocks;
        stripes_ = helpers;
        nextStripe_ = 1;
        if (idle_ < helpers) {
            // Started with every signal blocked, which they keep: a signal
            // meant for the host (an interrupt, a child's end) is never
            // handled on a thread of ours.
            sigset_t all;
            sigset_t before;
            ::sigfillset(&all);
            ::pthread_sigmask(SIG_SETMASK, &all, &before);
            for (unsigned have = idle_; have < helpers; ++have) {
                try {
                    std::thread helper([this] { Run(); });
                    // Named here rather than by itself: it shows as ours
                    // from the moment it exists.
                    ::pthread_setname_np(helper.native_handle(), "marbrook-heads");
                    helper.detach();
                } catch (...) {
                    break; // no thread to be had: the caller reads more itself
                }
            }
            ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        }
        wake_.notify_all();
        return true;
    }

    // Takes the list back once `blocks.Stop()` has sent its helpers away:
    // returns when no helper is in it any more.
    void Release() noexcept {
        std::unique_lock lock(m_);
        nextStripe_ = stripes_ + 1;
        left_.wait(lock, [this] { return inJob_ == 0; });
        job_ = nullptr;
    }

private:
    void Run() noexcept {
        std::unique_lock lock(m_);
        for (;;) {
            ++idle_;
            const bool work =
                wake_.wait_for(lock, kHelperLingers, [this] { return job_ != nullptr && nextStripe_ <= stripes_; });
            --idle_;
            if (!work) return;
            HeadBlocks* const job = job_;
            const unsigned stripe = nextStripe_++;
            const unsigned stripes = stripes_;
            ++inJob_;
            lock.unlock();
            job->Help(stripe, stripes);
            lock.lock();
            if (--inJob_ == 0) left_.notify_all();
        }
    }

    std::mutex m_;
    std::condition_variable wake_;
    std::condition_variable left_;
    HeadBlocks* job_ = nullptr;
    unsigned stripes_ = 0;
    unsigned nextStripe_ = 1;
    unsigned inJob_ = 0;
    unsigned idle_ = 0;
};

// Never freed: a helper may still wait on it while the process ends.
std::atomic<HelperPool*> gPool{nullptr};

HelperPool& HelperPool::Get() noexcept {
    static const bool made = [] {
        gPool.store(new HelperPool, std::memory_order_release);
        // A forked child has none of the parent's threads, and the parent's
        // lock may be held in it for ever: it starts afresh, in the same
        // place (no thread of the child knows the old one).
        ::pthread_atfork(nullptr, nullptr, [] { new (gPool.load(std::memory_order_acquire)) HelperPool; });
        return true;
    }();
    static_cast<void>(made);
    return *gPool.load(std::memory_order_acquire);
}

} // namespace

void ForEachHead(const FolderHandle& folder, const FolderNames& names, std::span<const std::size_t> files,
                 const std::string& folderPath, std::size_t size,
                 const std::function<void(std::size_t, const HeadRead&)>& visit) {
    const unsigned helpers = files.size() >= kHeadsWorthHelping && folder.IsOpen() ? HelpersWanted() : 0;
    if (helpers == 0) {
        std::vector<char> buffer(size);
        // The full path is read only when the folder could not be opened.
        std::string path = folderPath;
        for (std::size_t k = 0; k < files.size(); ++k) {
            if (!folder.IsOpen()) {
                path.resize(folderPath.size());
                path += names.contents.files[files[k]];
            }
            HeadRead read;
            const auto got = folder.Head(names, files[k], path, buffer.data(), size, &read.denied);
            if (got) read.bytes = std::string_view(buffer.data(), *got);
            visit(k, read);
        }
        return;
    }
    HeadBlocks blocks(folder, names, files, size, helpers + 1);
    HelperPool& pool = HelperPool::Get();
    // The helpers leave the list however the caller leaves it, a throwing
    // `visit` included, before the list is gone.
    struct Lent {
        HeadBlocks& blocks;
        HelperPool& pool;
        bool lent;
        ~Lent() {
            blocks.Stop();
            if (lent) pool.Release();
        }
    } const lent{blocks, pool, pool.Lend(blocks, helpers)};
    for (std::size_t b = 0; b < blocks.Blocks(); ++b) {
        // The caller reads a block no helper has taken rather than wait for
        // one to come to it.
        if (blocks.Claim(b)) {
            blocks.Read(b);
        } else {
            blocks.ReadAheadOf(b);
            blocks.WaitReady(b);
        }
        const std::size_t end = std::min(files.size(), (b + 1) * kHeadBlock);
        for (std::size_t k = b * kHeadBlock; k < end; ++k) visit(k, blocks.At(k));
        blocks.Done(b);
    }
}

} // namespace marbrook::gdal
