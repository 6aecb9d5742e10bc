// How the GDAL back end reads a folder for a listing: the folder's names kept
// for the workspaces of one listing, rasters recognised by their first bytes,
// and shapefiles named after the real file whatever the case of its extension.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/basOpenDialogs.h"
#include "platform/gdal/detail/FileStore.h"
#include "platform/gdal/detail/FileStores.h"
#include "platform/gdal/detail/FolderReader.h"
#include "platform/gdal/detail/GdalCommon.h"
#include "platform/posix/FolderReading.h"
#include "tests/doubles/Processes.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

using testing::GdalWorld;
using testing::TempDir;
using testing::WriteFile;
using namespace std::string_literals;

std::set<std::string> Names(const DataItems& items) {
    std::set<std::string> out;
    for (std::size_t i = 1; i < items.size(); ++i) out.insert(items[i].DataName);
    return out;
}

std::set<std::string> Shapefiles(GdalWorld& w, const TempDir& dir) {
    DataItems items;
    GetShapeFilesEx(w.p, dir.Path() + "/", items);
    return Names(items);
}

std::set<std::string> Rasters(GdalWorld& w, const TempDir& dir) {
    DataItems items;
    GetRasterFilesEx(w.p, dir.Path() + "/", items);
    return Names(items);
}

// Dates the folder's modification time an hour back, so that the back end
// trusts it and keeps the names it reads.
void AgeFolder(const std::string& folder) {
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

timespec ModifiedTime(const std::string& folder) {
    struct stat st{};
    ::stat(folder.c_str(), &st);
    return st.st_mtim;
}

void PutModifiedTime(const std::string& folder, timespec modified) {
    timespec times[2] = {modified, modified};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

TEST(FolderNames, EveryListingSeesTheFolderAsItIsNow) {
    GdalWorld w;
    TempDir dir;
    testing::WriteShapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)"});
    testing::WriteRaster("GTiff", dir / "dem.tif", 2, 2);
    AgeFolder(dir.Path());
    ASSERT_EQ(Shapefiles(w, dir), (std::set<std::string>{"wells.shp"}));
    ASSERT_EQ(Rasters(w, dir), (std::set<std::string>{"dem.tif"}));

    // Added right after a listing: the next listing shows it.
    testing::WriteShapefile(dir.Path(), "roads", wkbLineString, {"LINESTRING (0 0,1 1)"});
    testing::WriteRaster("GTiff", dir / "slope.tif", 2, 2);
    EXPECT_EQ(Shapefiles(w, dir), (std::set<std::string>{"roads.shp", "wells.shp"}));
    EXPECT_EQ(Rasters(w, dir), (std::set<std::string>{"dem.tif", "slope.tif"}));

    // Removed: gone from the next listing.
    AgeFolder(dir.Path());
    EXPECT_EQ(Rasters(w, dir).size(), 2u);
    std::filesystem::remove(dir / "dem.tif");
    EXPECT_EQ(Rasters(w, dir), (std::set<std::string>{"slope.tif"}));

    // Added with the folder's modification time put back as it was (a file
    // system whose clock did not tick in between): still seen.
    AgeFolder(dir.Path());
    const timespec before = ModifiedTime(dir.Path());
    EXPECT_EQ(Rasters(w, dir).size(), 1u);
    testing::WriteRaster("GTiff", dir / "aspect.tif", 2, 2);
    PutModifiedTime(dir.Path(), before);
    EXPECT_EQ(Rasters(w, dir), (std::set<std::string>{"aspect.tif", "slope.tif"}));

    // A folder that became unreadable is reported, not listed from memory.
    if (::geteuid() != 0) {
        AgeFolder(dir.Path());
        EXPECT_EQ(Rasters(w, dir).size(), 2u);
        std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_write | std::filesystem::perms::owner_exec);
        DataItems items;
        EXPECT_EQ(GetRasterFilesEx(w.p, dir.Path() + "/", items), 0);
        EXPECT_EQ(w.t.LogEntries().size(), 1u);
        std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
    }
}

TEST(FolderNames, EachFolderAndEachThreadListsItsOwnNames) {
    GdalWorld w;
    TempDir a;
    TempDir b;
    testing::WriteRaster("GTiff", a / "a.tif", 2, 2);
    testing::WriteRaster("GTiff", b / "b.tif", 2, 2);
    AgeFolder(a.Path());
    AgeFolder(b.Path());
    EXPECT_EQ(Rasters(w, a), (std::set<std::string>{"a.tif"}));
    EXPECT_EQ(Rasters(w, b), (std::set<std::string>{"b.tif"}));
    EXPECT_EQ(Rasters(w, a), (std::set<std::string>{"a.tif"}));
    std::set<std::string> other;
    std::thread([&] { other = Rasters(w, b); }).join();
    EXPECT_EQ(other, (std::set<std::string>{"b.tif"}));
}

posix::FolderNamesPtr KeptReading(const std::string& folder) {
    int error = 0;
    return posix::ReadFolderKept(folder, posix::kListingAge, error);
}

// A folder of 100 000 names is read once per listing: the system service's
// look at its files and subfolders and every store after it (shapefiles,
// data files, drawings, rasters) share one reading, which a listing made
// right after still uses while the folder is unchanged.
TEST(FolderNames, OneReadingServesTheWholeListing) {
    GdalWorld w;
    TempDir dir;
    testing::WriteShapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)"});
    testing::WriteRaster("GTiff", dir / "dem.tif", 2, 2);
    WriteFile(dir / "sites.csv", "WKT,name\n\"POINT (1 2)\",a\n");
    WriteFile(dir / "notes.txt", "x");
    std::filesystem::create_directory(dir / "sub");
    AgeFolder(dir.Path());
    const auto first = KeptReading(dir.Path());
    ASSERT_NE(first, nullptr);
    (void)w.t.system.ListFolder(dir.Path());
    EXPECT_EQ(KeptReading(dir.Path()).get(), first.get()) << "the system service read the folder again";

    std::string folder = dir.Path();
    DataItems items;
    ASSERT_EQ(GetSubFolderFiles(w.p, folder, items, 0), 4);
    EXPECT_EQ(Names(items), (std::set<std::string>{"sub", "wells.shp", "sites.csv", "dem.tif"}));
    EXPECT_EQ(KeptReading(dir.Path()).get(), first.get()) << "a store read the folder again";
    EXPECT_TRUE(w.t.LogEntries().empty()) << w.t.ErrLogText();

    // Changed: the next listing reads it afresh and sees the change.
    WriteFile(dir / "more.txt", "x");
    EXPECT_NE(KeptReading(dir.Path()).get(), first.get());
}

// A file the folder's reading found plain is read without asking what it
// is. Whatever has taken its name since then (a pipe, a folder, a link) must
// read as no file, at once: a pipe would make the listing wait for ever, and
// a link could lead anywhere.
TEST(FolderNames, APlainFileReplacedAfterTheReadingIsNotRead) {
    TempDir dir;
    TempDir elsewhere;
    WriteFile(elsewhere / "target.shp", std::string(100, 'x'));
    WriteFile(dir / "plain.shp", std::string(100, 'p'));
    ASSERT_EQ(::mkfifo((dir / "pipe.shp").c_str(), 0644), 0);
    std::filesystem::create_directory(dir / "folder.shp");
    std::filesystem::create_symlink(elsewhere / "target.shp", dir / "link.shp");
    std::filesystem::create_symlink("/dev/zero", dir / "zeros.shp");
    struct Row {
        const char* name;
        std::optional<std::size_t> plain; // read as a plain file of the reading
        std::optional<std::size_t> asked; // read as an entry of any kind
    };
    const std::vector<Row> rows = {
        {"plain.shp", 100, 100},
        {"pipe.shp", std::nullopt, std::nullopt},
        {"folder.shp", std::nullopt, std::nullopt},
        {"link.shp", std::nullopt, 100}, // a link is followed only when the reading knew it was one
        {"zeros.shp", std::nullopt, std::nullopt},
        {"missing.shp", std::nullopt, std::nullopt},
    };
    gdal::FolderNames names;
    for (const Row& r : rows) names.contents.files.emplace_back(r.name);
    const gdal::FolderHandle folder(dir.Path());
    ASSERT_TRUE(folder.IsOpen());
    testing::Watchdog dog(30, "reading the heads of files that are no longer plain");
    for (const bool plain : {true, false}) {
        names.plainFile.assign(rows.size(), plain);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(std::string(rows[i].name) + (plain ? " (found plain)" : " (found not plain)"));
            const std::string path = dir / rows[i].name;
            char head[100];
            bool denied = false;
            EXPECT_EQ(folder.Head(names, i, path, head, sizeof head, &denied), plain ? rows[i].plain : rows[i].asked);
            EXPECT_FALSE(denied);
            // By the full path when the folder cannot be opened: the same.
            EXPECT_EQ(gdal::FolderHandle("/nonexistent/folder").Head(names, i, path, head, sizeof head),
                      plain ? rows[i].plain : rows[i].asked);
        }
    }
}

// The extension tables every file of a folder is looked up in: an
// extension is packed into a number, so names that share a prefix, differ
// in length or in case, or are longer than a number holds must not meet.
TEST(ExtensionTables, AFileBelongsOnlyByItsWholeExtensionInAnyCase) {
    const gdal::ExtensionSet set{"TIF", "TIFF", "DB", "SPATIALITE", "GEOJSON", "SQLITE3"};
    const std::vector<std::pair<const char*, bool>> rows = {
        {"a.tif", true},       {"a.TIF", true},        {"a.Tiff", true},       {"a.ti", false},
        {"a.tiff2", false},    {"a.db", true},         {"a.d", false},         {"a.dbf", false},
        {"a.spatialite", true}, {"a.SpatiaLite", true}, {"a.spatialit", false}, {"a.spatialites", false},
        {"a.geojson", true},   {"a.geojso", false},    {"a.sqlite3", true},    {"a.sqlite", false},
        {"tif", false},        {".tif", false},        {"a.", false},          {"a.tif.xml", false},
        {"dir.tif/a", false},  {"a.t\xC3\xAF", false},
    };
    // A set made of its own extensions and another set's holds both.
    const gdal::ExtensionSet joined{{"PRJ", "GEOPACKAGE"}, set};
    for (const auto& [name, member] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(set.HoldsExtensionOf(name), member);
        EXPECT_EQ(set.Contains(gdal::UpperExt(name)), member);
        EXPECT_EQ(joined.HoldsExtensionOf(name), member);
        EXPECT_FALSE(gdal::ExtensionSet({"PRJ"}).HoldsExtensionOf(name));
    }
    for (const char* own : {"a.prj", "a.PRJ", "a.geopackage"}) EXPECT_TRUE(joined.HoldsExtensionOf(own)) << own;
    EXPECT_FALSE(set.HoldsExtensionOf("a.prj"));
}

std::string Bytes(std::initializer_list<int> bytes, std::size_t padTo = 0, char pad = ' ') {
    std::string out;
    for (int b : bytes) out += static_cast<char>(b);
    if (out.size() < padTo) out.append(padTo - out.size(), pad);
    return out;
}

// What the first bytes say must never contradict GDAL: a head recognised
// here is one that the named driver itself identifies.
TEST(RasterHeads, RecognisedOnlyWhereTheDriverAgrees) {
    gdal::InitGdal();
    struct Row {
        const char* ext;
        std::string head;
        const char* driver; // nullptr: GDAL must judge
    };
    const std::string ascii = "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n3 4\n";
    const std::vector<Row> rows = {
        {"TIF", Bytes({'I', 'I', 42, 0, 8, 0, 0, 0}), "GTiff"},
        {"TIFF", Bytes({'M', 'M', 0, 42, 0, 0, 0, 8}), "GTiff"},
        {"TIF", Bytes({'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0}), "GTiff"},
        {"TIF", Bytes({'I', 'I', 42, 0}), nullptr},         // too short to be sure
        {"TIF", Bytes({'I', 'M', 42, 0, 8, 0, 0, 0}), nullptr},
        {"TIF", "not a tiff", nullptr},
        {"TIF", Bytes({0x89, 'P', 'N', 'G', 13, 10, 26, 10}), nullptr}, // a PNG: GDAL's call
        {"TIF", "", nullptr},
        {"IMG", "EHFA_HEADER_TAG\0\0\0\0"s, "HFA"},
        {"IMG", "ehfa_header_tag\0\0\0\0"s, "HFA"},
        {"IMG", "EHFA_HEADER_TA", nullptr},
        {"ASC", ascii, "AAIGrid"},
        {"ASC", "NCOLS 2\nNROWS 2\nXLLCENTER 0\nYLLCENTER 0\nCELLSIZE 1\n1 2\n3 4\n", "AAIGrid"},
        {"ASC", "ncols 2\n", nullptr},                          // shorter than GDAL reads
        {"ASC", "plain text that only happens to be long enough", nullptr},
        {"PNG", Bytes({0x89, 'P', 'N', 'G', 13, 10, 26, 10}, 64), nullptr},
        {"JPG", Bytes({'I', 'I', 42, 0, 8, 0, 0, 0}), nullptr}, // bytes of another extension's format
    };
    TempDir dir;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(std::to_string(i) + " " + rows[i].ext);
        const char* got = gdal::RasterDriverByHead(rows[i].ext, rows[i].head);
        if (!rows[i].driver) {
            EXPECT_EQ(got, nullptr);
            continue;
        }
        ASSERT_NE(got, nullptr);
        EXPECT_STREQ(got, rows[i].driver);
        std::string path = dir / std::to_string(i);
        path.append(".").append(rows[i].ext);
        WriteFile(path, rows[i].head);
        const char* only[] = {rows[i].driver, nullptr};
        gdal::ErrorCapture quiet;
        EXPECT_NE(GDALIdentifyDriverEx(path.c_str(), GDAL_OF_RASTER, only, nullptr), nullptr);
    }
}

TEST(RasterHeads, AFileNamedLikeARasterIsListedOnlyWhenItIsOne) {
    GdalWorld w;
    TempDir dir;
    testing::WriteRaster("GTiff", dir / "real.tif", 3, 3);
    testing::WriteRaster("GTiff", dir / "UPPER.TIF", 3, 3);
    testing::WriteRaster("HFA", dir / "landuse.img", 3, 3);
    testing::WriteRaster("AAIGrid", dir / "heights.asc", 3, 3);
    testing::WriteRaster("PNG", dir / "photo.png", 3, 3);
    // A PNG under a TIFF's name: its bytes are not a TIFF's, GDAL still
    // recognises it, so it is listed as it always was.
    std::filesystem::copy_file(dir / "photo.png", dir / "renamed.tif");
    WriteFile(dir / "fake.tif", "not a tiff at all, just some text");
    WriteFile(dir / "empty.tif", "");
    WriteFile(dir / "short.tif", "II");
    WriteFile(dir / "fake.img", "EHFA_HEADER");
    WriteFile(dir / "notes.asc", "these are notes, not a grid, though long enough");
    WriteFile(dir / "real.tfw", "1\n0\n0\n-1\n0\n0\n");
    WriteFile(dir / "real.tif.aux.xml", "<PAMDataset/>");

    DataItems items;
    ASSERT_EQ(GetRasterFilesEx(w.p, dir.Path() + "/", items), 6);
    EXPECT_EQ(Names(items), (std::set<std::string>{"UPPER.TIF", "heights.asc", "landuse.img", "photo.png", "real.tif",
                                                   "renamed.tif"}));
    for (std::size_t i = 1; i < items.size(); ++i) {
        SCOPED_TRACE(items[i].DataName);
        const auto raster = gis::AsRasterDataset(w.gis->OpenName(*items[i].pDataSetObj));
        EXPECT_EQ(raster->Width(), 3);
    }
    EXPECT_TRUE(w.t.LogEntries().empty());
}

// On Linux ROADS.SHP and ROADS.shp are different files: the entry must name
// the one that exists.
TEST(Shapefiles, AnUpperCaseExtensionIsKeptInTheEntry) {
    GdalWorld w;
    TempDir dir;
    testing::WriteShapefile(dir.Path(), "roads", wkbLineString, {"LINESTRING (0 0,1 1)"});
    testing::WriteShapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)", "POINT (2 2)"});
    testing::WriteShapefile(dir.Path(), "lakes", wkbPolygon, {"POLYGON ((0 0,0 1,1 1,0 0))"});
    for (const auto& [from, to] : std::map<std::string, std::string>{{"shp", "SHP"}, {"shx", "SHX"}, {"dbf", "DBF"}})
        std::filesystem::rename(dir / ("roads." + from), dir / ("ROADS." + to));
    DataItems items;
    ASSERT_EQ(GetShapeFilesEx(w.p, dir.Path() + "/", items), 3);
    const std::map<std::string, std::pair<int, long long>> expected = {
        {"ROADS.SHP", {11, 1}}, {"wells.shp", {10, 2}}, {"lakes.shp", {12, 1}}};
    std::map<std::string, std::pair<int, long long>> got;
    for (std::size_t i = 1; i < items.size(); ++i) {
        SCOPED_TRACE(items[i].DataName);
        EXPECT_EQ(items[i].DataFullName, dir.Path() + "/" + items[i].DataName);
        EXPECT_TRUE(std::filesystem::is_regular_file(items[i].DataFullName));
        const auto fc = gis::AsFeatureClass(w.gis->OpenName(*items[i].pDataSetObj));
        got[items[i].DataName] = {items[i].DataType, fc->FeatureCount()};
    }
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(w.t.LogEntries().empty());
}

} // namespace
} // namespace marbrook
