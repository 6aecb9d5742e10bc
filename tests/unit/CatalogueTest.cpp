// The catalogue's enumerators against real folders and the in-memory GIS.
#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

#include "catalogue/basOpenDialogs.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using gis::FactoryKind;
using testing::TempDir;
using testing::TestPlatform;
using testing::WriteFile;

void Touch(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ::close(fd);
}

std::vector<std::string> Names(const DataItems& items) {
    std::vector<std::string> out;
    for (std::size_t i = 1; i < items.size(); ++i) out.push_back(items[i].DataName);
    return out;
}

// ---- Drives ----------------------------------------------------------------

TEST(Drives, CdDrivesAreLeftOutAndASpareElementFollows) {
    TestPlatform t;
    t.system.drives = {{"/", 3}, {"/media/dvd", 5}, {"/mnt/usb", 2}, {"/srv/odd", 0}};
    DataNodes list(4);
    EXPECT_EQ(GetLocalDrives4Combo(t, list), 3);
    ASSERT_EQ(list.size(), 5u); // 0 blank, 1..3 drives, 4 spare
    EXPECT_EQ(list[2].DataName, "/mnt/usb");
    EXPECT_EQ(list[2].DataFullName, "/mnt/usb");
    EXPECT_EQ(list[2].DataLocation, dlFolder);
    EXPECT_EQ(list[2].DataType, dtFolder);
    EXPECT_EQ(list[2].DataTypeDesc, "文件夹连接");
    EXPECT_EQ(list[2].ChildNode, -1);
    EXPECT_EQ(list[2].Level, 1);
    EXPECT_EQ(list[3].DataName, "/srv/odd");
    EXPECT_TRUE(list[4].DataName.empty());

    DataItems items;
    EXPECT_EQ(GetLocalDrives4Datalist(t, items), 3);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[1].DataFullName, "/");
    EXPECT_EQ(items[1].DataTypeDesc, "文件夹连接");
    EXPECT_EQ(items[1].pDataSetObj, nullptr);
}

TEST(Drives, OnlyCdDrivesLeaveOneBlankElementAndNoDrivesTouchNothing) {
    TestPlatform t;
    t.system.drives = {{"/media/cd", 5}};
    DataNodes list(3);
    DataItems items(3);
    EXPECT_EQ(GetLocalDrives4Combo(t, list), 0);
    EXPECT_EQ(GetLocalDrives4Datalist(t, items), 0);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(items.size(), 1u);

    t.system.drives.clear();
    DataNodes untouched(3);
    EXPECT_EQ(GetLocalDrives4Combo(t, untouched), 0);
    EXPECT_EQ(untouched.size(), 3u);
    EXPECT_TRUE(t.LogEntries().empty());
}

// ---- Folders ---------------------------------------------------------------

TEST(FolderListing, FilesComeBeforeFoldersAndOnlyKnownFilesAreListed) {
    TestPlatform t;
    TempDir dir;
    Touch(dir / "a.MDB");
    Touch(dir / "b.dwg");
    Touch(dir / "c.txt");
    Touch(dir / "d.Dxf");
    t.system.CreateFolder(dir / "x");
    auto& cad = t.gis.AddWorkspace(FactoryKind::Cad, dir.Path() + "/");
    auto drawing = t.gis.Add(cad, t.gis.Name("b.dwg", gis::kind::kFeatureDataset));

    std::string folder = dir.Path();
    DataItems items(5);
    const long n = GetSubFolderFiles(t, folder, items, 3);
    EXPECT_EQ(folder, dir.Path() + "/");
    ASSERT_EQ(n, 4);
    ASSERT_EQ(items.size(), 5u);
    // Files in the file system's order, then the folder.
    EXPECT_EQ(items[4].DataName, "x");
    EXPECT_EQ(items[4].DataFullName, dir / "x");
    EXPECT_EQ(items[4].DataLocation, dlFolder);
    for (std::size_t i = 1; i <= 3; ++i) {
        const DataItem& it = items[i];
        SCOPED_TRACE(it.DataName);
        EXPECT_EQ(it.DataFullName, dir / it.DataName);
        if (it.DataName == "a.MDB") {
            EXPECT_EQ(it.DataLocation, dlPersonalGdb);
            EXPECT_EQ(it.DataType, dtPersonalGdb);
            EXPECT_EQ(it.DataTypeDesc, "个人空间数据库");
            EXPECT_EQ(it.pDataSetObj, nullptr);
        } else {
            EXPECT_EQ(it.DataLocation, dlCadFile);
            EXPECT_EQ(it.DataType, dtCadFile);
            EXPECT_EQ(it.DataTypeDesc, "CAD File");
            // d.Dxf has no dataset in the CAD workspace: listed without one.
            EXPECT_EQ(it.pDataSetObj, it.DataName == "b.dwg" ? drawing : nullptr);
        }
    }
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(FolderListing, ATrailingSlashListsTheSameAndNoDatasetsWithoutDrawings) {
    TestPlatform t;
    TempDir dir;
    Touch(dir / "one.mdb");
    std::string folder = dir.Path() + "/";
    DataItems items;
    EXPECT_EQ(GetSubFolderFiles(t, folder, items, 3), 1);
    EXPECT_EQ(folder, dir.Path() + "/");
    // No drawing, so no CAD workspace is opened.
    EXPECT_EQ(t.gis.Calls("OpenWorkspace"), 0);
}

TEST(FolderListing, ManyDrawingsOpenTheCadWorkspaceOnce) {
    TestPlatform t;
    TempDir dir;
    auto& cad = t.gis.AddWorkspace(FactoryKind::Cad, dir.Path() + "/");
    for (int i = 0; i < 40; ++i) {
        const std::string name = "d" + std::to_string(i) + ".dxf";
        Touch(dir / name);
        t.gis.Add(cad, t.gis.Name(name, gis::kind::kFeatureDataset));
    }
    std::string folder = dir.Path();
    DataItems items;
    ASSERT_EQ(GetSubFolderFiles(t, folder, items, 3), 40);
    EXPECT_EQ(t.gis.Calls("OpenWorkspace"), 1);
    for (std::size_t i = 1; i < items.size(); ++i) {
        ASSERT_NE(items[i].pDataSetObj, nullptr) << items[i].DataName;
        EXPECT_EQ(items[i].pDataSetObj->Name(), items[i].DataName);
        // The same answer the single-drawing lookup gives.
        EXPECT_EQ(GetCADFilesDatasetName(t, folder, items[i].DataName), items[i].pDataSetObj);
    }
}

TEST(FolderListing, AFailingCadWorkspaceIsOneLogEntryAndTheDrawingsStay) {
    TestPlatform t;
    TempDir dir;
    Touch(dir / "a.dwg");
    Touch(dir / "b.dwg");
    // No CAD workspace at the folder: opening it fails.
    std::string folder = dir.Path();
    DataItems items;
    EXPECT_EQ(GetSubFolderFiles(t, folder, items, 3), 2);
    EXPECT_EQ(items[1].pDataSetObj, nullptr);
    const auto log = t.LogEntries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.GetCADFilesDatasetName:100");
}

TEST(FolderListing, NamesWithLineBreaksStayOneEntry) {
    TestPlatform t;
    TempDir dir;
    Touch(dir / "two\r\nlines.mdb");
    Touch(dir / "lf\n.mdb");
    t.system.CreateFolder(dir / "sub\rfolder");
    std::string folder = dir.Path();
    DataItems items;
    ASSERT_EQ(GetSubFolderFiles(t, folder, items, 3), 3);
    auto names = Names(items);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"lf\n.mdb", "sub\rfolder", "two\r\nlines.mdb"}));
    EXPECT_EQ(items[3].DataFullName, dir / "sub\rfolder");
}

TEST(FolderListing, NamesThatAreNotUtf8ShowReplacementsAndKeepTheirBytes) {
    TestPlatform t;
    TempDir dir;
    const std::string latin1 = "caf\xe9.mdb";
    const std::string folderName = "\xff\xfe";
    Touch(dir / latin1);
    t.system.CreateFolder(dir / folderName);
    std::string folder = dir.Path();
    DataItems items;
    ASSERT_EQ(GetSubFolderFiles(t, folder, items, 3), 2);
    EXPECT_EQ(items[1].DataName, "caf\xEF\xBF\xBD.mdb");
    EXPECT_EQ(items[1].DataFullName, dir / latin1);
    EXPECT_TRUE(t.system.FileExists(items[1].DataFullName));
    EXPECT_EQ(items[2].DataName.find('\xff'), std::string::npos);
    EXPECT_EQ(items[2].DataFullName, dir / folderName);
}

TEST(FolderListing, AFolderOfMoreThan32767EntriesListsCompletely) {
    TestPlatform t;
    TempDir dir;
    constexpr int kFiles = 32770;
    for (int i = 0; i < kFiles; ++i) Touch(dir / ("f" + std::to_string(i) + ".mdb"));
    t.system.CreateFolder(dir / "last");
    std::string folder = dir.Path();
    DataItems items;
    EXPECT_EQ(GetSubFolderFiles(t, folder, items, 3), kFiles + 1);
    ASSERT_EQ(items.size(), static_cast<std::size_t>(kFiles) + 2);
    EXPECT_EQ(items.back().DataName, "last");
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(FolderListing, DatasetsFollowByFilterAndAFailingEnumeratorKeepsTheCount) {
    struct Case {
        std::int16_t filter;
        bool rasterFails;
        long expected;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {0, false, 4, {}},
        {1, false, 3, {}},
        {2, false, 2, {}},
        {3, false, 1, {}},
        {7, false, 1, {}},
        // The raster enumerator fails at the end: everything written counts.
        {0, true, 3, {"Marbrook.basOpenDialogs.GetRasterFilesEx:100"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("filter " + std::to_string(c.filter) + (c.rasterFails ? " raster fails" : ""));
        TestPlatform t;
        TempDir dir;
        Touch(dir / "g.mdb");
        const std::string slash = dir.Path() + "/";
        auto& shp = t.gis.AddWorkspace(FactoryKind::Shapefile, slash);
        t.gis.Add(shp, t.gis.FeatureClass("roads", 1, 3));
        t.gis.Add(shp, t.gis.FeatureClass("wells", 1, 1));
        if (!c.rasterFails) {
            auto& raster = t.gis.AddWorkspace(FactoryKind::Raster, slash);
            t.gis.Add(raster, t.gis.Name("dem.tif", gis::kind::kRasterDataset));
        }
        std::string folder = dir.Path();
        DataItems items;
        EXPECT_EQ(GetSubFolderFiles(t, folder, items, c.filter), c.expected);
        EXPECT_EQ(static_cast<long>(items.size()) - 1, c.expected);
        std::vector<std::string> positions;
        for (const auto& e : t.LogEntries()) positions.push_back(e.position);
        EXPECT_EQ(positions, c.log);
        if (c.filter == 0 && !c.rasterFails) {
            EXPECT_EQ(Names(items), (std::vector<std::string>{"g.mdb", "roads.shp", "wells.shp", "dem.tif"}));
            EXPECT_EQ(items[2].DataFullName, slash + "roads.shp");
            EXPECT_EQ(items[4].DataFullName, slash + "dem.tif");
            EXPECT_EQ(items[4].DataType, dtRasterFile);
            EXPECT_EQ(items[4].DataTypeDesc, "RasterDataset");
            EXPECT_EQ(items[4].DataLocation, dlDatabaseRoot);
        }
    }
}

TEST(FolderListing, AnUnreadableFolderLeavesTheListAndLogsOnce) {
    TestPlatform t;
    TempDir dir;
    DataItems items(3);
    items[1].DataName = "previous";
    std::string missing = dir / "nope";
    EXPECT_EQ(GetSubFolderFiles(t, missing, items, 0), 0);
    EXPECT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].DataName, "previous");
    const auto log = t.LogEntries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.GetSubFolderFiles:103");
    EXPECT_EQ(log[0].number, 76);
}

// ---- Connection files --------------------------------------------------------

TEST(ConnectionFolder, NewConnectionEntryFirstThenOnlySdeFiles) {
    TestPlatform t;
    TempDir dir;
    DataItems items;
    EXPECT_EQ(GetSDEDataFile(t, dir.Path(), items), 1);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].DataName, "新建空间数据库连接");
    EXPECT_EQ(items[1].DataLocation, dlSdeFeatureDataset);
    EXPECT_EQ(items[1].DataType, dtNewSdeConnection);
    EXPECT_EQ(items[1].DataFullName, dir.Path());
    EXPECT_TRUE(items[1].DataTypeDesc.empty());

    Touch(dir / "srv.SDE");
    Touch(dir / "srv.sde.bak");
    Touch(dir / "x\ny.sde");
    t.system.CreateFolder(dir / "folder.sde");
    EXPECT_EQ(GetSDEDataFile(t, dir.Path(), items), 3);
    auto names = Names(items);
    EXPECT_EQ(names[0], "新建空间数据库连接");
    std::sort(names.begin() + 1, names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"新建空间数据库连接", "srv.SDE", "x\ny.sde"}));
    for (std::size_t i = 2; i < items.size(); ++i) {
        EXPECT_EQ(items[i].DataLocation, dlSdeConnection);
        EXPECT_EQ(items[i].DataType, dtSdeConnection);
        EXPECT_EQ(items[i].DataTypeDesc, "空间数据库连接");
        EXPECT_EQ(items[i].DataFullName, dir / items[i].DataName);
    }
}

TEST(ConnectionFolder, AMissingFolderLeavesTheCallersList) {
    TestPlatform t;
    TempDir dir;
    DataItems items(4);
    EXPECT_EQ(GetSDEDataFile(t, dir / "missing", items), 0);
    EXPECT_EQ(items.size(), 4u);
    ASSERT_EQ(t.LogEntries().size(), 1u);
    EXPECT_EQ(t.LogEntries()[0].position, "Marbrook.basOpenDialogs.GetSDEDataFile:103");
}

// ---- Classification of feature classes ----------------------------------------

TEST(Classification, EachStoreHasItsOwnColumn) {
    // feature kind, shape kind -> shapefile, personal geodatabase, CAD (-1: not listed)
    struct Row {
        int fk, sk;
        int shp, pgdb, cad;
    };
    const std::vector<Row> rows = {
        {1, 1, 10, 10, 10},  {1, 3, 11, 11, 11},  {1, 13, 11, 11, 11}, {1, 4, 12, 12, 12},
        // Multipatch and multipoint shapefiles are polygons and points: a
        // shapefile listed without a kind could never become a layer.
        {1, 9, 12, 19, -1},  {1, 2, 10, 19, 19},  {1, 0, 0, 19, 19},   {11, 1, 0, 23, 23},  {12, 4, 0, 19, 23},
        {7, 1, 0, 19, 19},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("feature kind " + std::to_string(r.fk) + ", shape kind " + std::to_string(r.sk));
        TestPlatform t;
        auto& shp = t.gis.AddWorkspace(FactoryKind::Shapefile, "/data/");
        t.gis.Add(shp, t.gis.FeatureClass("fc", r.fk, r.sk));
        DataItems items;
        ASSERT_EQ(GetShapeFilesEx(t, "/data/", items), 1);
        EXPECT_EQ(items[1].DataType, r.shp);
        EXPECT_EQ(items[1].DataTypeDesc, "Shape File");
        EXPECT_EQ(items[1].DataName, "fc.shp");

        auto& mdb = t.gis.AddWorkspace(FactoryKind::PersonalGeodatabase, "/data/g.mdb");
        t.gis.Add(mdb, t.gis.FeatureClass("fc", r.fk, r.sk));
        items.assign(1, {});
        ASSERT_EQ(GetPGMdbFiles(t, "/data/g.mdb", items, 0), 1);
        EXPECT_EQ(items[1].DataType, r.pgdb);
        EXPECT_EQ(items[1].DataTypeDesc, "Feature Class");
        EXPECT_EQ(items[1].DataLocation, dlPersonalGdb);

        auto& cad = t.gis.AddWorkspace(FactoryKind::Cad, "/data");
        auto drawing = t.gis.Name("plan.dxf", gis::kind::kFeatureDataset);
        drawing->subsets = {t.gis.FeatureClass("fc", r.fk, r.sk)};
        t.gis.Add(cad, drawing);
        items.assign(1, {});
        EXPECT_EQ(GetCadFiles(t, "/data/plan.dxf", items, 0), r.cad < 0 ? 0 : 1);
        if (r.cad >= 0) {
            EXPECT_EQ(items[1].DataType, r.cad);
            EXPECT_EQ(items[1].DataTypeDesc, "CAD Feature Class");
            EXPECT_EQ(items[1].DataFullName, "/data/plan.dxf");
        }
        EXPECT_TRUE(t.LogEntries().empty());
    }
}

TEST(Shapefiles, ANameWithoutDetailsFailsAndKeepsWhatWasWritten) {
    TestPlatform t;
    auto& shp = t.gis.AddWorkspace(FactoryKind::Shapefile, "/d/");
    t.gis.Add(shp, t.gis.FeatureClass("a", 1, 1));
    t.gis.Add(shp, t.gis.Name("b", gis::kind::kFeatureClass)); // no details
    t.gis.Add(shp, t.gis.FeatureClass("c", 1, 1));
    DataItems items;
    EXPECT_EQ(GetShapeFilesEx(t, "/d/", items), 2);
    EXPECT_EQ(items.size(), 3u);
    ASSERT_EQ(t.LogEntries().size(), 1u);
    EXPECT_EQ(t.LogEntries()[0].position, "Marbrook.basOpenDialogs.GetShapeFilesEx:105");
}

TEST(PersonalGdb, FiltersChooseWhatIsListedAndClassified) {
    struct Case {
        std::int16_t filter;
        std::vector<std::pair<std::string, int>> expected; // name, DataType
    };
    const std::vector<Case> cases = {
        {0, {{"Hydro", 24}, {"wells", 10}, {"dem", 25}}},
        {3, {{"Hydro", 24}, {"wells", 10}, {"dem", 0}}}, // geographic includes rasters here
        {4, {{"dem", 25}}},
        {1, {}},
        {2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("filter " + std::to_string(c.filter));
        TestPlatform t;
        auto& ws = t.gis.AddWorkspace(FactoryKind::PersonalGeodatabase, "/d/g.mdb");
        t.gis.Add(ws, t.gis.Name("Hydro", gis::kind::kFeatureDataset));
        t.gis.Add(ws, t.gis.FeatureClass("wells", 1, 1));
        t.gis.Add(ws, t.gis.Name("dem", gis::kind::kRasterDataset));
        t.gis.Add(ws, t.gis.Name("owners", gis::kind::kTable));
        DataItems items(1);
        EXPECT_EQ(GetPGMdbFiles(t, "/d/g.mdb", items, c.filter), static_cast<long>(c.expected.size()));
        ASSERT_EQ(items.size(), c.expected.size() + 1);
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const DataItem& it = items[i + 1];
            EXPECT_EQ(it.DataName, c.expected[i].first);
            EXPECT_EQ(it.DataType, c.expected[i].second);
            EXPECT_EQ(it.DataFullName, "/d/g.mdb");
            EXPECT_EQ(it.DataLocation, it.DataType == dtFeatureDataset ? dlPgdbFeatureDataset : dlPersonalGdb);
            if (it.DataType == 0) {
                EXPECT_TRUE(it.DataTypeDesc.empty());
            }
        }
        if (c.filter == 1 || c.filter == 2) {
            EXPECT_EQ(t.gis.Calls("OpenWorkspace"), 0);
        }
    }
}

TEST(CadDrawing, NamesMatchExactlyAndFilterFourLeavesMembersUnclassified) {
    TestPlatform t;
    auto& cad = t.gis.AddWorkspace(FactoryKind::Cad, "/d");
    auto drawing = t.gis.Name("Plan.dwg", gis::kind::kFeatureDataset);
    drawing->subsets = {t.gis.FeatureClass("Annotation", 12, 1), t.gis.FeatureClass("Point", 1, 1),
                        t.gis.FeatureClass("MultiPatch", 1, 9), t.gis.Name("Plan.dwg", gis::kind::kCadDrawing)};
    t.gis.Add(cad, drawing);
    DataItems items(1);
    EXPECT_EQ(GetCadFiles(t, "/d/plan.dwg", items, 0), 0); // case differs: not found
    EXPECT_EQ(items.size(), 1u);
    EXPECT_EQ(GetCadFiles(t, "/d/Plan.dwg", items, 0), 2);
    EXPECT_EQ(Names(items), (std::vector<std::string>{"Annotation", "Point"}));
    EXPECT_EQ(items[1].DataType, dtAnnotationFeatureClass);
    items.assign(1, {});
    // Under the raster filter every member, the multipatch one included,
    // is listed unclassified.
    EXPECT_EQ(GetCadFiles(t, "/d/Plan.dwg", items, 4), 3);
    EXPECT_EQ(Names(items), (std::vector<std::string>{"Annotation", "Point", "MultiPatch"}));
    for (std::size_t i = 1; i < items.size(); ++i) EXPECT_EQ(items[i].DataType, dtUnclassified);
    EXPECT_EQ(GetCadFiles(t, "/d/Plan.dwg", items, 1), 0);
    EXPECT_EQ(items.size(), 4u);
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(CadDrawing, AFolderWithoutCadWorkspaceIsALoggedFailure) {
    TestPlatform t;
    DataItems items(1);
    EXPECT_EQ(GetCadFiles(t, "/nowhere/a.dxf", items, 0), 0);
    EXPECT_EQ(GetCADFilesDatasetName(t, "/nowhere/", "a.dxf"), nullptr);
    const auto log = t.LogEntries();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.GetCadFiles:102");
    EXPECT_EQ(log[1].position, "Marbrook.basOpenDialogs.GetCADFilesDatasetName:100");
}

} // namespace
} // namespace marbrook
