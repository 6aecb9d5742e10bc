// The file-based stores of the GDAL back end, through the catalogue's
// enumerators, on files GDAL wrote and on the real files GDAL cannot write.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <thread>

#include "catalogue/basOpenDialogs.h"
#include "platform/gdal/detail/FileStores.h"
#include "support/Failure.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

using gis::FactoryKind;
using testing::GdalWorld;
using testing::TempDir;
using testing::Sample;
using testing::WriteFile;

std::map<std::string, int> TypesByName(const DataItems& items) {
    std::map<std::string, int> out;
    for (std::size_t i = 1; i < items.size(); ++i) out[items[i].DataName] = items[i].DataType;
    return out;
}

std::string ShpHeader(std::uint32_t code, std::uint32_t version, std::uint32_t type, std::size_t size = 100) {
    std::string h(size, '\0');
    if (size < 36) return h;
    h[0] = static_cast<char>(code >> 24);
    h[1] = static_cast<char>(code >> 16);
    h[2] = static_cast<char>(code >> 8);
    h[3] = static_cast<char>(code);
    for (int i = 0; i < 4; ++i) {
        h[28 + i] = static_cast<char>(version >> (8 * i));
        h[32 + i] = static_cast<char>(type >> (8 * i));
    }
    return h;
}

TEST(ShpHeader, ShapeKindsFromTheFirstHundredBytes) {
    struct Row {
        std::string header;
        std::optional<int> kind;
    };
    const std::vector<Row> rows = {
        {ShpHeader(9994, 1000, 1), 1},  {ShpHeader(9994, 1000, 11), 1}, {ShpHeader(9994, 1000, 21), 1},
        {ShpHeader(9994, 1000, 3), 3},  {ShpHeader(9994, 1000, 23), 3}, {ShpHeader(9994, 1000, 5), 4},
        {ShpHeader(9994, 1000, 15), 4}, {ShpHeader(9994, 1000, 8), 2},  {ShpHeader(9994, 1000, 28), 2},
        {ShpHeader(9994, 1000, 31), 9}, {ShpHeader(9994, 1000, 0), 0},  {ShpHeader(9994, 1000, 2), std::nullopt},
        {ShpHeader(9995, 1000, 1), std::nullopt}, {ShpHeader(9994, 999, 1), std::nullopt},
        {ShpHeader(9994, 1000, 1, 99), std::nullopt}, {"", std::nullopt},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(gdal::ParseShpHeader(rows[i].header), rows[i].kind);
    }
}

TEST(Shapefiles, EveryGeometryIsClassifiedFromItsHeader) {
    GdalWorld w;
    TempDir dir;
    using testing::WriteShapefile;
    WriteShapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)", "POINT (2 2)"});
    WriteShapefile(dir.Path(), "wellsz", wkbPoint25D, {"POINT Z (1 1 1)"});
    WriteShapefile(dir.Path(), "roads", wkbLineString, {"LINESTRING (0 0,1 1)"});
    WriteShapefile(dir.Path(), "roadsm", wkbLineStringM, {"LINESTRING M (0 0 1,1 1 2)"});
    WriteShapefile(dir.Path(), "parcels", wkbPolygon, {"POLYGON ((0 0,0 1,1 1,0 0))"});
    WriteShapefile(dir.Path(), "parcelszm", wkbPolygonZM, {"POLYGON ZM ((0 0 0 0,0 1 0 0,1 1 0 0,0 0 0 0))"});
    WriteShapefile(dir.Path(), "trees", wkbMultiPoint, {"MULTIPOINT ((0 0),(1 1))"});
    WriteShapefile(dir.Path(), "buildings", wkbTINZ, {"TIN Z (((0 0 0,0 1 0,1 1 1,0 0 0)))"}, "MULTIPATCH");
    WriteFile(dir / "broken.shp", "not a shapefile at all");

    DataItems items;
    const long n = GetShapeFilesEx(w.p, dir.Path() + "/", items);
    ASSERT_EQ(n, 9);
    const std::map<std::string, int> expected = {
        {"wells.shp", 10}, {"wellsz.shp", 10}, {"roads.shp", 11}, {"roadsm.shp", 11},  {"parcels.shp", 12},
        {"parcelszm.shp", 12}, {"trees.shp", 10}, {"buildings.shp", 12}, {"broken.shp", 0},
    };
    EXPECT_EQ(TypesByName(items), expected);
    for (std::size_t i = 1; i < items.size(); ++i) {
        EXPECT_EQ(items[i].DataTypeDesc, "Shape File");
        EXPECT_EQ(items[i].DataFullName, dir.Path() + "/" + items[i].DataName);
    }
    EXPECT_TRUE(w.t.LogEntries().empty());

    // Opening: the feature class reads its data; the broken file says why.
    for (std::size_t i = 1; i < items.size(); ++i) {
        const DataItem& it = items[i];
        SCOPED_TRACE(it.DataName);
        if (it.DataName == "broken.shp") {
            EXPECT_THROW((void)w.gis->OpenName(*it.pDataSetObj), PlatformError);
            continue;
        }
        const auto fc = gis::AsFeatureClass(w.gis->OpenName(*it.pDataSetObj));
        EXPECT_EQ(fc->AliasName(), it.DataName.substr(0, it.DataName.size() - 4));
        EXPECT_EQ(fc->FeatureKind(), 1);
        EXPECT_EQ(fc->FeatureCount(), it.DataName == "wells.shp" ? 2 : 1);
        EXPECT_EQ(fc->FullName(), it.pDataSetObj);
        if (it.DataName == "buildings.shp") {
            EXPECT_EQ(fc->ShapeKind(), 9);
        }
    }
}

TEST(Rasters, OnlyRasterFilesAndGridFoldersAreListedNeverSidecars) {
    GdalWorld w;
    TempDir dir;
    testing::WriteRaster("GTiff", dir / "dem.tif", 4, 3);
    WriteFile(dir / "dem.tfw", "1\n0\n0\n-1\n100\n200\n");
    WriteFile(dir / "dem.tif.aux.xml", "<PAMDataset/>");
    testing::WriteRaster("HFA", dir / "landuse.img", 5, 5);
    testing::WriteRaster("AAIGrid", dir / "heights.asc", 2, 2);
    WriteFile(dir / "fake.tif", "not a tiff");
    WriteFile(dir / "notes.txt", "x");
    testing::WriteShapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)"});
    std::filesystem::create_directory(dir / "grid");
    WriteFile(dir / "grid/hdr.adf", "");
    std::filesystem::create_directory(dir / "plain");

    DataItems items;
    ASSERT_EQ(GetRasterFilesEx(w.p, dir.Path() + "/", items), 4);
    auto names = TypesByName(items);
    EXPECT_EQ(names, (std::map<std::string, int>{{"dem.tif", 13}, {"grid", 13}, {"heights.asc", 13}, {"landuse.img", 13}}));
    for (std::size_t i = 1; i < items.size(); ++i) {
        if (items[i].DataName == "grid") continue;
        const auto raster = gis::AsRasterDataset(w.gis->OpenName(*items[i].pDataSetObj));
        EXPECT_EQ(raster->Name(), items[i].DataName);
        if (items[i].DataName == "dem.tif") {
            EXPECT_EQ(raster->Width(), 4);
            EXPECT_EQ(raster->Height(), 3);
        }
    }
    EXPECT_TRUE(w.t.LogEntries().empty());
}

TEST(Rasters, ArcInfoGridsAreOneDatasetEach) {
    if (!testing::HaveSharedDir()) GTEST_SKIP() << testing::NoSharedDir();
    GdalWorld w;
    DataItems items;
    ASSERT_EQ(GetRasterFilesEx(w.p, Sample("aig/"), items), 2);
    auto names = TypesByName(items);
    EXPECT_EQ(names.count("abc3x1"), 1u);
    EXPECT_EQ(names.count("mygrid"), 1u);
    for (std::size_t i = 1; i < items.size(); ++i) {
        const auto raster = gis::AsRasterDataset(w.gis->OpenName(*items[i].pDataSetObj));
        EXPECT_GT(raster->Width(), 0);
    }
}

TEST(Drawings, DxfClassesAreFilteredViewsOfTheEntities) {
    GdalWorld w;
    TempDir dir;
    testing::WriteDxf(dir / "site.dxf");
    WriteFile(dir / "faces.DXF", testing::FacesDxf());

    DataItems items;
    ASSERT_EQ(GetCadFiles(w.p, dir / "site.dxf", items, 0), 4);
    EXPECT_EQ(TypesByName(items),
              (std::map<std::string, int>{{"Annotation", 23}, {"Point", 10}, {"Polyline", 11}, {"Polygon", 12}}));
    for (std::size_t i = 1; i < items.size(); ++i) {
        SCOPED_TRACE(items[i].DataName);
        EXPECT_EQ(items[i].DataTypeDesc, "CAD Feature Class");
        EXPECT_EQ(items[i].DataFullName, dir / "site.dxf");
        const auto fc = gis::AsFeatureClass(w.gis->OpenName(*items[i].pDataSetObj));
        EXPECT_EQ(fc->FeatureCount(), 1);
    }

    // The multipatch class holds the 3D faces but is not offered.
    auto ws = w.gis->CreateWorkspaceFactory(FactoryKind::Cad)->OpenWorkspaceFromFile(dir.Path(), 0);
    const auto drawings = ws->ListDatasetNames(gis::kind::kFeatureDataset);
    ASSERT_EQ(drawings.size(), 2u);
    for (const auto& d : drawings) {
        if (d->Name() != "faces.DXF") continue;
        const auto members = d->SubsetNames();
        ASSERT_EQ(members.size(), 6u);
        EXPECT_EQ(members[4]->Name(), "MultiPatch");
        EXPECT_EQ(gis::AsFeatureClass(w.gis->OpenName(*members[4]))->FeatureCount(), 2);
        EXPECT_EQ(gis::AsFeatureClass(w.gis->OpenName(*members[3]))->FeatureCount(), 0);
        EXPECT_EQ(members[5]->Kind(), gis::kind::kCadDrawing);
        const auto drawing = std::dynamic_pointer_cast<gis::CadDrawingDataset>(w.gis->OpenName(*members[5]));
        ASSERT_NE(drawing, nullptr);
        EXPECT_EQ(drawing->FilePath(), dir / "faces.DXF");
    }
    items.assign(1, {});
    // Every drawing offers the same classes; the multipatch one is left out.
    EXPECT_EQ(GetCadFiles(w.p, dir / "faces.DXF", items, 0), 4);
    EXPECT_NE(w.gis->OpenCadDrawingDataset(*ws, "site.dxf"), nullptr);
    EXPECT_THROW((void)w.gis->OpenCadDrawingDataset(*ws, "none.dxf"), PlatformError);
    EXPECT_TRUE(w.t.LogEntries().empty());
}

TEST(Drawings, FolderListingGivesEachDrawingItsDatasetName) {
    GdalWorld w;
    TempDir dir;
    testing::WriteDxf(dir / "a.dxf");
    testing::WriteDxf(dir / "b.dxf");
    std::string folder = dir.Path();
    DataItems items;
    ASSERT_EQ(GetSubFolderFiles(w.p, folder, items, 3), 2);
    for (std::size_t i = 1; i < items.size(); ++i) {
        ASSERT_NE(items[i].pDataSetObj, nullptr);
        EXPECT_EQ(items[i].pDataSetObj->Name(), items[i].DataName);
        EXPECT_EQ(items[i].pDataSetObj->Kind(), gis::kind::kFeatureDataset);
    }
}

TEST(Drawings, DwgR2000IsReadAndOtherReleasesAreNamedInTheFailure) {
    if (!testing::HaveSharedDir()) GTEST_SKIP() << testing::NoSharedDir();
    GdalWorld w;
    DataItems items;
    ASSERT_EQ(GetCadFiles(w.p, Sample("cad/line_r2000.dwg"), items, 0), 4);
    for (std::size_t i = 1; i < items.size(); ++i) {
        if (items[i].DataName != "Polyline") continue;
        EXPECT_GT(gis::AsFeatureClass(w.gis->OpenName(*items[i].pDataSetObj))->FeatureCount(), 0);
    }
    items.assign(1, {});
    EXPECT_EQ(GetCadFiles(w.p, Sample("cad/attribs.dwg"), items, 0), 0);
    const auto log = w.t.LogEntries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position.rfind("Marbrook.basOpenDialogs.GetCadFiles:", 0), 0u);
    EXPECT_NE(log[0].description.find("only DWG R2000 (AC1015) drawings can be read"), std::string::npos);
    EXPECT_EQ(gdal::DwgRelease("AC1018"), "R2004 (AC1018)");
}

TEST(PersonalGdb, CatalogueTablesGiveDatasetsClassesAndRasters) {
    if (!testing::HaveSharedDir()) GTEST_SKIP() << testing::NoSharedDir();
    GdalWorld w;
    struct Case {
        std::string file;
        std::int16_t filter;
        std::map<std::string, int> expected;
    };
    const std::vector<Case> cases = {
        {"fd_sample.mdb", 0, {{"Hydro", 24}, {"points", 10}, {"dem", 25}}},
        {"fd_sample.mdb", 4, {{"dem", 25}}},
        {"legacy.mdb", 0, {{"Hydro", 24}, {"Roads", 11}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " filter " + std::to_string(c.filter));
        DataItems items;
        GetPGMdbFiles(w.p, Sample("pgeo/" + c.file), items, c.filter);
        EXPECT_EQ(TypesByName(items), c.expected);
    }
    DataItems items;
    GetPGMdbFiles(w.p, Sample("pgeo/geometry_types.mdb"), items, 0);
    const auto types = TypesByName(items);
    EXPECT_EQ(types.at("multipatch"), 19);
    EXPECT_EQ(types.at("point_zm"), 10);
    EXPECT_EQ(types.at("line_m"), 11);
    EXPECT_EQ(types.at("polygon_z"), 12);
    EXPECT_TRUE(w.t.LogEntries().empty());

    // Members of a feature dataset; opening a class and a raster.
    items.assign(1, {});
    GetPGMdbFiles(w.p, Sample("pgeo/fd_sample.mdb"), items, 0);
    for (std::size_t i = 1; i < items.size(); ++i) {
        const auto& name = items[i].pDataSetObj;
        if (items[i].DataName == "Hydro") {
            std::vector<std::string> members;
            for (const auto& m : name->SubsetNames()) members.push_back(m->Name());
            std::sort(members.begin(), members.end());
            EXPECT_EQ(members, (std::vector<std::string>{"lines", "polys"}));
        } else if (items[i].DataName == "points") {
            const auto fc = gis::AsFeatureClass(w.gis->OpenName(*name));
            EXPECT_EQ(fc->AliasName(), "points");
            EXPECT_GT(fc->FeatureCount(), 0);
        } else if (items[i].DataName == "dem") {
            try {
                (void)w.gis->OpenName(*name);
                ADD_FAILURE() << "a raster in a personal geodatabase opened";
            } catch (const PlatformError& e) {
                EXPECT_NE(e.Description().find("rasters stored in a personal geodatabase cannot be read"), std::string::npos);
            }
        }
    }
}

TEST(PersonalGdb, TheInstallScriptDeclaresTheOdbcDriverGdalAsksFor) {
    // Not found through __FILE__: a compiler cache may write it relative to the build.
    const std::string script = testing::ReadFile(std::string(MARBROOK_SOURCE_DIR) + "/scripts/install-deps.sh");
    EXPECT_NE(script.find("[Microsoft Access Driver (*.mdb)]"), std::string::npos);
    EXPECT_NE(script.find("libmdbodbc.so"), std::string::npos);
}

// Runs `f` with the process's stderr sent to a file, and returns what was written.
template <class F>
std::string StderrOf(F&& f) {
    TempDir dir;
    const std::string path = dir / "stderr";
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(fd, 2);
    ::close(fd);
    f();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    return testing::ReadFile(path);
}

TEST(GdalMessages, FailuresOnAnyThreadPrintNothing) {
    TempDir dir;
    WriteFile(dir / "broken.shp", "garbage");
    WriteFile(dir / "broken.tif", "II*\0garbage");
    WriteFile(dir / "broken.dxf", "0\nSECTION\n2\nNOPE\n");
    WriteFile(dir / "broken.mdb", "not a database");
    const auto provoke = [&] {
        GdalWorld w;
        std::string folder = dir.Path();
        DataItems items;
        GetSubFolderFiles(w.p, folder, items, 0);
        for (std::size_t i = 1; i < items.size(); ++i)
            if (items[i].pDataSetObj) IgnoreFailure([&] { (void)w.gis->OpenName(*items[i].pDataSetObj); });
        GetCadFiles(w.p, dir / "broken.dxf", items, 0);
        IgnoreFailure([&] {
            (void)w.gis->OpenName(*GetCADFilesDatasetName(w.p, folder, "broken.dxf")->SubsetNames()[1]);
        });
        GetPGMdbFiles(w.p, dir / "broken.mdb", items, 0);
        // Even GDAL called directly on this thread stays quiet after we set it up.
        CPLError(CE_Failure, CPLE_AppDefined, "a failure nobody captured");
    };
    EXPECT_EQ(StderrOf(provoke), "");
    EXPECT_EQ(StderrOf([&] { std::thread(provoke).join(); }), "");
}

TEST(GdalMessages, ADrawingGdalWouldPrintAboutNeverReachesIt) {
    if (!testing::HaveSharedDir()) GTEST_SKIP() << testing::NoSharedDir();
    const std::string dwg = Sample("cad/attribs.dwg");
    // GDAL prints for this one even when probed quietly; we never let it see it.
    const auto provoke = [&] {
        GdalWorld w;
        DataItems items;
        EXPECT_EQ(GetCadFiles(w.p, dwg, items, 0), 0);
    };
    EXPECT_EQ(StderrOf(provoke), "");
    EXPECT_EQ(StderrOf([&] { std::thread(provoke).join(); }), "");
}

} // namespace
} // namespace marbrook
