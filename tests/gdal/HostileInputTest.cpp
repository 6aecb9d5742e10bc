// Folders and files a user's disk may hold that must not break a listing:
// unreadable folders, link loops, names no one types, a huge folder, pipes,
// and files that only claim to be data. Each listing must end, list every
// entry that can be listed, report what is broken in the way the library
// defines, and leave the disk as it was.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "catalogue/basOpenDialogs.h"
#include "platform/error.h"
#include "platform/gdal/detail/FileStores.h"
#include "platform/gdal/postgis/ConnectionFile.h"
#include "support/Text.h"
#include "tests/doubles/Processes.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

using testing::GdalWorld;
using testing::TempDir;
using testing::AsNobody;
using testing::Watchdog;
using testing::WriteFile;
using namespace std::string_literals;

// One listed entry: type, shown name, full path.
using Entry = std::tuple<int, std::string, std::string>;

std::set<Entry> Entries(const DataItems& items) {
    std::set<Entry> out;
    for (std::size_t i = 1; i < items.size(); ++i) out.emplace(items[i].DataType, items[i].DataName, items[i].DataFullName);
    return out;
}

// A folder listing as the browser makes it, under a watchdog.
DataItems List(GdalWorld& w, const std::string& folder, long* count = nullptr, std::int16_t filter = 0) {
    Watchdog dog(60, "listing " + folder);
    DataItems items(1);
    std::string path = folder;
    const long n = GetSubFolderFiles(w.p, path, items, filter);
    if (count) *count = n;
    return items;
}

// Everything below a folder as lstat sees it, links not followed: what a
// listing must not change.
void SnapshotInto(const std::string& path, std::map<std::string, std::string>& out) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) {
        out[path] = "gone";
        return;
    }
    std::ostringstream s;
    s << std::oct << st.st_mode << std::dec << ' ' << st.st_size << ' ' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec;
    if (S_ISLNK(st.st_mode)) {
        std::error_code ec;
        s << " -> " << std::filesystem::read_symlink(path, ec).string();
    }
    out[path] = s.str();
    if (!S_ISDIR(st.st_mode)) return;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    ::closedir(dir);
    for (const auto& n : names) SnapshotInto(path + "/" + n, out);
}

std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    SnapshotInto(root, out);
    return out;
}

void Touch(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    ::close(fd);
}

void Link(const std::string& target, const std::string& path) {
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path << ": " << std::strerror(errno);
}

// `n` deterministic bytes that no format claims.
std::string Noise(std::size_t n, unsigned seed) {
    std::string out;
    std::uint32_t x = 0x2545f491u ^ seed;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out += static_cast<char>(x & 0xff);
    }
    out[0] = 'Z'; // never "II", "MM", "AC10", "EHFA" or an Access signature
    return out;
}

// A shapefile header (100 bytes) of shape type `type`.
std::string ShpHeader(int type) {
    std::string h(100, '\0');
    const auto be = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (24 - 8 * i)) & 0xff);
    };
    const auto le = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
    };
    be(0, 9994);
    be(24, 50);
    le(28, 1000);
    le(32, static_cast<std::uint32_t>(type));
    return h;
}

std::string Prefix(const std::string& path, std::size_t n) { return testing::ReadFile(path).substr(0, n); }

// The entry of a file or folder as the folder listing makes it.
Entry FileEntry(const std::string& folder, const std::string& name, int type) {
    return {type, text::SanitizeUtf8(name), folder + "/" + name};
}

// ---- "marbrook list" -----------------------------------------------------------

std::string ProgramPath() { return MARBROOK_CLI; }

std::string Unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char c = field[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

// The entries "marbrook list FOLDER" prints; none, and a failure of the
// test, when the program is not there. `status` receives its exit status.
std::optional<std::set<Entry>> ListByProgram(const std::string& home, const std::string& folder, int& status) {
    if (!std::filesystem::exists(ProgramPath())) {
        ADD_FAILURE() << "the marbrook program is not built at " << ProgramPath();
        return std::nullopt;
    }
    Watchdog dog(120, "marbrook list");
    TempDir io;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open((io / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::setenv("MARBROOK_HOME", home.c_str(), 1);
        const std::string program = ProgramPath();
        ::execl(program.c_str(), program.c_str(), "list", folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::set<Entry> out;
    std::istringstream lines(testing::ReadFile(io / "out"));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            fields.push_back(line.substr(from, tab - from));
        fields.push_back(line.substr(from));
        EXPECT_EQ(fields.size(), 5u) << line;
        if (fields.size() != 5) continue;
        out.emplace(std::stoi(fields[1]), Unescape(fields[3]), Unescape(fields[4]));
    }
    return out;
}

// ---- Unreadable folders ----------------------------------------------------------

TEST(HostileFolders, AnUnreadableSubfolderIsListedAndListingItFailsCleanly) {
    GdalWorld w;
    TempDir dir;
    ASSERT_EQ(::mkdir((dir / "locked").c_str(), 0755), 0);
    Touch(dir / "locked/inside.mdb");
    ASSERT_EQ(::mkdir((dir / "open").c_str(), 0755), 0);
    Touch(dir / "data.mdb");
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0); // for an unprivileged user, below
    const auto before = Snapshot(dir.Path());

    long count = -1;
    const DataItems items = List(w, dir.Path(), &count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(Entries(items), (std::set<Entry>{FileEntry(dir.Path(), "locked", dtFolder), FileEntry(dir.Path(), "open", dtFolder),
                                               FileEntry(dir.Path(), "data.mdb", dtPersonalGdb)}));
    EXPECT_TRUE(w.t.LogEntries().empty());

    // Listing the locked folder fails before the caller's list is touched.
    const auto listLocked = [&]() -> int {
        DataItems kept = items;
        std::string path = dir / "locked";
        const long n = GetSubFolderFiles(w.p, path, kept, 0);
        if (n != 0) return 1;
        if (Entries(kept) != Entries(items)) return 2;
        return 0;
    };
    const bool denied = ::access((dir / "locked").c_str(), R_OK) != 0;
    if (denied) {
        EXPECT_EQ(listLocked(), 0);
    } else {
        // Root reads every folder whatever its mode: the same listing runs
        // as an unprivileged user, who may write the error log.
        ASSERT_EQ(::chmod(w.t.home.LibraryFolder().c_str(), 0777), 0);
        const int status = AsNobody(listLocked);
        if (status == -1) {
            std::cout << "[  NOTE    ] the locked folder is readable here and no unprivileged user is available: "
                         "the failed listing is not checked\n";
        } else {
            EXPECT_EQ(status, 0) << "1: a count, 2: the previous listing changed, -2: the listing crashed";
        }
    }
    if (denied || !w.t.LogEntries().empty()) {
        const auto log = w.t.LogEntries();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.GetSubFolderFiles:103");
        EXPECT_EQ(log[0].number, errnum::kPermissionDenied);
    }
    EXPECT_EQ(Snapshot(dir.Path()), before);
}

// ---- Links ------------------------------------------------------------------------

TEST(HostileFolders, LinkLoopsAndDanglingLinksNeitherHangNorHide) {
    GdalWorld w;
    TempDir dir;
    const std::string d = dir.Path();
    Link(".", dir / "self");
    Link("..", dir / "parent");
    Link("ring2.dxf", dir / "ring1.dxf");
    Link("ring1.dxf", dir / "ring2.dxf");
    Link("missing.mdb", dir / "gone.mdb");
    Link("missing.shp", dir / "gone.shp");
    Link("missing.tif", dir / "gone.tif");
    ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
    Link("..", dir / "sub/back");
    const auto before = Snapshot(d);

    const std::set<Entry> expected{
        FileEntry(d, "self", dtFolder),          FileEntry(d, "parent", dtFolder),   FileEntry(d, "sub", dtFolder),
        FileEntry(d, "ring1.dxf", dtCadFile),    FileEntry(d, "ring2.dxf", dtCadFile), FileEntry(d, "gone.mdb", dtPersonalGdb),
        // A shapefile whose header cannot be read is still shown, unclassified.
        FileEntry(d, "gone.shp", 0),
    };
    long count = -1;
    EXPECT_EQ(Entries(List(w, d, &count)), expected);
    EXPECT_EQ(count, 7);

    // Walking round the loops lists the same folder again under a longer path.
    const std::string round = d + "/self/sub/back/self/sub/back";
    std::set<std::string> names, roundNames;
    for (const auto& [type, name, full] : expected) names.insert(name);
    for (const auto& [type, name, full] : Entries(List(w, round))) roundNames.insert(name);
    EXPECT_EQ(roundNames, names);

    // Opening a drawing of the ring, or the dangling database, as a location
    // reports the loop or the missing file: a drawing is read before its
    // classes are listed.
    DataItems classes(1);
    EXPECT_EQ(GetCadFiles(w.p, d + "/ring1.dxf", classes, 0), 0);
    EXPECT_EQ(classes.size(), 1u);
    DataItems gdb(1);
    EXPECT_EQ(GetPGMdbFiles(w.p, d + "/gone.mdb", gdb, 0), 0);
    const auto log = w.t.LogEntries();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].position.rfind("Marbrook.basOpenDialogs.GetCadFiles:", 0), 0u) << log[0].position;
    EXPECT_NE(log[0].description.find("ring1.dxf"), std::string::npos) << log[0].description;
    EXPECT_EQ(log[1].position.rfind("Marbrook.basOpenDialogs.GetPGMdbFiles:", 0), 0u) << log[1].position;

    int status = -1;
    if (const auto printed = ListByProgram(w.t.home.LibraryFolder(), d, status)) {
        EXPECT_EQ(status, 0);
        EXPECT_EQ(*printed, expected);
    }
    EXPECT_EQ(Snapshot(d), before);
}

// ---- Names ------------------------------------------------------------------------

TEST(HostileNames, LineBreaksTabsBackslashesAndInvalidUtf8AreListedAsTheyAre) {
    GdalWorld w;
    TempDir dir;
    const std::string d = dir.Path();
    const std::vector<std::string> gdbs = {"new\nline.mdb", "back\\slash.mdb", "cr\r.mdb", " blank .mdb", "bad\xff\xfe.mdb"};
    const std::vector<std::string> drawings = {"tab\tname.dxf", "bad\xc3(.dwg", "\xe6\x95\xb0\xe6\x8d\xae.dxf", "-rf.dxf"};
    const std::vector<std::string> folders = {"dir\nwith\nbreaks", "bad\xc3(dir", "back\\dir", "\t", "*"};
    for (const auto& n : gdbs) Touch(dir / n);
    for (const auto& n : drawings) Touch(dir / n);
    for (const auto& n : folders) ASSERT_EQ(::mkdir((dir / n).c_str(), 0755), 0) << n;
    // Shapefiles are classified by their header whatever their names.
    WriteFile(dir / "odd\tpoint\n.shp", ShpHeader(1));
    WriteFile(dir / "bad\xff.shp", ShpHeader(5));
    const auto before = Snapshot(d);

    std::set<Entry> expected;
    for (const auto& n : gdbs) expected.insert(FileEntry(d, n, dtPersonalGdb));
    for (const auto& n : drawings) expected.insert(FileEntry(d, n, dtCadFile));
    for (const auto& n : folders) expected.insert(FileEntry(d, n, dtFolder));
    expected.insert(FileEntry(d, "odd\tpoint\n.shp", dtPointFeatureClass));
    expected.insert(FileEntry(d, "bad\xff.shp", dtPolygonFeatureClass));

    long count = -1;
    const DataItems items = List(w, d, &count);
    EXPECT_EQ(count, static_cast<long>(expected.size()));
    EXPECT_EQ(Entries(items), expected);
    for (std::size_t i = 1; i < items.size(); ++i) {
        EXPECT_TRUE(text::IsValidUtf8(items[i].DataName)) << items[i].DataFullName;
        if (items[i].DataType == dtCadFile) {
            EXPECT_NE(items[i].pDataSetObj, nullptr) << items[i].DataFullName;
        }
    }
    EXPECT_TRUE(w.t.LogEntries().empty());

    // A folder with odd names lists like any other.
    EXPECT_TRUE(Entries(List(w, d + "/bad\xc3(dir")).empty());
    EXPECT_TRUE(w.t.LogEntries().empty());

    // The program prints one line per entry, whatever the names hold.
    int status = -1;
    if (const auto printed = ListByProgram(w.t.home.LibraryFolder(), d, status)) {
        EXPECT_EQ(status, 0);
        EXPECT_EQ(*printed, expected);
    }
    EXPECT_EQ(Snapshot(d), before);
}

// ---- A huge folder --------------------------------------------------------------

// A temporary folder in memory when the system offers one (/dev/shm):
// creating 100 000 entries on a busy disk takes far longer than listing them.
class MemoryTempDir {
public:
    MemoryTempDir() {
        std::string tmpl = "/dev/shm/marbrook-test-XXXXXX";
        if (::access("/dev/shm", W_OK) == 0 && ::mkdtemp(tmpl.data())) path_ = tmpl;
        else path_ = fallback_.emplace().Path();
    }
    ~MemoryTempDir() {
        std::error_code ec;
        if (!fallback_) std::filesystem::remove_all(path_, ec);
    }
    MemoryTempDir(const MemoryTempDir&) = delete;
    MemoryTempDir& operator=(const MemoryTempDir&) = delete;
    [[nodiscard]] const std::string& Path() const noexcept { return path_; }
    [[nodiscard]] std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::optional<TempDir> fallback_;
    std::string path_;
};

TEST(HostileFolders, AHundredThousandEntriesAreAllListed) {
    GdalWorld w;
    MemoryTempDir dir;
    const std::string d = dir.Path();
    std::set<Entry> expected;
    char name[32];
    for (int i = 0; i < 100000; ++i) {
        if (i % 250 == 0) {
            std::snprintf(name, sizeof name, "d%06d", i);
            ASSERT_EQ(::mkdir((dir / name).c_str(), 0755), 0);
            expected.insert(FileEntry(d, name, dtFolder));
            continue;
        }
        const int kind = i % 250;
        std::snprintf(name, sizeof name, kind == 1 ? "g%06d.mdb" : kind == 2 ? "c%06d.dxf" : "f%06d.txt", i);
        Touch(dir / name);
        if (kind == 1) expected.insert(FileEntry(d, name, dtPersonalGdb));
        if (kind == 2) expected.insert(FileEntry(d, name, dtCadFile));
    }
    ASSERT_EQ(expected.size(), 1200u);

    const auto start = std::chrono::steady_clock::now();
    long count = -1;
    const DataItems items = List(w, d, &count);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "[  NOTE    ] 100 000 entries listed in " << seconds << " s\n";
    EXPECT_EQ(count, 1200);
    EXPECT_EQ(Entries(items), expected);
    EXPECT_TRUE(w.t.LogEntries().empty());

    int status = -1;
    if (const auto printed = ListByProgram(w.t.home.LibraryFolder(), d, status)) {
        EXPECT_EQ(status, 0);
        EXPECT_EQ(printed->size(), 1200u);
    }
}

// ---- Files that only claim to be data ----------------------------------------

class ClaimedData : public ::testing::Test {
protected:
    void SetUp() override {
        // Real data to cut short.
        testing::WriteShapefile(sample.Path(), "good", wkbPolygon, {"POLYGON ((0 0,0 1,1 1,0 0))"});
        testing::WriteRaster("GTiff", sample / "good.tif", 16, 16);
        testing::WriteRaster("HFA", sample / "good.img", 16, 16);
        testing::WriteDxf(sample / "good.dxf");
    }
    GdalWorld w;
    TempDir sample;
    TempDir dir;
};

TEST_F(ClaimedData, EmptyCutAndRandomFilesAreListedAsTheLibraryDefines) {
    const std::string d = dir.Path();
    for (const char* ext : {"shp", "shx", "dbf", "tif", "img", "dxf", "dwg", "mdb"}) {
        Touch(dir / ("empty."s + ext));
        WriteFile(dir / ("noise."s + ext), Noise(512, static_cast<unsigned>(ext[0] + ext[1])));
    }
    WriteFile(dir / "cut.shp", Prefix(sample / "good.shp", 120)); // the header whole, the shape cut
    WriteFile(dir / "cut.shx", Prefix(sample / "good.shx", 50));
    WriteFile(dir / "cut.dbf", Prefix(sample / "good.dbf", 20));
    WriteFile(dir / "orphan.shx", Prefix(sample / "good.shx", 200));
    WriteFile(dir / "orphan.dbf", Prefix(sample / "good.dbf", 200));
    WriteFile(dir / "cut.tif", Prefix(sample / "good.tif", 16));
    WriteFile(dir / "cut.img", Prefix(sample / "good.img", 40));
    WriteFile(dir / "cut.dxf", Prefix(sample / "good.dxf", 60));
    WriteFile(dir / "cut.dwg", "AC10");
    WriteFile(dir / "cut.mdb", "\0\1\0\0Standard Jet DB\0"s);
    const auto before = Snapshot(d);

    // Names decide files and drawings; headers decide shapefile kinds and
    // which rasters are shown (a cut raster whose signature is whole is
    // shown, and fails when opened).
    const std::set<Entry> expected{
        FileEntry(d, "empty.mdb", dtPersonalGdb), FileEntry(d, "noise.mdb", dtPersonalGdb), FileEntry(d, "cut.mdb", dtPersonalGdb),
        FileEntry(d, "empty.dxf", dtCadFile),     FileEntry(d, "noise.dxf", dtCadFile),     FileEntry(d, "cut.dxf", dtCadFile),
        FileEntry(d, "empty.dwg", dtCadFile),     FileEntry(d, "noise.dwg", dtCadFile),     FileEntry(d, "cut.dwg", dtCadFile),
        FileEntry(d, "empty.shp", 0),             FileEntry(d, "noise.shp", 0),             FileEntry(d, "cut.shp", dtPolygonFeatureClass),
        FileEntry(d, "cut.tif", dtRasterFile),    FileEntry(d, "cut.img", dtRasterFile),
    };
    long count = -1;
    const DataItems items = List(w, d, &count);
    EXPECT_EQ(Entries(items), expected);
    EXPECT_EQ(count, static_cast<long>(expected.size()));
    EXPECT_TRUE(w.t.LogEntries().empty()) << w.t.ErrLogText();

    // Opening: each broken dataset is a failure the caller can report, never
    // a crash, and nothing is printed to the host's terminal.
    std::size_t logged = 0;
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    for (std::size_t i = 1; i < items.size(); ++i) {
        const DataItem& item = items[i];
        SCOPED_TRACE(item.DataFullName);
        Watchdog dog(60, "opening " + item.DataFullName);
        if (item.DataType == dtPersonalGdb) {
            DataItems inside(1);
            EXPECT_EQ(GetPGMdbFiles(w.p, item.DataFullName, inside, 0), 0);
            EXPECT_EQ(w.t.LogEntries().size(), ++logged);
        } else if (item.DataType == dtCadFile) {
            // A drawing that cannot be read lists no classes and says why,
            // naming the file; a DWG says which release it is not.
            DataItems classes(1);
            EXPECT_EQ(GetCadFiles(w.p, item.DataFullName, classes, 0), 0);
            const auto log = w.t.LogEntries();
            EXPECT_EQ(log.size(), ++logged);
            ASSERT_FALSE(log.empty());
            EXPECT_NE(log.back().description.find(item.DataName), std::string::npos) << log.back().description;
            if (text::ExtensionPart(item.DataFullName) == "dwg") {
                EXPECT_NE(log.back().description.find("R2000"), std::string::npos) << log.back().description;
            }
        } else if (item.pDataSetObj) {
            EXPECT_THROW((void)w.gis->OpenName(*item.pDataSetObj), PlatformError);
        }
    }

    const std::string printedOut = ::testing::internal::GetCapturedStdout();
    const std::string printedErr = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printedOut + printedErr, "");

    int status = -1;
    if (const auto printed = ListByProgram(w.t.home.LibraryFolder(), d, status)) {
        EXPECT_EQ(status, 0);
        EXPECT_EQ(*printed, expected);
    }
    EXPECT_EQ(Snapshot(d), before);
}

// A named pipe never sends a byte unless something writes to it: a listing
// or an opening that reads one would wait for ever.
TEST_F(ClaimedData, APipeNamedLikeDataBlocksNothing) {
    const std::string d = dir.Path();
    for (const char* name : {"pipe.shp", "pipe.tif", "pipe.img", "pipe.png", "pipe.dxf", "pipe.dwg", "pipe.mdb"})
        ASSERT_EQ(::mkfifo((dir / name).c_str(), 0644), 0) << name;
    // Real data whose index, table or world file is a pipe.
    testing::WriteShapefile(d, "roads", wkbLineString, {"LINESTRING (0 0,1 1)"});
    std::filesystem::remove(dir / "roads.shx");
    ASSERT_EQ(::mkfifo((dir / "roads.shx").c_str(), 0644), 0);
    std::filesystem::copy_file(sample / "good.tif", dir / "dem.tif");
    ASSERT_EQ(::mkfifo((dir / "dem.tfw").c_str(), 0644), 0);
    const auto before = Snapshot(d);

    const std::set<Entry> expected{FileEntry(d, "pipe.shp", 0),           FileEntry(d, "pipe.dxf", dtCadFile),
                                   FileEntry(d, "pipe.dwg", dtCadFile),     FileEntry(d, "pipe.mdb", dtPersonalGdb),
                                   FileEntry(d, "roads.shp", dtLineFeatureClass), FileEntry(d, "dem.tif", dtRasterFile)};
    const DataItems items = List(w, d);
    EXPECT_EQ(Entries(items), expected);
    EXPECT_TRUE(w.t.LogEntries().empty()) << w.t.ErrLogText();

    {
        Watchdog dog(60, "opening the pipes");
        for (std::size_t i = 1; i < items.size(); ++i)
            if (items[i].pDataSetObj) {
                EXPECT_THROW((void)w.gis->OpenName(*items[i].pDataSetObj), PlatformError) << items[i].DataFullName;
            }
        DataItems inside(1);
        EXPECT_EQ(GetPGMdbFiles(w.p, d + "/pipe.mdb", inside, 0), 0);
        EXPECT_EQ(GetCadFiles(w.p, d + "/pipe.dwg", inside, 0), 0);
        EXPECT_EQ(GetCadFiles(w.p, d + "/pipe.dxf", inside, 0), 0);
    }
    EXPECT_EQ(w.t.LogEntries().size(), 3u);
    EXPECT_EQ(Snapshot(d), before);
}

// The names beside the datasets of a folder are read once for many openings;
// a pipe that appears beside one afterwards must still be refused: put there
// with the folder's time set back, or as the new target of a link.
TEST_F(ClaimedData, APipeThatAppearsAfterAnOpeningIsStillRefused) {
    const std::string d = dir.Path();
    const std::filesystem::path elsewhere = sample / "target.dbf";
    for (const char* name : {"a", "b", "c"}) testing::WriteShapefile(d, name, wkbLineString, {"LINESTRING (0 0,1 1)"});
    std::filesystem::copy_file(dir / "c.dbf", elsewhere);
    std::filesystem::remove(dir / "c.dbf");
    std::filesystem::create_symlink(elsewhere, dir / "c.dbf");
    // A folder last changed an hour ago, as most are.
    const auto setFolderTime = [&] {
        timespec times[2]{};
        ::clock_gettime(CLOCK_REALTIME, &times[0]);
        times[0].tv_sec -= 3600;
        times[1] = times[0];
        ASSERT_EQ(::utimensat(AT_FDCWD, d.c_str(), times, 0), 0);
    };
    setFolderTime();
    const DataItems items = List(w, d);
    std::map<std::string, gis::DatasetNamePtr> names;
    for (std::size_t i = 1; i < items.size(); ++i) names[items[i].DataName] = items[i].pDataSetObj;
    ASSERT_EQ(names.size(), 3u);
    EXPECT_NO_THROW((void)w.gis->OpenName(*names["a.shp"]));

    Watchdog dog(60, "opening beside new pipes");
    std::filesystem::remove(dir / "b.shx");
    ASSERT_EQ(::mkfifo((dir / "b.shx").c_str(), 0644), 0);
    setFolderTime();
    EXPECT_THROW((void)w.gis->OpenName(*names["b.shp"]), PlatformError);

    std::filesystem::remove(elsewhere);
    ASSERT_EQ(::mkfifo(elsewhere.c_str(), 0644), 0);
    EXPECT_THROW((void)w.gis->OpenName(*names["c.shp"]), PlatformError);
    EXPECT_NO_THROW((void)w.gis->OpenName(*names["a.shp"]));
}

// ---- Connection files ------------------------------------------------------------

// A connection file reads back as it was written: blanks at a value's end,
// a "=" in a name or a name that starts like a comment were lost or moved
// into the value; a name of nothing but CRs read as a nameless property.
TEST(ConnectionFileText, EveryNameAndValueReadsBackAsWritten) {
    using namespace gdal::postgis;
    gis::PropertySet props;
    props.SetProperty("SERVER", "db ");
    props.SetProperty("DATABASE", "\tgis\t");
    props.SetProperty("USER", " ");
    props.SetProperty("a=b", "c=d");
    props.SetProperty("#note", "x");
    props.SetProperty(";note", "y");
    props.SetProperty(" blank ", "z");
    props.SetProperty("PASSWORD", "pw ");
    const std::string text = FormatConnectionFile(props);
    EXPECT_EQ(ParseConnectionFile(text).Properties(), props.Properties()) << text;
    EXPECT_EQ(ParseConnectionFile(FormatConnectionFile(ParseConnectionFile(text))).Properties(), props.Properties());

    for (const char* bad : {"[Marbrook connection]\n\r\r=x\n", "[Marbrook connection]\n\t\r=x\n"}) {
        SCOPED_TRACE(bad);
        try {
            const auto read = ParseConnectionFile(bad);
            ADD_FAILURE() << "read a property named \"" << read.Properties().at(0).first << "\"";
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.Number(), kInvalidFileFormat);
        }
    }
}

} // namespace
} // namespace marbrook
