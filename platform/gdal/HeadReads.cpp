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
#include <cstring>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "platform/gdal/detail/FileStores.h"
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
// How long an idle helper waits for the next list before it ends, spinning
// on its core: the stores of one listing follow each other within that. No
// longer: while a thread of the process lives on another core, every change
// of the process's memory map (a large free, a file unmapped) must be
// announced to that core, and on a virtual machine that made opening a
// thousand shapefiles right after a listing take twice as long.
constexpr auto kHelperLingers = std::chrono::milliseconds(1);

// How long a thread waiting on another spins on its core before it sleeps.
// A thread put to sleep on a virtual machine's idle core takes tens of
// microseconds to run again when woken, now and then milliseconds: longer
// than most waits here last.
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(200);

inline void CpuRelax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield" ::: "memory");
#endif
}

// Spins until `done()` holds or `budget` has passed; whether it holds. Now
// and then it offers its core to a thread waiting for one: on a machine
// whose cores are all busy, the spinning must not keep the thread it waits
// for from running.
template <class Done>
bool SpinUntil(const Done& done, std::chrono::steady_clock::duration budget) noexcept {
    const auto end = std::chrono::steady_clock::now() + budget;
    for (unsigned i = 1;; ++i) {
        if (done()) return true;
        CpuRelax();
        if (i % 64 == 0) {
            if (std::chrono::steady_clock::now() >= end) return done();
            ::sched_yield();
        }
    }
}

// Waits until the atomic `value` no longer holds `old`: on the core first,
// then asleep.
template <class T>
void WaitChange(const std::atomic<T>& value, T old) noexcept {
    if (SpinUntil([&] { return value.load(std::memory_order_acquire) != old; }, kSpinBeforeSleep)) return;
    value.wait(old, std::memory_order_acquire);
}

// The cores this process may run on, less the caller's own.
unsigned HelpersWanted() noexcept {
    cpu_set_t set;
    CPU_ZERO(&set);
    const int cores = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    return cores > 1 ? std::min(static_cast<unsigned>(cores - 1), kMostHelpers) : 0;
}

// Work the helper threads share: each takes one stripe of it.
class PoolJob {
public:
    // Does stripe `stripe` (1 ... `stripes`) of the work; returns when it is
    // done or the job was stopped.
    virtual void Help(unsigned stripe, unsigned stripes) noexcept = 0;

protected:
    ~PoolJob() = default;
};

// The shared state of one list's reading: which block is read by whom, and
// the ring of buffers the blocks are read into.
class HeadBlocks final : public PoolJob {
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
            WaitChange(state_[b], s);
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
    void Help(unsigned h, unsigned helpers) noexcept override {
        for (std::size_t b = h; b < blocks_; b += helpers + 1) {
            for (std::size_t v = visited_.load(std::memory_order_acquire); b >= v + window_;
                 v = visited_.load(std::memory_order_acquire))
                WaitChange(visited_, v);
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
    bool Lend(PoolJob& job, unsigned helpers) noexcept {
        const std::lock_guard lock(m_);
        if (job_) return false;
        job_ = &job;
        stripes_ = helpers;
        nextStripe_ = 1;
        offers_.fetch_add(1, std::memory_order_release);
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
                    std::thread([this] { Run(); }).detach();
                } catch (...) {
                    break; // no thread to be had: the caller reads more itself
                }
            }
            ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        }
        return true;
    }

    // Takes the job back once it has been stopped (HeadBlocks::Stop()):
    // returns when no helper is in it any more. A stopped helper is one
    // read away from leaving.
    void Release() noexcept {
        {
            const std::lock_guard lock(m_);
            nextStripe_ = stripes_ + 1; // no helper joins from now on
        }
        if (!SpinUntil([this] { return inJob_.load(std::memory_order_acquire) == 0; }, kSpinBeforeSleep)) {
            std::unique_lock lock(m_);
            left_.wait(lock, [this] { return inJob_.load(std::memory_order_acquire) == 0; });
        }
        const std::lock_guard lock(m_);
        job_ = nullptr;
    }

private:
    [[nodiscard]] bool Offered() const noexcept { return job_ != nullptr && nextStripe_ <= stripes_; }

    // Takes stripes of the jobs lent, and waits for the next one on its
    // core: a thread woken from sleep would start on a list when the list
    // is half read.
    void Run() noexcept {
        // Named by itself, which costs the caller nothing: a helper is
        // started while the caller reads a folder.
        ::pthread_setname_np(::pthread_self(), "marbrook-heads");
        std::unique_lock lock(m_);
        for (;;) {
            if (!Offered()) {
                ++idle_;
                const unsigned seen = offers_.load(std::memory_order_relaxed);
                lock.unlock();
                SpinUntil([&] { return offers_.load(std::memory_order_acquire) != seen; }, kHelperLingers);
                lock.lock();
                --idle_;
                if (!Offered()) return;
            }
            PoolJob* const job = job_;
            const unsigned stripe = nextStripe_++;
            const unsigned stripes = stripes_;
            inJob_.fetch_add(1, std::memory_order_relaxed);
            lock.unlock();
            job->Help(stripe, stripes);
            lock.lock();
            if (inJob_.fetch_sub(1, std::memory_order_release) == 1) left_.notify_all();
        }
    }

    std::mutex m_;
    std::condition_variable left_;
    PoolJob* job_ = nullptr;
    unsigned stripes_ = 0;
    unsigned nextStripe_ = 1;
    std::atomic<unsigned> inJob_{0};
    std::atomic<unsigned> offers_{0};
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

// Reads the first bytes of a folder's files on a helper thread as the
// reading of the folder's names finds them. Reading the names of 10 000
// files takes as long as opening 700 of them, and the listing that follows
// reads those files first: they are read while the caller waits on the
// kernel for the rest of the names.
class EarlyReads final : public posix::ReadingWatch, PoolJob {
public:
    explicit EarlyReads(int folderFd) noexcept : fd_(folderFd) {}
    ~EarlyReads() override { static_cast<void>(Ended()); }
    EarlyReads(const EarlyReads&) = delete;
    EarlyReads& operator=(const EarlyReads&) = delete;

    // Whether a helper will read: the pool is not busy with another list.
    bool Start() noexcept {
        lent_ = HelperPool::Get().Lend(*this, 1);
        return lent_;
    }

    // Queues the folder's files for the helper a bounded stretch ahead of
    // its reads, in the folder's order: those the reading finds while the
    // helper is behind are queued at the next batch.
    void Found(const FolderNames& names) override {
        const auto& files = names.contents.files;
        std::size_t queued = queued_.load(std::memory_order_relaxed);
        try {
            for (; next_ < files.size() && !full_.load(std::memory_order_relaxed); ++next_) {
                if (queued - read_.load(std::memory_order_acquire) >= kMostAhead) break;
                const std::size_t size = ListingHeadSize(files[next_]);
                if (size == 0) continue;
                Entry* const e = NewEntry(files[next_], size);
                if (!e) break;
                e->head.file = next_;
                e->plain = next_ < names.plainFile.size() && names.plainFile[next_];
                (last_ ? last_->next : first_) = e;
                last_ = e;
                queued_.store(++queued, std::memory_order_release);
            }
        } catch (...) {
            full_.store(true, std::memory_order_release); // no memory: the stores read the rest
        }
        signal_.fetch_add(1, std::memory_order_release);
        signal_.notify_one();
    }

    std::shared_ptr<const posix::EarlyHeads> Ended() noexcept override {
        if (ended_) return nullptr;
        ended_ = true;
        stop_.store(true, std::memory_order_release);
        signal_.fetch_add(1, std::memory_order_release);
        signal_.notify_one();
        if (lent_) HelperPool::Get().Release();
        const std::size_t read = read_.load(std::memory_order_acquire);
        if (read == 0) return nullptr;
        try {
            std::vector<posix::EarlyHeads::Head> heads;
            heads.reserve(read);
            const Entry* e = first_;
            for (std::size_t k = 0; k < read; ++k, e = e->next)
                heads.push_back(e->head);
            return std::make_shared<const posix::EarlyHeads>(std::move(heads), std::move(bytes_.blocks_));
        } catch (...) {
            return nullptr; // the stores read the files themselves
        }
    }

    void Help(unsigned, unsigned) noexcept override {
        Entry* e = nullptr;
        for (std::size_t done = 0;;) {
            if (stop_.load(std::memory_order_acquire)) return;
            if (done < queued_.load(std::memory_order_acquire)) {
                e = e ? e->next : first_;
                posix::EarlyHeads::Head& head = e->head;
                head.got = e->plain ? ReadPlainHead(fd_, e->name, e->buffer, head.asked, &head.denied)
                                    : ReadHead(fd_, e->name, e->buffer, head.asked, &head.denied);
                read_.store(++done, std::memory_order_release);
                continue;
            }
            // Nothing more will come: the helper leaves, free for the stores.
            if (full_.load(std::memory_order_acquire) && done == queued_.load(std::memory_order_acquire)) return;
            const unsigned seen = signal_.load(std::memory_order_acquire);
            if (done < queued_.load(std::memory_order_acquire) || stop_.load(std::memory_order_acquire)) continue;
            WaitChange(signal_, seen);
        }
    }

private:
    // Made by the reading's thread, read by the helper once it is counted in
    // `queued_`; the helper writes only the read's result (head.got,
    // head.denied and the bytes at `buffer`, which head.bytes points to).
    struct Entry {
        Entry* next = nullptr;
        const char* name = nullptr;
        char* buffer = nullptr;
        bool plain = false;
        posix::EarlyHeads::Head head;
    };

    // Blocks that never move and are never freed while the helper reads;
    // small enough to come from the heap rather than a mapping of their own.
    class Arena {
    public:
        explicit Arena(std::size_t mostBlocks) : most_(mostBlocks) {}
        // `n` bytes aligned for an entry, or none when the arena is full.
        char* Take(std::size_t n) {
            n = (n + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);
            if (n > kBlock) return nullptr;
            if (blocks_.empty() || used_ + n > kBlock) {
                if (blocks_.size() == most_) return nullptr;
                blocks_.emplace_back(new char[kBlock]); // not cleared: every byte is written before it is read
                used_ = 0;
            }
            char* const at = blocks_.back().get() + used_;
            used_ += n;
            return at;
        }
        std::vector<std::unique_ptr<char[]>> blocks_;

    private:
        static constexpr std::size_t kBlock = 64 * 1024;
        std::size_t most_;
        std::size_t used_ = 0;
    };

    // The entries and names on one side, written by the reading's thread;
    // the bytes on the other, written by the helper. The reading's thread
    // keeps at most kMostAhead files queued, so that what is held is what
    // the helper reads while the names are read (some 30 bytes per name of
    // a folder of a million), never more than kMostBlocks blocks of bytes.
    Entry* NewEntry(const std::string& name, std::size_t size) {
        char* const meta = entries_.Take(sizeof(Entry) + name.size() + 1);
        char* const bytes = meta ? bytes_.Take(size) : nullptr;
        if (!bytes) {
            full_.store(true, std::memory_order_release);
            return nullptr;
        }
        Entry* const e = new (meta) Entry;
        char* const copy = meta + sizeof(Entry);
        std::memcpy(copy, name.c_str(), name.size() + 1);
        e->name = copy;
        e->buffer = bytes;
        e->head.bytes = bytes;
        e->head.asked = size;
        return e;
    }

    const int fd_;
    bool lent_ = false;
    bool ended_ = false;
    static constexpr std::size_t kMostAhead = 512;
    static constexpr std::size_t kMostBlocks = 512;
    Arena entries_{kMostBlocks};
    Arena bytes_{kMostBlocks};
    std::size_t next_ = 0; // the next of the reading's files to look at
    Entry* first_ = nullptr;
    Entry* last_ = nullptr;
    std::atomic<std::size_t> queued_{0};
    std::atomic<std::size_t> read_{0};
    std::atomic<unsigned> signal_{0};
    std::atomic<bool> full_{false};
    std::atomic<bool> stop_{false};
};

std::unique_ptr<posix::ReadingWatch> WatchReading(int folderFd) noexcept {
    if (HelpersWanted() == 0) return nullptr;
    try {
        auto watch = std::make_unique<EarlyReads>(folderFd);
        if (!watch->Start()) return nullptr;
        return watch;
    } catch (...) {
        return nullptr;
    }
}

// Reads the heads of `files` that were not read early and visits every
// file in order, the early ones with what was read of them then.
void ReadAll(const FolderHandle& folder, const FolderNames& names, std::span<const std::size_t> files,
             const std::string& folderPath, std::size_t size,
             const std::function<void(std::size_t, const HeadRead&)>& visit);

} // namespace

void ReadHeadsWhileListing() noexcept { posix::WatchReadings(&WatchReading); }

void ForEachHead(const FolderHandle& folder, const FolderNames& names, std::span<const std::size_t> files,
                 const std::string& folderPath, std::size_t size,
                 const std::function<void(std::size_t, const HeadRead&)>& visit) {
    if (!names.early || files.empty()) return ReadAll(folder, names, files, folderPath, size, visit);
    // Each early read is taken here once: the files read now are the rest.
    std::vector<bool> isEarly(files.size());
    std::vector<posix::EarlyHeads::Head> taken;
    std::vector<std::size_t> rest;
    rest.reserve(files.size());
    for (std::size_t k = 0; k < files.size(); ++k) {
        if (auto head = names.early->Take(files[k], size)) {
            isEarly[k] = true;
            taken.push_back(*head);
        } else {
            rest.push_back(files[k]);
        }
    }
    std::size_t next = 0;      // the next place in `files` to visit
    std::size_t nextTaken = 0; // its early read, when it has one
    const auto visitEarly = [&] {
        for (; next < files.size() && isEarly[next]; ++next) {
            const posix::EarlyHeads::Head& head = taken[nextTaken++];
            HeadRead read;
            read.denied = head.denied;
            if (head.got) read.bytes = std::string_view(head.bytes, *head.got);
            visit(next, read);
        }
    };
    ReadAll(folder, names, rest, folderPath, size, [&](std::size_t, const HeadRead& read) {
        visitEarly();
        visit(next++, read);
    });
    visitEarly();
}

namespace {

void ReadAll(const FolderHandle& folder, const FolderNames& names, std::span<const std::size_t> files,
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

} // namespace

} // namespace marbrook::gdal
