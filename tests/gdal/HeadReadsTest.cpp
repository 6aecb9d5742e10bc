// Reading the first bytes of a folder's files with helper threads: every
// file's own bytes reach the listing, in order, whatever the count and
// whoever read them; a listing that stops half-way, two listings at once
// and a forked child never wait for ever.
#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdal/detail/FolderReader.h"
#include "platform/posix/FolderReading.h"
#include "tests/doubles/Processes.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

using testing::TempDir;
using testing::WriteFile;

// A folder of `count` files, each holding its own number, with a few
// entries among them that must read as no file (a pipe, a missing file, a
// folder) or as empty.
struct NumberedFolder {
    TempDir dir;
    gdal::FolderNames names;
    std::vector<std::optional<std::string>> contents; // per file: what it holds, or none when it is no file

    // What a read of `size` bytes must give of file `i`.
    std::optional<std::string> Head(std::size_t i, std::size_t size) const {
        return contents[i] ? std::optional<std::string>(contents[i]->substr(0, size)) : std::nullopt;
    }

    explicit NumberedFolder(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::string name = "f" + std::to_string(i) + ".dat";
            std::optional<std::string> head = "head of " + std::to_string(i) + std::string(i % 7, '.') + std::string(200, 'z');
            if (i % 97 == 5) {
                ::mkfifo((dir / name).c_str(), 0644);
                head.reset();
            } else if (i % 97 == 40) {
                std::filesystem::create_directory(dir / name);
                head.reset();
            } else if (i % 97 == 70) {
                head.reset(); // missing: listed by an older reading
            } else if (i % 97 == 90) {
                WriteFile(dir / name, "");
                head = "";
            } else {
                WriteFile(dir / name, *head);
            }
            names.contents.files.push_back(name);
            names.plainFile.push_back(i % 2 == 0);
            contents.push_back(head);
        }
    }
};

// What each visit saw: the place it was handed and the bytes.
struct Seen {
    std::size_t k;
    std::optional<std::string> bytes;
};

std::vector<Seen> ReadAll(const gdal::FolderHandle& folder, const NumberedFolder& f, std::size_t size,
                          const std::vector<std::size_t>& files) {
    std::vector<Seen> seen;
    gdal::ForEachHead(folder, f.names, files, f.dir.Path() + "/", size, [&](std::size_t k, const gdal::HeadRead& read) {
        seen.push_back({k, read.bytes ? std::optional<std::string>(std::string(*read.bytes)) : std::nullopt});
    });
    return seen;
}

std::vector<std::size_t> Every(std::size_t count) {
    std::vector<std::size_t> all(count);
    std::iota(all.begin(), all.end(), 0);
    return all;
}

// Short lists are read by the caller alone, long ones with helpers; a folder
// that cannot be opened is read by full paths. Each way, each file's own
// bytes arrive in order, cut at the size asked.
TEST(HeadReads, EveryFileArrivesInOrderWithItsOwnBytes) {
    testing::Watchdog dog(120, "reading the heads of numbered folders");
    for (const std::size_t count : {0u, 1u, 31u, 33u, 700u, 5000u}) {
        const NumberedFolder f(count);
        for (const bool byFolder : {true, false}) {
            const gdal::FolderHandle folder(byFolder ? f.dir.Path() : "/nonexistent/folder");
            // Every other file, so that the list's places differ from the
            // folder's indices.
            std::vector<std::size_t> odd;
            for (std::size_t i = 1; i < count; i += 2) odd.push_back(i);
            for (const auto& files : {Every(count), odd}) {
                for (const std::size_t size : {std::size_t{12}, std::size_t{64}}) {
                    SCOPED_TRACE(std::to_string(count) + " files, " + std::to_string(files.size()) + " read, " +
                                 (byFolder ? "by the folder" : "by path") + ", " + std::to_string(size) + " bytes");
                    const std::vector<Seen> seen = ReadAll(folder, f, size, files);
                    ASSERT_EQ(seen.size(), files.size());
                    for (std::size_t k = 0; k < seen.size(); ++k) {
                        ASSERT_EQ(seen[k].k, k);
                        ASSERT_EQ(seen[k].bytes, f.Head(files[k], size)) << f.names.contents.files[files[k]];
                    }
                }
            }
        }
    }
}

// Files read while the folder's names were read are visited with those
// bytes, in their places among the files read now, and once: the next
// listing reads them anew. A read shorter than now asked serves only for a
// file that was shorter still.
TEST(HeadReads, EarlyReadsAreVisitedOnceInTheirPlaces) {
    NumberedFolder f(300);
    std::vector<posix::EarlyHeads::Head> heads;
    std::vector<std::unique_ptr<char[]>> storage;
    // Every third file, read early in one of three ways: 64 bytes of a
    // longer file, all 5 bytes of a short one, or as no file.
    const auto way = [](std::size_t i) { return i % 3 == 0 ? static_cast<int>(i / 3 % 3) : -1; };
    const auto earlyBytes = [&](std::size_t i) {
        return way(i) == 0 ? "early " + std::to_string(i) + std::string(64, '-') : "e" + std::to_string(i % 1000 + 1000);
    };
    for (std::size_t i = 0; i < 300; ++i) {
        if (way(i) < 0) continue;
        const std::string bytes = earlyBytes(i).substr(0, 64);
        storage.push_back(std::make_unique<char[]>(64));
        std::copy(bytes.begin(), bytes.end(), storage.back().get());
        posix::EarlyHeads::Head head;
        head.file = i;
        head.asked = 64;
        if (way(i) != 2) head.got = bytes.size();
        head.bytes = storage.back().get();
        heads.push_back(head);
    }
    f.names.early = std::make_shared<const posix::EarlyHeads>(std::move(heads), std::move(storage));
    const gdal::FolderHandle folder(f.dir.Path());
    // What a listing asking `size` bytes must see of file `i` when the early
    // read serves it.
    const auto early = [&](std::size_t i, std::size_t size) -> std::optional<std::string> {
        if (way(i) == 2) return std::nullopt;
        return earlyBytes(i).substr(0, std::min<std::size_t>(size, 64));
    };
    struct Pass {
        std::size_t size;
        std::vector<int> served; // the ways of early read that serve this pass
    };
    // 100 bytes: only the short file's read and the non-file serve; then 12
    // bytes: the 64-byte reads, left untaken, serve; then nothing is left.
    for (const Pass& pass : {Pass{100, {1, 2}}, Pass{12, {0}}, Pass{12, {}}}) {
        SCOPED_TRACE(std::to_string(pass.size) + " bytes");
        const std::vector<Seen> seen = ReadAll(folder, f, pass.size, Every(300));
        ASSERT_EQ(seen.size(), 300u);
        for (std::size_t i = 0; i < 300; ++i) {
            ASSERT_EQ(seen[i].k, i);
            const bool served = std::find(pass.served.begin(), pass.served.end(), way(i)) != pass.served.end();
            EXPECT_EQ(seen[i].bytes, served ? early(i, pass.size) : f.Head(i, pass.size)) << "file " << i;
        }
    }
}

// A big folder read through the reading that lists it, on several threads
// at once: every name once, and every file's own bytes, whichever were read
// while the names were; a file changed after a listing is read anew by the
// next listing of the same reading.
TEST(HeadReads, AFolderReadWhileItsNamesAreReadGivesEveryFileItsOwnBytes) {
    testing::Watchdog dog(120, "reading heads while reading a folder's names");
    gdal::ReadHeadsWhileListing();
    constexpr std::size_t kShapes = 3000;
    constexpr std::size_t kOthers = 600;
    const auto content = [](std::size_t i, const std::string& word) {
        return word + " " + std::to_string(i) + std::string(120 + i % 50, '#');
    };
    std::vector<TempDir> dirs(3);
    for (TempDir& dir : dirs) {
        for (std::size_t i = 0; i < kShapes; ++i) WriteFile(dir / ("s" + std::to_string(i) + ".shp"), content(i, "shape"));
        for (std::size_t i = 0; i < kOthers; ++i) WriteFile(dir / ("o" + std::to_string(i) + ".txt"), "other");
    }
    std::vector<std::string> failures(dirs.size());
    std::vector<std::thread> listings;
    for (std::size_t t = 0; t < dirs.size(); ++t)
        listings.emplace_back([&, t] {
            const TempDir& dir = dirs[t];
            const gdal::FolderNamesPtr names = gdal::ReadFolder(dir.Path());
            const auto& files = names->contents.files;
            std::vector<std::string> sorted = files;
            std::sort(sorted.begin(), sorted.end());
            if (files.size() != kShapes + kOthers || std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
                failures[t] = "listed " + std::to_string(files.size()) + " names";
                return;
            }
            std::vector<std::size_t> shapes;
            for (std::size_t i = 0; i < files.size(); ++i)
                if (files[i].front() == 's') shapes.push_back(i);
            const gdal::FolderHandle folder(dir.Path());
            for (const std::string word : {"shape", "changed"}) {
                std::size_t same = 0;
                gdal::ForEachHead(folder, *names, shapes, dir.Path() + "/", 100, [&](std::size_t k, const gdal::HeadRead& read) {
                    const std::size_t number = std::stoul(files[shapes[k]].substr(1));
                    if (read.bytes && *read.bytes == content(number, word).substr(0, 100)) ++same;
                });
                if (same != kShapes) {
                    failures[t] = word + ": " + std::to_string(same) + " heads as written";
                    return;
                }
                for (std::size_t i = 0; i < kShapes; ++i)
                    WriteFile(dir / ("s" + std::to_string(i) + ".shp"), content(i, "changed"));
            }
        });
    for (std::thread& l : listings) l.join();
    for (const std::string& failure : failures) EXPECT_EQ(failure, "");
}

// A listing that gives up half-way (its judging throws) gets its failure
// back, and the next listings still read everything: no helper is left
// holding the work or waiting on a list that is gone.
TEST(HeadReads, AListingThatStopsHalfWayLeavesTheHelpersFree) {
    testing::Watchdog dog(60, "reading heads after a listing that stopped half-way");
    const NumberedFolder f(3000);
    const gdal::FolderHandle folder(f.dir.Path());
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::size_t visited = 0;
        EXPECT_THROW(gdal::ForEachHead(folder, f.names, Every(3000), f.dir.Path() + "/", 32,
                                       [&](std::size_t k, const gdal::HeadRead&) {
                                           ++visited;
                                           if (k == 100u + static_cast<std::size_t>(round) * 97u)
                                               throw std::runtime_error("enough");
                                       }),
                     std::runtime_error);
        EXPECT_EQ(visited, 101u + static_cast<std::size_t>(round) * 97u);
        EXPECT_EQ(ReadAll(folder, f, 32, Every(3000)).size(), 3000u);
    }
}

// Two listings at once (the dialog's and the host's own): both read every
// file, whichever of them the helpers serve.
TEST(HeadReads, TwoListingsAtOnceBothReadEverything) {
    testing::Watchdog dog(60, "two listings reading heads at once");
    const NumberedFolder f(2000);
    const gdal::FolderHandle folder(f.dir.Path());
    std::vector<std::size_t> counts(4);
    std::vector<std::thread> listings;
    for (std::size_t t = 0; t < counts.size(); ++t)
        listings.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) {
                std::size_t same = 0;
                const std::vector<Seen> seen = ReadAll(folder, f, 64, Every(2000));
                for (std::size_t k = 0; k < seen.size(); ++k)
                    if (seen[k].k == k && seen[k].bytes == f.Head(k, 64)) ++same;
                counts[t] += same;
            }
        });
    for (std::thread& l : listings) l.join();
    for (const std::size_t c : counts) EXPECT_EQ(c, 10u * 2000u);
}

// A host that forks after a listing (to start another program, say) and
// lists in the child: the parent's helpers are not in the child, and the
// child must not wait for them.
TEST(HeadReads, AForkedChildListsWithoutTheParentsHelpers) {
    testing::Watchdog dog(60, "a forked child reading heads");
    const NumberedFolder f(2000);
    const gdal::FolderHandle folder(f.dir.Path());
    ASSERT_EQ(ReadAll(folder, f, 16, Every(2000)).size(), 2000u); // the helpers were started
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool whole = ReadAll(folder, f, 16, Every(2000)).size() == 2000u;
        ::_exit(whole ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// The helpers take none of the host's signals: every signal is blocked on
// them, so an interrupt or a child's end reaches a thread of the host.
TEST(HeadReads, TheHelpersBlockEverySignal) {
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (::sched_getaffinity(0, sizeof cores, &cores) != 0 || CPU_COUNT(&cores) < 2)
        GTEST_SKIP() << "this process may use one core only: no helper thread is started";
    const NumberedFolder f(2000);
    const gdal::FolderHandle folder(f.dir.Path());
    // Looked at half-way through a listing, while its helpers are there.
    int helpers = 0;
    std::vector<std::string> masks;
    gdal::ForEachHead(folder, f.names, Every(2000), f.dir.Path() + "/", 16, [&](std::size_t k, const gdal::HeadRead&) {
        if (k != 1000) return;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::ifstream comm(task.path() / "comm");
            std::string name;
            std::getline(comm, name);
            if (name != "marbrook-heads") continue;
            ++helpers;
            std::ifstream status(task.path() / "status");
            std::string line;
            while (std::getline(status, line))
                if (line.rfind("SigBlk:", 0) == 0) masks.push_back(line);
        }
    });
    EXPECT_GE(helpers, 1);
    for (const std::string& line : masks) {
        const unsigned long long blocked = std::stoull(line.substr(7), nullptr, 16);
        for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGCHLD, SIGWINCH}) {
            EXPECT_TRUE(blocked >> (signal - 1) & 1u) << "signal " << signal << " is not blocked: " << line;
        }
    }
}

} // namespace
} // namespace marbrook
