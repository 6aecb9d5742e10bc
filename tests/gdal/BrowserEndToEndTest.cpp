// The open-data dialog from end to end on real folders written with GDAL:
// "the user" walks the catalogue in the browser form, and GetLayersByDlg
// returns real layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "browser/frmOpenDialog.h"
#include "interface/CLayerFunctionExport.h"
#include "catalogue/CLayerObj.h"
#include "interface/COpenLayerDlg.h"
#include "platform/gdal/GdalGis.h"
#include "platform/platform.h"
#include "support/Globals.h"
#include "support/Text.h"
#include "tests/doubles/BrowserScript.h"
#include "tests/doubles/FakeSystem.h"
#include "tests/doubles/ScriptedUi.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using testing::IsolatedHome;
using testing::TempDir;


// One feature of the kind each shapefile holds.
void WriteShapefile(const std::string& folder, const std::string& name, OGRwkbGeometryType type) {
    const char* wkt = type == wkbPoint ? "POINT (1 2)" : type == wkbLineString ? "LINESTRING (0 0,1 1)" : "POLYGON ((0 0,1 0,1 1,0 0))";
    testing::WriteShapefile(folder, name, type, {wkt});
}

// The platform of one test: GDAL, the scripted window system, the real file
// system with drives chosen by the test.
struct GdalWorld {
    GdalWorld() {
        gdal::InitGdal();
        ResetProcessValues();
        system.drives = {{"/", 3}, {drive.Path(), 3}};
    }
    ~GdalWorld() { ResetProcessValues(); }

    std::string Folder(const std::string& relative) {
        const std::string path = drive / relative;
        fs::create_directories(path);
        return path;
    }
    [[nodiscard]] std::vector<std::string> BrowserLogPositions() const {
        std::vector<std::string> out;
        const std::string log = home.LibraryFolder() + "/libmarbrook.err";
        if (!fs::exists(log)) return out;
        const std::string text = testing::ReadFile(log);
        for (std::size_t p = text.find("Position:"); p != std::string::npos; p = text.find("Position:", p + 1)) {
            const std::string line = text.substr(p, text.find('\r', p) - p);
            if (line.find("frmOpenDialog") != std::string::npos) out.push_back(line);
        }
        return out;
    }

    IsolatedHome home;
    TempDir drive;
    std::unique_ptr<gis::GisService> gis = gdal::NewGdalGis();
    testing::ScriptedUi ui;
    testing::FakeSystem system;
    Platform platform{*gis, ui, system};
};

// drive/data/maps with two shapefiles of lines and one of points, a polygon
// shapefile, a GeoTIFF, a drawing, a subfolder three levels deep, and the
// folders roads, "rivers " and towns.
struct MapsFolder {
    explicit MapsFolder(GdalWorld& w) : data(w.Folder("data")), maps(w.Folder("data/maps")) {
        WriteShapefile(maps, "roads", wkbLineString);
        WriteShapefile(maps, "rivers", wkbLineString);
        WriteShapefile(maps, "towns", wkbPoint);
        WriteShapefile(maps, "parcels", wkbPolygon);
        testing::WriteRaster("GTiff", maps + "/dem.tif", 8, 8);
        testing::WriteDxf(maps + "/plan.dxf");
        w.Folder("data/maps/archive/2019");
        for (const char* name : {"roads", "rivers ", "towns"}) w.Folder(std::string("names/") + name);
    }
    std::string data, maps;
};

void EnterMaps(GdalWorld& w, frmOpenDialog& form) {
    ASSERT_TRUE(testing::DoubleClick(form, w.drive.Path()));
    ASSERT_TRUE(testing::DoubleClick(form, "data"));
    ASSERT_TRUE(testing::DoubleClick(form, "maps"));
}

TEST(BrowserEndToEnd, ChoosesTwoShapefilesAndARasterAndGetsLayersInGroupOrder) {
    GdalWorld w;
    MapsFolder folder(w);
    // The remembered location is empty: the dialog opens at the root.
    w.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", "");
    Names atRoot;
    testing::OnBrowser(w.ui, [&](frmOpenDialog& form) {
        atRoot = testing::ItemNames(form);
        EXPECT_EQ(testing::CurrentLocation(form), "数据目录");
        EnterMaps(w, form);
        EXPECT_EQ(testing::CurrentLocation(form), "maps");
        ASSERT_TRUE(testing::SelectItems(form, {"roads.shp", "towns.shp", "dem.tif"}));
        EXPECT_TRUE(testing::PressAdd(form));
    });
    CLayerFunctionExport api(w.platform);
    const auto layers = api.GetLayersByDlg(77, true);
    EXPECT_EQ(w.ui.PendingActions(), 0u);
    EXPECT_EQ(atRoot, (Names{"/", w.drive.Path()}));
    ASSERT_TRUE(layers.has_value());
    ASSERT_EQ(layers->Count(), 3);
    // Group order: point, line, raster.
    const auto first = layers->ItemAs<gis::Layer>(1), second = layers->ItemAs<gis::Layer>(2),
               third = layers->ItemAs<gis::Layer>(3);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->Name(), "towns");
    EXPECT_EQ(second->Name(), "roads");
    EXPECT_EQ(third->Kind(), gis::LayerKind::Raster);
    EXPECT_TRUE(first->Valid() && second->Valid() && third->Valid());
    EXPECT_EQ(gsCurDir, folder.maps);
    EXPECT_EQ(w.system.GetSetting("VERDANTA", "OPENDLG", "CURDIR"), folder.maps);
    EXPECT_TRUE(w.BrowserLogPositions().empty());
}

TEST(BrowserEndToEnd, ASecondDialogReplaysTheRememberedFolder) {
    GdalWorld w;
    MapsFolder folder(w);
    testing::OnBrowser(w.ui, [&](frmOpenDialog& form) {
        testing::PickLocation(form, "数据目录");
        EnterMaps(w, form);
        ASSERT_TRUE(testing::DoubleClick(form, "archive"));
        EXPECT_TRUE(testing::PressCancel(form));
    });
    CLayerFunctionExport api(w.platform);
    EXPECT_FALSE(api.GetLayersByDlg(77, true).has_value());
    ASSERT_EQ(w.system.GetSetting("VERDANTA", "OPENDLG", "CURDIR"), folder.maps + "/archive");

    // The next dialog opens where the user was, through "/" and each level.
    Names shown, locations;
    std::string current;
    const auto look = [&](frmOpenDialog& form) {
        shown = testing::ItemNames(form);
        locations = testing::LocationNames(form);
        current = testing::CurrentLocation(form);
        testing::PressCancel(form);
    };
    testing::OnBrowser(w.ui, look);
    EXPECT_FALSE(api.GetLayersByDlg(77, true).has_value());
    EXPECT_EQ(shown, (Names{"2019"}));
    ASSERT_GE(locations.size(), 4u);
    EXPECT_EQ(locations[1], "/");
    EXPECT_EQ(current, "archive");
    // The levels sit below "/" in order; the other drive follows them.
    const auto data = std::find(locations.begin(), locations.end(), "data");
    ASSERT_LE(data + 3, locations.end());
    EXPECT_EQ(Names(data, data + 3), (Names{"data", "maps", "archive"}));

    // A remembered path with a level that the list does not show (an empty
    // level of a doubled separator): that level is skipped, the next ones are
    // looked for in the list as it then stands.
    w.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", folder.data + "//maps");
    testing::OnBrowser(w.ui, look);
    EXPECT_FALSE(api.GetLayersByDlg(77, true).has_value());
    EXPECT_EQ(current, "maps");
    EXPECT_NE(std::find(shown.begin(), shown.end(), "roads.shp"), shown.end());
    EXPECT_TRUE(w.BrowserLogPositions().empty());
}

TEST(BrowserEndToEnd, NavigationByDoubleClickUpAndTheLocationCombo) {
    GdalWorld w;
    MapsFolder folder(w);
    testing::OnBrowser(w.ui, [&](frmOpenDialog& form) {
        testing::PickLocation(form, "数据目录");
        EnterMaps(w, form);
        ASSERT_TRUE(testing::DoubleClick(form, "archive"));
        ASSERT_TRUE(testing::DoubleClick(form, "2019"));
        const Names deep = testing::LocationNames(form);
        // The entry already shown: nothing changes.
        testing::PickLocation(form, "2019");
        EXPECT_EQ(testing::LocationNames(form), deep);
        // Up from three levels below the drive's "data".
        ASSERT_TRUE(testing::PressUp(form));
        EXPECT_EQ(testing::CurrentLocation(form), "archive");
        EXPECT_EQ(testing::ItemNames(form), (Names{"2019"}));
        ASSERT_TRUE(testing::DoubleClick(form, "2019"));
        // Two levels above the deepest entry: only the deepest entry goes.
        testing::PickLocation(form, "maps");
        Names expected = deep;
        expected.pop_back();
        EXPECT_EQ(testing::LocationNames(form), expected);
        EXPECT_EQ(testing::CurrentLocation(form), "maps");
        const Names items = testing::ItemNames(form);
        EXPECT_NE(std::find(items.begin(), items.end(), "towns.shp"), items.end());
        // A double-click on a shapefile closes the dialog with it alone.
        ASSERT_TRUE(testing::DoubleClick(form, "towns.shp"));
    });
    CLayerFunctionExport api(w.platform);
    const auto layers = api.GetLayersByDlg(77, true);
    EXPECT_EQ(w.ui.PendingActions(), 0u);
    ASSERT_TRUE(layers.has_value());
    ASSERT_EQ(layers->Count(), 1);
    EXPECT_EQ(layers->ItemAs<gis::Layer>(1)->Name(), "towns");
    EXPECT_EQ(gsCurDir, folder.maps);
    EXPECT_TRUE(w.BrowserLogPositions().empty());
}

TEST(BrowserEndToEnd, ViewSwitchesOnARealFolder) {
    GdalWorld w;
    MapsFolder folder(w);
    testing::OnBrowser(w.ui, [&](frmOpenDialog& form) {
        testing::PickLocation(form, "数据目录");
        EnterMaps(w, form);
        const Names listed = testing::ItemNames(form);
        for (const int view : {3, 3, 0, 2}) {
            SCOPED_TRACE(view);
            ASSERT_TRUE(testing::ClickItem(form, "roads.shp"));
            testing::PressView(form, view);
            EXPECT_EQ(testing::ItemNames(form), listed);
            EXPECT_EQ(form.LVDataList.SelectedCount(), 0);
            EXPECT_FALSE(form.CmdAddData.Enabled());
            if (view != 3) continue;
            EXPECT_EQ(form.LVDataList.Columns().size(), 3u);
            // Every item is there; a shapefile's alias is its own name, which
            // the column beside the name does not repeat.
            for (const auto& item : form.LVDataList.Items()) {
                SCOPED_TRACE(item.text);
                ASSERT_EQ(item.subItems.size(), 2u);
                EXPECT_EQ(item.subItems[0], "");
                EXPECT_FALSE(item.subItems[1].empty());
            }
        }
        testing::PressCancel(form);
    });
    CLayerFunctionExport api(w.platform);
    EXPECT_FALSE(api.GetLayersByDlg(77, true).has_value());
    EXPECT_EQ(w.ui.PendingActions(), 0u);
    EXPECT_TRUE(w.BrowserLogPositions().empty());
}

TEST(BrowserEndToEnd, MultiSelectionNamesAndAnAppendingCollection) {
    GdalWorld w;
    MapsFolder folder(w);
    COpenLayerDlg dialog(w.platform);
    std::string names;
    std::string expected;
    testing::OnBrowser(w.ui, [&](frmOpenDialog& form) {
        testing::PickLocation(form, "数据目录");
        ASSERT_TRUE(testing::DoubleClick(form, w.drive.Path()));
        ASSERT_TRUE(testing::DoubleClick(form, "names"));
        ASSERT_TRUE(testing::SelectItems(form, {"towns", "rivers ", "roads"}));
        names = form.TxtDataName.Text();
        // Names come in list order; the file system decides that order.
        for (const auto& item : form.LVDataList.Items())
            if (item.selected) expected += (expected.empty() ? "" : ";") + text::Trim(item.text);
        testing::PressAdd(form);
    });
    Collection chosen;
    chosen.Add(std::make_shared<CLayerObj>());
    chosen.Add(std::make_shared<CLayerObj>());
    ASSERT_TRUE(dialog.DoModalOpen(77, chosen));
    EXPECT_EQ(names, expected);
    EXPECT_EQ(names.size(), std::string("roads;rivers;towns").size());
    for (const char* name : {"roads", "rivers", "towns"}) EXPECT_NE(names.find(name), std::string::npos) << name;
    EXPECT_EQ(chosen.Count(), 5);
    ASSERT_NE(dialog.Dialog(), nullptr);
    Collection more;
    more.Add(std::make_shared<CLayerObj>());
    EXPECT_EQ(dialog.Dialog()->GetSelectDataset(more), 4);
}

TEST(BrowserEndToEnd, ABrokenShapefileDoesNotShortenTheReportView) {
    GdalWorld w;
    MapsFolder folder(w);
    testing::WriteFile(folder.maps + "/broken.shp", std::string(100, 'x'));
    testing::WriteFile(folder.maps + "/broken.dbf", "not a table");
    Names inList, inReport;
    testing::OnBrowser(w.ui, [&](frmOpenDialog& form) {
        testing::PickLocation(form, "数据目录");
        EnterMaps(w, form);
        inList = testing::ItemNames(form);
        testing::PressView(form, 3);
        inReport = testing::ItemNames(form);
        for (const auto& item : form.LVDataList.Items()) {
            SCOPED_TRACE(item.text);
            EXPECT_EQ(item.subItems.size(), 2u);
            if (item.text == "broken.shp") {
                EXPECT_EQ(item.subItems.at(0), "");
            }
        }
        testing::PressCancel(form);
    });
    CLayerFunctionExport api(w.platform);
    EXPECT_FALSE(api.GetLayersByDlg(77, true).has_value());
    EXPECT_NE(std::find(inList.begin(), inList.end(), "broken.shp"), inList.end());
    EXPECT_EQ(inReport, inList);
    const auto logged = w.BrowserLogPositions();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("Marbrook.frmOpenDialog.RefreshDataListEx:"), std::string::npos);
}

// ---- Filters ---------------------------------------------------------------------

struct FilterRow {
    std::int16_t code;
    Names folder;   // what drive/data/maps lists (containers first)
    bool gdbFeatureClasses; // the personal geodatabase lists its feature classes
    bool drawingClasses;    // the drawing lists its classes
    bool drawingClassified; // ... with their geometry kinds
};

Names ListWithFilter(GdalWorld& w, std::int16_t code, const std::function<void(frmOpenDialog&)>& walk) {
    COpenLayerDlg dialog(w.platform);
    dialog.FilterType(code);
    Names shown;
    testing::OnBrowser(w.ui, [&](frmOpenDialog& form) {
        testing::PickLocation(form, "数据目录");
        walk(form);
        shown = testing::ItemNames(form);
        testing::PressCancel(form);
    });
    Collection chosen;
    EXPECT_FALSE(dialog.DoModalOpen(77, chosen));
    return shown;
}

TEST(BrowserEndToEnd, EachFilterOnAFolderAGeodatabaseAndADrawing) {
    if (!testing::HaveSharedDir()) GTEST_SKIP() << testing::NoSharedDir();
    const std::string mdb = testing::Sample("pgeo/fd_sample.mdb");
    GdalWorld w;
    MapsFolder folder(w);
    fs::create_symlink(mdb, folder.maps + "/sample.mdb");
    const Names containers{"plan.dxf", "sample.mdb", "archive"};
    const auto sorted = [](Names n) {
        std::sort(n.begin(), n.end());
        return n;
    };
    const Names shapes{"parcels.shp", "rivers.shp", "roads.shp", "towns.shp"};
    Names all = containers;
    all.insert(all.end(), shapes.begin(), shapes.end());
    all.push_back("dem.tif");
    Names withShapes = containers;
    withShapes.insert(withShapes.end(), shapes.begin(), shapes.end());
    Names withRaster = containers;
    withRaster.push_back("dem.tif");

    const Names gdbAll = ListWithFilter(w, 0, [&](frmOpenDialog& f) {
        EnterMaps(w, f);
        testing::DoubleClick(f, "sample.mdb");
    });
    ASSERT_FALSE(gdbAll.empty());
    const Names drawingAll = ListWithFilter(w, 0, [&](frmOpenDialog& f) {
        EnterMaps(w, f);
        testing::DoubleClick(f, "plan.dxf");
    });
    ASSERT_FALSE(drawingAll.empty());

    for (const std::int16_t code : {0, 1, 2, 3, 4, 5, 6, 7, 8, 12}) {
        SCOPED_TRACE("filter " + std::to_string(code));
        const bool everything = code == 0 || code == 12;
        const Names expectedFolder = everything ? all : code == 1 ? withShapes : code == 2 ? withRaster : containers;
        EXPECT_EQ(sorted(ListWithFilter(w, code, [&](frmOpenDialog& f) { EnterMaps(w, f); })), sorted(expectedFolder));

        const Names gdb = ListWithFilter(w, code, [&](frmOpenDialog& f) {
            EnterMaps(w, f);
            testing::DoubleClick(f, "sample.mdb");
        });
        if (everything) {
            EXPECT_EQ(gdb, gdbAll);
        } else if (code == 3) {
            EXPECT_FALSE(gdb.empty());
        } else if (code != 4) {
            EXPECT_TRUE(gdb.empty());
        }

        const Names drawing = ListWithFilter(w, code, [&](frmOpenDialog& f) {
            EnterMaps(w, f);
            testing::DoubleClick(f, "plan.dxf");
        });
        if (everything || code == 3) {
            EXPECT_EQ(drawing, drawingAll);
        } else if (code == 4) {
            // Unclassified, so nothing is left out for its geometry.
            for (const auto& name : drawingAll)
                EXPECT_NE(std::find(drawing.begin(), drawing.end(), name), drawing.end()) << name;
        } else {
            EXPECT_TRUE(drawing.empty());
        }
    }
    EXPECT_TRUE(w.BrowserLogPositions().empty());
}


TEST(BrowserEndToEnd, AFileGeodatabaseAndAGeoPackageAreEnteredAsDatabasesAndGiveLayers) {
    GdalWorld w;
    MapsFolder folder(w);
    {
        auto gdb = testing::CreateVector("OpenFileGDB", folder.maps + "/water.gdb");
        const char* inHydro[] = {"FEATURE_DATASET=hydro", nullptr};
        OGRLayer* wells = gdb->CreateLayer("wells", nullptr, wkbPoint, const_cast<char**>(inHydro));
        ASSERT_TRUE(wells);
        testing::AddFeature(*wells, "POINT (1 2)");
        auto gpkg = testing::CreateVector("GPKG", folder.maps + "/city.gpkg");
        OGRLayer* parcels = gpkg->CreateLayer("parcels", nullptr, wkbPolygon, nullptr);
        testing::AddFeature(*parcels, "POLYGON ((0 0,0 1,1 1,0 0))");
    }
    w.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", "");
    Names inMaps, inGdb, inHydro, inGpkg;
    testing::OnBrowser(w.ui, [&](frmOpenDialog& form) {
        EnterMaps(w, form);
        inMaps = testing::ItemNames(form);
        ASSERT_TRUE(testing::DoubleClick(form, "water.gdb"));
        inGdb = testing::ItemNames(form);
        ASSERT_TRUE(testing::DoubleClick(form, "hydro"));
        inHydro = testing::ItemNames(form);
        ASSERT_TRUE(testing::SelectItems(form, {"wells"}));
        EXPECT_TRUE(testing::PressAdd(form));
    });
    CLayerFunctionExport api(w.platform);
    const auto layers = api.GetLayersByDlg(77, true);
    ASSERT_TRUE(layers.has_value());
    ASSERT_EQ(layers->Count(), 1);
    EXPECT_EQ(layers->ItemAs<gis::Layer>(1)->Name(), "wells");
    EXPECT_NE(std::find(inMaps.begin(), inMaps.end(), "water.gdb"), inMaps.end());
    EXPECT_EQ(inGdb, (Names{"hydro"}));
    EXPECT_EQ(inHydro, (Names{"wells"}));

    // Add on a selected GeoPackage enters it, as on a .mdb.
    testing::OnBrowser(w.ui, [&](frmOpenDialog& form) {
        EnterMaps(w, form);
        ASSERT_TRUE(testing::SelectItems(form, {"city.gpkg"}));
        EXPECT_TRUE(testing::PressAdd(form));
        inGpkg = testing::ItemNames(form);
        testing::PressCancel(form);
    });
    const auto none = api.GetLayersByDlg(77, true);
    EXPECT_TRUE(!none || none->Count() == 0);
    EXPECT_EQ(inGpkg, (Names{"parcels"}));
    EXPECT_TRUE(w.BrowserLogPositions().empty());
}

} // namespace
} // namespace marbrook
