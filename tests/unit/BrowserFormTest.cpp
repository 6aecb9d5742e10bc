// The data browser form on the in-memory catalogue: listings and views,
// navigation, the remembered location, filters, selection and the buttons.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <functional>

#include "browser/frmOpenDialog.h"
#include "connections/frmOpenWorkspace.h"
#include "catalogue/CLayerObj.h"
#include "platform/error.h"
#include "support/Globals.h"
#include "support/Text.h"
#include "tests/doubles/BrowserScript.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::TempDir;
using testing::TestPlatform;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

// One machine: a "drive" that is a temporary folder, a CD drive that is never
// listed, and the browser form. Folders made through Folder() are real and
// have (empty) shapefile and raster workspaces in the in-memory GIS.
class BrowserWorld {
public:
    explicit BrowserWorld(std::int16_t dataSourceType = 0) {
        giDataSourceType = dataSourceType;
        t.system.drives = {{drive.Path(), 3}, {"/media/cdrom", 5}};
        Listable(drive.Path());
        form.EnsureLoaded();
        form.msSdeDataPath = drive / "sde";
    }

    // Makes `relative` below the drive a real folder the catalogue can list.
    std::string Folder(const std::string& relative) {
        const std::string path = drive / relative;
        fs::create_directories(path);
        for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1))
            Listable(drive / relative.substr(0, slash));
        Listable(path);
        return path;
    }
    void Listable(const std::string& path) { testing::Listable(t.gis, path); }
    void ListableAlong(const std::string& path) { testing::ListableAlong(t.gis, path); }
    gis::DatasetNamePtr Shape(const std::string& folder, const std::string& name, int shapeKind,
                              const std::string& alias = {}) {
        auto& ws = *t.gis.FindWorkspace(gis::FactoryKind::Shapefile, folder + "/");
        return t.gis.Add(ws, t.gis.FeatureClass(name, gis::feature::kSimple, shapeKind, alias));
    }
    gis::DatasetNamePtr Raster(const std::string& folder, const std::string& name) {
        auto& ws = *t.gis.FindWorkspace(gis::FactoryKind::Raster, folder + "/");
        return t.gis.Add(ws, t.gis.Name(name, gis::kind::kRasterDataset));
    }
    void File(const std::string& path) { testing::WriteFile(path, "x"); }

    // The display as COpenLayerDlg starts it.
    void Open(std::int16_t filter = 0) {
        std::string sde = drive / "SdeData";
        form.InitDataList(sde);
        form.SetFilterType(filter);
    }
    void Enter(const std::string& name) {
        ASSERT_TRUE(testing::DoubleClick(form, name));
    }

    [[nodiscard]] std::vector<testing::LogEntry> Log() const {
        return fs::exists(t.ErrLogPath()) ? t.LogEntries() : std::vector<testing::LogEntry>{};
    }

    TestPlatform t;
    TempDir drive;
    frmOpenDialog form{t};
};

// A folder with a subfolder, two shapefiles and a raster file.
struct MixedFolder {
    explicit MixedFolder(BrowserWorld& w) : path(w.Folder("data")) {
        w.Folder("data/sub");
        roads = w.Shape(path, "roads", gis::shape::kPolyline, "Road network");
        towns = w.Shape(path, "towns", gis::shape::kPoint, "Towns");
        w.Raster(path, "dem.tif");
    }
    std::string path;
    gis::DatasetNamePtr roads, towns;
};

TEST(BrowserForm, LoadPointsTheConnectionFolderBesideTheLibrary) {
    TestPlatform t;
    frmOpenDialog form(t);
    form.mbOKClick = true;
    form.EnsureLoaded();
    EXPECT_EQ(form.msSdeDataPath, t.home.LibraryFolder() + "/sdedata");
    EXPECT_FALSE(form.mbOKClick);
}

TEST(BrowserForm, RootListsTheDrivesAndTheDatabaseRootOnlyForType1) {
    for (const std::int16_t type : {0, 1, 2}) {
        SCOPED_TRACE("data-source type " + std::to_string(type));
        BrowserWorld w(type);
        w.form.TxtDataName.SetText("left from the caller");
        w.Open();
        Names expected{w.drive.Path()};
        if (type == 1) expected.push_back("数据库连接");
        EXPECT_EQ(testing::ItemNames(w.form), expected);
        EXPECT_EQ(testing::LocationNames(w.form).front(), "数据目录");
        EXPECT_EQ(testing::CurrentLocation(w.form), "数据目录");
        EXPECT_EQ(w.form.TxtDataName.Text(), "");
        EXPECT_FALSE(w.form.CmdAddData.Enabled());
        EXPECT_EQ(w.form.LVDataList.View(), ui::ListView::kList);
        EXPECT_EQ(w.form.DataList()[0].DataName, "数据目录");
        ASSERT_EQ(w.form.ComboFilter.ListCount(), 1);
        EXPECT_EQ(w.form.ComboFilter.ItemData(0), 0);
        if (type == 1) {
            const auto& db = w.form.LVDataList.At(2);
            EXPECT_EQ(db.icon, dtDatabaseRoot);
            EXPECT_EQ(db.tag, 2);
            const DataItem& entry = w.form.DataList()[2];
            EXPECT_EQ(entry.DataFullName, w.form.msSdeDataPath);
            EXPECT_EQ(entry.DataLocation, dlDatabaseRoot);
            testing::PressView(w.form, 3);
            EXPECT_EQ(w.form.LVDataList.At(2).subItems.at(1), "空间数据库");
        }
        EXPECT_TRUE(w.Log().empty());
    }
}

TEST(BrowserForm, ReportViewListsEveryItemAndLeavesAliasesEmptyWhereThereAreNone) {
    BrowserWorld w;
    MixedFolder data(w);
    w.File(data.path + "/plan.dxf");
    auto& cad = w.t.gis.AddWorkspace(gis::FactoryKind::Cad, data.path + "/");
    w.t.gis.Add(cad, w.t.gis.Name("plan.dxf", gis::kind::kFeatureDataset));
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("data");
    const Names listed = testing::ItemNames(w.form);
    ASSERT_EQ(listed.size(), 5u);
    testing::PressView(w.form, 3);
    EXPECT_EQ(testing::ItemNames(w.form), listed);
    for (const auto& item : w.form.LVDataList.Items()) {
        SCOPED_TRACE(item.text);
        ASSERT_EQ(item.subItems.size(), 2u);
        const DataItem& entry = w.form.DataList().at(static_cast<std::size_t>(item.tag));
        const std::string alias = item.text == "roads.shp"   ? "Road network"
                                  : item.text == "towns.shp" ? "Towns"
                                                             : "";
        EXPECT_EQ(item.subItems[0], alias);
        EXPECT_EQ(item.subItems[1], entry.DataTypeDesc);
    }
    // Only the feature classes were opened for their alias.
    EXPECT_EQ(w.t.gis.Calls("OpenName"), 2);
    EXPECT_TRUE(w.Log().empty());
}

TEST(BrowserForm, ABrokenDatasetInReportViewIsLoggedOnceAndTheListingGoesOn) {
    BrowserWorld w;
    MixedFolder data(w);
    auto broken1 = w.Shape(data.path, "zz_broken1", gis::shape::kPolygon);
    auto broken2 = w.Shape(data.path, "zz_broken2", gis::shape::kPolygon);
    std::dynamic_pointer_cast<testing::MemoryName>(broken1)->openable = false;
    std::dynamic_pointer_cast<testing::MemoryName>(broken2)->openable = false;
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("data");
    testing::PressView(w.form, 3);
    EXPECT_EQ(w.form.LVDataList.Count(), 6);
    for (const auto& item : w.form.LVDataList.Items()) {
        SCOPED_TRACE(item.text);
        EXPECT_EQ(item.subItems.size(), 2u);
        EXPECT_GT(item.tag, 0);
        if (item.text.starts_with("zz_broken")) {
            EXPECT_EQ(item.subItems[0], "");
        }
    }
    const auto log = w.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.frmOpenDialog.RefreshDataListEx:106");
    EXPECT_EQ(log[0].number, errnum::kFileNotFound);
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);

    // The same in a fresh listing (an alias failing rather than the opening).
    w.t.gis.FailAt("AliasName", 1, 7);
    testing::PickLocation(w.form, "数据目录");
    w.Enter(w.drive.Path());
    w.Enter("data");
    EXPECT_EQ(w.form.LVDataList.Count(), 6);
    const auto after = w.Log();
    ASSERT_EQ(after.size(), 2u) << "one entry per display, however many datasets fail";
    EXPECT_EQ(after[1].position, "Marbrook.frmOpenDialog.RefreshDataList:122");
    EXPECT_EQ(after[1].number, 7);
}

TEST(BrowserForm, ReportColumnsNeverGetANegativeWidth) {
    struct Row {
        double width;
        double name, type;
    };
    for (const Row& row : {Row{7110, 2370, 2050}, Row{960, 320, 0}, Row{300, 100, 0}, Row{0, 0, 0}}) {
        SCOPED_TRACE(row.width);
        BrowserWorld w;
        w.Open();
        w.form.LVDataList.SetWidth(row.width);
        testing::PressView(w.form, 3);
        const auto& columns = w.form.LVDataList.Columns();
        ASSERT_EQ(columns.size(), 3u);
        EXPECT_EQ(columns[0].text, "数据名");
        EXPECT_EQ(columns[1].text, "数据别名");
        EXPECT_EQ(columns[2].text, "数据类型");
        EXPECT_DOUBLE_EQ(columns[0].width, row.name);
        EXPECT_DOUBLE_EQ(columns[1].width, row.name);
        EXPECT_DOUBLE_EQ(columns[2].width, row.type);
    }
}

TEST(BrowserForm, ViewSwitchesKeepTheContentAndDropTheSelection) {
    BrowserWorld w;
    MixedFolder data(w);
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("data");
    const Names listed = testing::ItemNames(w.form);
    const int listings = w.t.gis.Calls("OpenWorkspace");
    for (const int view : {3, 3, 0, 2, 3}) {
        SCOPED_TRACE("view " + std::to_string(view));
        ASSERT_TRUE(testing::ClickItem(w.form, "roads.shp"));
        EXPECT_TRUE(w.form.CmdAddData.Enabled());
        testing::PressView(w.form, view);
        EXPECT_EQ(w.form.LVDataList.View(), view);
        EXPECT_EQ(testing::ItemNames(w.form), listed);
        EXPECT_EQ(w.form.LVDataList.SelectedCount(), 0);
        EXPECT_EQ(w.form.TxtDataName.Text(), "");
        EXPECT_FALSE(w.form.CmdAddData.Enabled());
        EXPECT_EQ(w.form.OptReport.Value(), view == 3);
        EXPECT_EQ(w.form.OptThumbs.Value(), view == 0);
        EXPECT_EQ(w.form.OptList.Value(), view == 2);
        if (view == 3) {
            EXPECT_EQ(w.form.LVDataList.Columns().size(), 3u);
        }
    }
    EXPECT_EQ(w.t.gis.Calls("OpenWorkspace"), listings) << "a view switch must not list again";
}

TEST(BrowserForm, AddIsEnabledExactlyWhileTheListHasASelectedItem) {
    BrowserWorld w;
    MixedFolder data(w);
    w.Open();
    EXPECT_FALSE(w.form.CmdAddData.Enabled());
    ASSERT_TRUE(testing::ClickItem(w.form, w.drive.Path()));
    EXPECT_TRUE(w.form.CmdAddData.Enabled());
    w.form.LVDataList_DblClick(); // enters the drive: a new listing, nothing selected
    EXPECT_FALSE(w.form.CmdAddData.Enabled());
    w.Enter("data");
    ASSERT_TRUE(testing::SelectItems(w.form, {"roads.shp", "towns.shp"}));
    EXPECT_TRUE(w.form.CmdAddData.Enabled());
    testing::ClickEmptySpace(w.form);
    EXPECT_FALSE(w.form.CmdAddData.Enabled());
    EXPECT_EQ(w.form.TxtDataName.Text(), "");
    EXPECT_EQ(w.form.SelDataList().size(), 1u);
    EXPECT_FALSE(testing::PressAdd(w.form));
    EXPECT_FALSE(w.form.mbOKClick);
}

TEST(BrowserForm, DoubleClickEntersDrivesAndFoldersAndRemembersThem) {
    BrowserWorld w;
    w.Folder("a/b/c");
    w.Open();
    w.Enter(w.drive.Path());
    // A drive entered from the root selects its existing location entry.
    EXPECT_EQ(testing::LocationNames(w.form), (Names{"数据目录", w.drive.Path()}));
    EXPECT_EQ(w.form.ComboLocation.SelectedIndex(), 2);
    EXPECT_EQ(gsCurDir, w.drive.Path());
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"a"}));
    w.Enter("a");
    w.Enter("b");
    EXPECT_EQ(testing::LocationNames(w.form), (Names{"数据目录", w.drive.Path(), "a", "b"}));
    const DataNode& b = w.form.ComboList()[3];
    EXPECT_EQ(b.Level, 3);
    EXPECT_EQ(b.ParentNode, 2);
    EXPECT_EQ(b.ChildNode, -1);
    EXPECT_EQ(w.form.ComboList()[2].ChildNode, 3);
    EXPECT_EQ(w.form.ComboLocation.At(4).indentation, 3);
    EXPECT_EQ(gsCurDir, w.drive / "a/b");
    EXPECT_EQ(w.t.system.GetSetting("VERDANTA", "OPENDLG", "CURDIR"), w.drive / "a/b");
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    EXPECT_TRUE(w.Log().empty());
}

TEST(BrowserForm, UpFromThreeLevelsDeepAndFromADrive) {
    BrowserWorld w;
    w.Folder("a/b/c");
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("a");
    w.Enter("b");
    w.Enter("c");
    const std::string remembered = gsCurDir;
    ASSERT_TRUE(testing::PressUp(w.form));
    EXPECT_EQ(testing::LocationNames(w.form), (Names{"数据目录", w.drive.Path(), "a", "b"}));
    EXPECT_EQ(testing::CurrentLocation(w.form), "b");
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"c"}));
    EXPECT_EQ(gsCurDir, remembered) << "going up is not remembered";
    ASSERT_TRUE(testing::PressUp(w.form));
    ASSERT_TRUE(testing::PressUp(w.form));
    EXPECT_EQ(testing::CurrentLocation(w.form), w.drive.Path());
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"a"}));
    ASSERT_TRUE(testing::PressUp(w.form));
    EXPECT_EQ(testing::LocationNames(w.form), (Names{"数据目录", w.drive.Path()}));
    EXPECT_EQ(testing::CurrentLocation(w.form), "数据目录");
    EXPECT_EQ(testing::ItemNames(w.form), (Names{w.drive.Path()}));
    EXPECT_GT(w.form.LVDataList.FocusRequests(), 0);
    EXPECT_TRUE(w.Log().empty());
}

TEST(BrowserForm, TheLocationCombo) {
    BrowserWorld w;
    w.Folder("a/b/c");
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("a");
    w.Enter("b");
    w.Enter("c");
    // The entry already shown: nothing is listed again.
    const int listings = w.t.gis.Calls("OpenWorkspace");
    testing::PickLocation(w.form, "c");
    EXPECT_EQ(w.t.gis.Calls("OpenWorkspace"), listings);
    // Two levels up from the deepest entry: only the deepest entry goes.
    testing::PickLocation(w.form, "a");
    EXPECT_EQ(testing::LocationNames(w.form), (Names{"数据目录", w.drive.Path(), "a", "b"}));
    EXPECT_EQ(testing::CurrentLocation(w.form), "a");
    EXPECT_EQ(w.form.ComboList()[3].ChildNode, -1);
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"b"}));
    // A top-level entry with nothing below it rebuilds the top level.
    testing::PickLocation(w.form, "数据目录");
    EXPECT_EQ(testing::LocationNames(w.form), (Names{"数据目录", w.drive.Path()}));
    EXPECT_EQ(testing::ItemNames(w.form), (Names{w.drive.Path()}));
    EXPECT_TRUE(w.Log().empty());
}

TEST(BrowserForm, DoubleClickOnADatasetConfirmsWithItAlone) {
    BrowserWorld w;
    MixedFolder data(w);
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("data");
    w.form.LVDataList.SetMultiSelect(true);
    ASSERT_TRUE(testing::DoubleClick(w.form, "towns.shp"));
    EXPECT_TRUE(w.form.mbOKClick);
    ASSERT_EQ(w.form.SelDataList().size(), 2u);
    EXPECT_EQ(w.form.SelDataList()[1].pDataSetObj, data.towns);
    EXPECT_EQ(gsCurDir, data.path);
    EXPECT_EQ(w.t.system.GetSetting("VERDANTA", "OPENDLG", "CURDIR"), data.path);
    Collection chosen;
    EXPECT_EQ(w.form.GetSelectDataset(chosen), 1);
    const auto obj = chosen.ItemAs<CLayerObj>(1);
    EXPECT_EQ(obj->DataType(), ltFeatureClass);
    EXPECT_EQ(obj->DataFullName(), data.path + "/towns.shp");
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
}

TEST(BrowserForm, FilterCombo) {
    struct Row {
        std::int16_t code;
        const char* text;
        long data;
    };
    const Row rows[] = {
        {0, "所有数据集和图层(*.lyr)", 0},
        {1, "Shape矢量文件(*.shp)", 1},
        {2, "栅格数据集(*.TIF;*.IMG;GRID)", 2},
        {3, "矢量数据或矢量数据集（FeatureClass & FeatureDataset）", 3},
        {4, "栅格数据集(Raster Dataset)", 4},
        {5, "CAD图层(*.dwg)", 5},
        {6, "Coverage图层", 6},
        {7, "坐标投影文件(*.prj)", 7},
        {8, "文件夹", 8},
        {12, "所有数据集和图层(*.lyr)", 0},
        {-1, "所有数据集和图层(*.lyr)", 0},
    };
    TestPlatform t;
    frmOpenDialog form(t);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_TRUE(form.SetFilterType(row.code));
        ASSERT_EQ(form.ComboFilter.ListCount(), 1);
        EXPECT_EQ(form.ComboFilter.ListIndex(), 0);
        EXPECT_EQ(form.ComboFilter.Text(), row.text);
        EXPECT_EQ(form.ComboFilter.ItemData(0), row.data);
        EXPECT_EQ(form.miFilterType, row.code);
    }
}

TEST(BrowserForm, FilterDecidesWhatAFolderLists) {
    struct Row {
        std::int16_t code;
        Names items;
    };
    for (const Row& row : {Row{0, {"sub", "roads.shp", "towns.shp", "dem.tif"}}, Row{1, {"sub", "roads.shp", "towns.shp"}},
                           Row{2, {"sub", "dem.tif"}}, Row{5, {"sub"}}, Row{12, {"sub", "roads.shp", "towns.shp", "dem.tif"}}}) {
        SCOPED_TRACE(row.code);
        BrowserWorld w;
        MixedFolder data(w);
        w.Open(row.code);
        w.Enter(w.drive.Path());
        w.Enter("data");
        EXPECT_EQ(testing::ItemNames(w.form), row.items);
    }
}

TEST(BrowserForm, SelectionShowsTrimmedNamesAndAppendsToTheCallersCollection) {
    BrowserWorld w;
    w.Folder("data/roads");
    w.Folder("data/rivers ");
    w.Folder("data/towns");
    w.Folder("data/lakes");
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("data");
    w.form.LVDataList.SetMultiSelect(true);
    ASSERT_TRUE(testing::SelectItems(w.form, {"roads", "rivers ", "towns"}));
    // Names appear in list order, whatever the order of the clicks.
    Names inListOrder;
    std::string joined;
    for (const auto& item : w.form.LVDataList.Items()) {
        if (!item.selected) continue;
        inListOrder.push_back(item.text);
        joined += (joined.empty() ? "" : ";") + text::Trim(item.text);
    }
    EXPECT_EQ(w.form.TxtDataName.Text(), joined);
    EXPECT_EQ(w.form.SelDataList().size(), 4u);

    ASSERT_TRUE(testing::PressAdd(w.form));
    EXPECT_TRUE(w.form.mbOKClick);
    Collection chosen;
    chosen.Add(std::make_shared<CLayerObj>());
    chosen.Add(std::make_shared<CLayerObj>());
    EXPECT_EQ(w.form.GetSelectDataset(chosen), 5);
    EXPECT_EQ(chosen.ItemAs<CLayerObj>(3)->DataType(), 0) << "a folder has no layer kind";
    EXPECT_EQ(chosen.ItemAs<CLayerObj>(3)->DataFullName(), w.drive / "data/" + inListOrder[0]);
    // Asked again, the same selection comes back as new objects.
    Collection again;
    EXPECT_EQ(w.form.GetSelectDataset(again), 3);
    EXPECT_NE(again.Item(1), chosen.Item(3));
}

TEST(BrowserForm, ChosenItemsGetTheirLayerKinds) {
    BrowserWorld w;
    MixedFolder data(w);
    w.File(data.path + "/city.mdb");
    auto& pgdb = w.t.gis.AddWorkspace(gis::FactoryKind::PersonalGeodatabase, data.path + "/city.mdb");
    w.t.gis.Add(pgdb, w.t.gis.FeatureClass("labels", gis::feature::kAnnotation, 0));
    w.t.gis.Add(pgdb, w.t.gis.Name("ortho", gis::kind::kRasterDataset));
    w.t.gis.Add(pgdb, w.t.gis.Name("network", gis::kind::kFeatureDataset));
    struct Row {
        const char* item;
        std::int16_t layerType;
    };
    for (const Row& row : {Row{"roads.shp", ltFeatureClass}, Row{"towns.shp", ltFeatureClass}, Row{"dem.tif", ltRaster},
                           Row{"sub", 0}}) {
        SCOPED_TRACE(row.item);
        w.Open();
        w.Enter(w.drive.Path());
        w.Enter("data");
        ASSERT_TRUE(testing::ClickItem(w.form, row.item));
        ASSERT_TRUE(testing::PressAdd(w.form));
        Collection chosen;
        ASSERT_EQ(w.form.GetSelectDataset(chosen), 1);
        EXPECT_EQ(chosen.ItemAs<CLayerObj>(1)->DataType(), row.layerType);
    }
    for (const Row& row : {Row{"labels", ltAnnotationClass}, Row{"ortho", ltRaster}, Row{"network", ltFeatureDataset}}) {
        SCOPED_TRACE(row.item);
        w.Open();
        w.Enter(w.drive.Path());
        w.Enter("data");
        w.Enter("city.mdb");
        ASSERT_TRUE(testing::ClickItem(w.form, row.item));
        ASSERT_TRUE(testing::PressAdd(w.form));
        Collection chosen;
        ASSERT_EQ(w.form.GetSelectDataset(chosen), 1);
        EXPECT_EQ(chosen.ItemAs<CLayerObj>(1)->DataType(), row.layerType);
        EXPECT_NE(chosen.ItemAs<CLayerObj>(1)->pDataSetObj(), nullptr);
    }
    // A member of a feature dataset that is neither simple nor annotation is
    // a feature class: it yields no layer, but neither does it fail the
    // layers of the rest of the selection.
    auto network = std::dynamic_pointer_cast<testing::MemoryName>(pgdb.names.back());
    network->subsets = {w.t.gis.FeatureClass("dimensions", 13, 0), w.t.gis.FeatureClass("pipes", 1, 3)};
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("data");
    w.Enter("city.mdb");
    w.Enter("network");
    w.form.LVDataList.SetMultiSelect(true);
    ASSERT_TRUE(testing::SelectItems(w.form, {"dimensions", "pipes"}));
    ASSERT_TRUE(testing::PressAdd(w.form));
    Collection chosen;
    ASSERT_EQ(w.form.GetSelectDataset(chosen), 2);
    EXPECT_EQ(chosen.ItemAs<CLayerObj>(1)->DataType(), ltAnnotationClass);
    EXPECT_TRUE(AddLayersBySort(w.t, chosen));
    ASSERT_EQ(chosen.Count(), 1);
    EXPECT_EQ(chosen.ItemAs<gis::Layer>(1)->Name(), "pipes");
    EXPECT_TRUE(w.Log().empty());
}

TEST(BrowserForm, AddOnAGeodatabaseOrTheDatabaseRootOpensItInstead) {
    BrowserWorld w(1);
    MixedFolder data(w);
    w.Folder("sde");
    w.File(data.path + "/city.mdb");
    auto& pgdb = w.t.gis.AddWorkspace(gis::FactoryKind::PersonalGeodatabase, data.path + "/city.mdb");
    w.t.gis.Add(pgdb, w.t.gis.FeatureClass("parcels", gis::feature::kSimple, gis::shape::kPolygon));
    w.Open();
    ASSERT_TRUE(testing::ClickItem(w.form, "数据库连接"));
    ASSERT_TRUE(testing::PressAdd(w.form));
    EXPECT_FALSE(w.form.mbOKClick);
    EXPECT_EQ(testing::CurrentLocation(w.form), "数据库连接");
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"新建空间数据库连接"}));
    EXPECT_EQ(gsCurDir, "空间数据库");

    testing::PickLocation(w.form, "数据目录");
    w.Enter(w.drive.Path());
    w.Enter("data");
    ASSERT_TRUE(testing::ClickItem(w.form, "city.mdb"));
    ASSERT_TRUE(testing::PressAdd(w.form));
    EXPECT_FALSE(w.form.mbOKClick);
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"parcels"}));
    EXPECT_EQ(gsCurDir, data.path + "/city.mdb");
}

TEST(BrowserForm, AddOpensAPlaceSelectedAloneAndGathersEveryItemOfAChoice) {
    struct Row {
        const char* what;
        Names selected;
        bool confirmed;
        std::string location; // where the list is afterwards
    };
    const std::vector<Row> rows = {
        {"a folder alone is opened", {"sub"}, false, "sub"},
        {"a geodatabase alone is opened", {"city.mdb"}, false, "city.mdb"},
        {"a folder with a dataset is a choice", {"sub", "roads.shp"}, true, "data"},
        {"an item without a kind first still brings the datasets", {"cloud.shp", "towns.shp"}, true, "data"},
        {"datasets alone are a choice", {"towns.shp", "dem.tif"}, true, "data"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        BrowserWorld w;
        MixedFolder data(w);
        w.Shape(data.path, "cloud", 0);
        w.File(data.path + "/city.mdb");
        w.t.gis.AddWorkspace(gis::FactoryKind::PersonalGeodatabase, data.path + "/city.mdb");
        w.form.LVDataList.SetMultiSelect(true);
        w.Open();
        w.Enter(w.drive.Path());
        w.Enter("data");
        ASSERT_TRUE(testing::SelectItems(w.form, row.selected));
        ASSERT_TRUE(testing::PressAdd(w.form));
        EXPECT_EQ(w.form.mbOKClick, row.confirmed);
        EXPECT_EQ(testing::CurrentLocation(w.form), row.location);
        if (!row.confirmed) continue;
        // Every chosen item carries its dataset, whatever kind the first is.
        ASSERT_EQ(w.form.SelDataList().size(), row.selected.size() + 1);
        for (std::size_t i = 1; i < w.form.SelDataList().size(); ++i) {
            const DataItem& item = w.form.SelDataList()[i];
            EXPECT_EQ(item.pDataSetObj != nullptr, item.DataName != "sub") << item.DataName;
        }
    }
}

TEST(BrowserForm, AChoiceTheCheckRefusesKeepsTheFormShown) {
    BrowserWorld w;
    MixedFolder data(w);
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("data");
    std::vector<std::string> checked;
    bool accept = false;
    w.form.mAddCheck = [&](Collection& chosen) {
        for (long i = 1; i <= chosen.Count(); ++i) checked.push_back(chosen.ItemAs<CLayerObj>(i)->DataName());
        return accept;
    };
    w.form.SetVisibleState(true);
    ASSERT_TRUE(testing::ClickItem(w.form, "roads.shp"));
    ASSERT_TRUE(testing::PressAdd(w.form));
    EXPECT_FALSE(w.form.mbOKClick);
    EXPECT_TRUE(w.form.IsVisible());
    EXPECT_EQ(checked, Names{"roads.shp"});
    // A double-click on a dataset goes through the same check.
    accept = true;
    ASSERT_TRUE(testing::DoubleClick(w.form, "towns.shp"));
    EXPECT_TRUE(w.form.mbOKClick);
    EXPECT_FALSE(w.form.IsVisible());
    EXPECT_EQ(checked, (Names{"roads.shp", "towns.shp"}));
}

// A connection folder with one connection file to a database that holds a
// feature dataset with a table and a feature class.
struct SdeWorld {
    explicit SdeWorld(BrowserWorld& w) : folder(w.Folder("sde")) {
        const std::string file = folder + "/prod.sde";
        w.File(file);
        gis::PropertySet props;
        props.SetProperty("SERVER", "srv");
        props.SetProperty("INSTANCE", "5432");
        w.t.gis.connectionFiles[file] = props;
        auto& db = w.t.gis.AddWorkspace(gis::FactoryKind::SpatialDatabase, "srv:5432");
        auto fd = w.t.gis.Name("transport", gis::kind::kFeatureDataset);
        fd->subsets = {w.t.gis.Name("lookup", gis::kind::kTable),
                       w.t.gis.FeatureClass("rails", gis::feature::kSimple, gis::shape::kPolyline)};
        w.t.gis.Add(db, fd);
        w.t.gis.AddWorkspace(gis::FactoryKind::SpatialDatabase, "srv:esri_sde");
    }
    std::string folder;
};

TEST(BrowserForm, DatabaseLocationsAreEnteredAndRemembered) {
    BrowserWorld w(1);
    SdeWorld sde(w);
    w.Open();
    w.Enter("数据库连接");
    EXPECT_EQ(gsCurDir, "空间数据库");
    w.Enter("prod.sde");
    EXPECT_EQ(gsCurDir, "prod.sde");
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"transport"}));
    w.Enter("transport");
    EXPECT_EQ(gsCurDir, "");
    EXPECT_EQ(w.t.system.GetSetting("VERDANTA", "OPENDLG", "CURDIR"), "");
    EXPECT_EQ(testing::LocationNames(w.form), (Names{"数据目录", w.drive.Path(), "数据库连接", "prod.sde", "transport"}));
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"lookup", "rails"}));

    // A table cannot be opened: one message, and nothing else changes.
    ASSERT_TRUE(testing::DoubleClick(w.form, "lookup"));
    ASSERT_EQ(w.t.ui.messages.size(), 1u);
    EXPECT_EQ(w.t.ui.messages[0].text, "目前还不支持打开SDE表");
    EXPECT_EQ(w.t.ui.messages[0].icon, ui::MessageIcon::Information);
    EXPECT_EQ(w.t.ui.messages[0].title, "VERDANTA");
    EXPECT_EQ(testing::CurrentLocation(w.form), "transport");
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"lookup", "rails"}));
    EXPECT_FALSE(w.form.mbOKClick);
    EXPECT_EQ(gsCurDir, "");
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    // Confirming with the table selected gathers it whole, as any item: it
    // makes no layer, which the caller's check tells the user.
    ASSERT_TRUE(testing::PressAdd(w.form));
    EXPECT_TRUE(w.form.mbOKClick);
    Collection chosen;
    ASSERT_EQ(w.form.GetSelectDataset(chosen), 1);
    EXPECT_EQ(chosen.ItemAs<CLayerObj>(1)->DataName(), "lookup");
    EXPECT_NE(chosen.ItemAs<CLayerObj>(1)->pDataSetObj(), nullptr);
    EXPECT_EQ(chosen.ItemAs<CLayerObj>(1)->DataType(), 0);
}

TEST(BrowserForm, NewConnectionEntryOpensTheConnectionForm) {
    BrowserWorld w(1);
    SdeWorld sde(w);
    w.Open();
    w.Enter("数据库连接");
    const auto browserWindow = w.t.ui.HandleOf(w.form);

    // Cancelled: the list is not listed again (the name box keeps the entry).
    w.t.ui.OnModal("frmOpenWorkspace", [&](ui::Form& f) {
        auto& connection = dynamic_cast<frmOpenWorkspace&>(f);
        EXPECT_EQ(connection.msSdeDataPath, sde.folder);
        connection.CmdCancel_Click();
    });
    ASSERT_TRUE(testing::DoubleClick(w.form, "新建空间数据库连接"));
    EXPECT_EQ(w.t.ui.PendingActions(), 0u);
    EXPECT_EQ(w.t.ui.shows.back().form, "frmOpenWorkspace");
    EXPECT_EQ(w.t.ui.shows.back().parent, browserWindow);
    EXPECT_TRUE(w.t.ui.shows.back().modal);
    EXPECT_EQ(w.form.TxtDataName.Text(), "新建空间数据库连接");

    // Confirmed: the new file shows in the listing.
    w.t.ui.OnModal("frmOpenWorkspace", [&](ui::Form& f) {
        auto& connection = dynamic_cast<frmOpenWorkspace&>(f);
        connection.txtServer.SetText("srv");
        connection.CmdOK_Click();
        ASSERT_TRUE(connection.mbOkClik);
        // The in-memory GIS writes no file; the real one does.
        w.File(sde.folder + "/" + connection.msSdeDataName);
    });
    ASSERT_TRUE(testing::DoubleClick(w.form, "新建空间数据库连接"));
    EXPECT_EQ(w.t.ui.PendingActions(), 0u);
    EXPECT_EQ(w.form.TxtDataName.Text(), "");
    const Names items = testing::ItemNames(w.form);
    EXPECT_NE(std::find(items.begin(), items.end(), "Connection to srv.sde"), items.end());
    EXPECT_EQ(w.t.ui.unloaded.back(), "frmOpenWorkspace");
    EXPECT_FALSE(w.form.mbOKClick) << "creating a connection does not close the browser";
}

TEST(BrowserForm, NamesOfAMultiSelectionAreJoinedInListOrder) {
    BrowserWorld w;
    const std::string data = w.Folder("data");
    w.File(data + "/city.mdb");
    auto& pgdb = w.t.gis.AddWorkspace(gis::FactoryKind::PersonalGeodatabase, data + "/city.mdb");
    for (const char* name : {"roads", "rivers ", "lakes", "towns"})
        w.t.gis.Add(pgdb, w.t.gis.FeatureClass(name, gis::feature::kSimple, gis::shape::kPolyline));
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("data");
    w.Enter("city.mdb");
    w.form.LVDataList.SetMultiSelect(true);
    ASSERT_TRUE(testing::SelectItems(w.form, {"towns", "roads", "rivers "}));
    EXPECT_EQ(w.form.TxtDataName.Text(), "roads;rivers;towns");
    ASSERT_EQ(w.form.SelDataList().size(), 4u);
    EXPECT_EQ(w.form.SelDataList()[2].DataName, "rivers ");
    EXPECT_EQ(w.form.SelDataList()[2].pDataSetObj, nullptr) << "a click copies no dataset object";
    ASSERT_TRUE(testing::PressAdd(w.form));
    EXPECT_NE(w.form.SelDataList()[2].pDataSetObj, nullptr) << "confirming copies the dataset objects";
}

TEST(BrowserForm, DoubleClickOnAnUnclassifiedItemListsTheLocationAgain) {
    BrowserWorld w;
    const std::string data = w.Folder("data");
    w.Shape(data, "cloud", 0); // a shape kind no layer is made of
    w.Open();
    w.Enter(w.drive.Path());
    w.Enter("data");
    const std::string remembered = gsCurDir;
    const int listings = w.t.gis.Calls("OpenWorkspace");
    ASSERT_TRUE(testing::DoubleClick(w.form, "cloud.shp"));
    EXPECT_GT(w.t.gis.Calls("OpenWorkspace"), listings);
    EXPECT_EQ(testing::CurrentLocation(w.form), "data");
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"cloud.shp"}));
    EXPECT_FALSE(w.form.mbOKClick);
    EXPECT_EQ(gsCurDir, remembered);
    // The add button confirms it, gathered whole like any item.
    ASSERT_TRUE(testing::ClickItem(w.form, "cloud.shp"));
    ASSERT_TRUE(testing::PressAdd(w.form));
    EXPECT_TRUE(w.form.mbOKClick);
    ASSERT_EQ(w.form.SelDataList().size(), 2u);
    EXPECT_NE(w.form.SelDataList()[1].pDataSetObj, nullptr);
}

TEST(BrowserForm, ReplayFindsAFolderWhoseNameIsNotUtf8) {
    BrowserWorld w;
    const std::string odd = "caf\xE9";
    w.Folder("data/" + odd + "/inner");
    w.ListableAlong(w.drive.Path());
    w.t.system.drives = {{"/", 3}};
    gsCurDir = w.drive / ("data/" + odd + "/inner");
    w.Open();
    EXPECT_EQ(testing::CurrentLocation(w.form), "inner");
    const Names locations = testing::LocationNames(w.form);
    EXPECT_EQ(locations[locations.size() - 2], text::SanitizeUtf8(odd));
    EXPECT_EQ(w.form.CurNode().DataFullName, w.drive / ("data/" + odd + "/inner"));
    EXPECT_TRUE(w.Log().empty());
}

TEST(BrowserForm, ChoosingALocationAgainAfterGoingUpListsIt) {
    BrowserWorld w;
    w.Folder("a/b");
    w.Open();
    // Root -> the drive by the combo, back up, and the drive again.
    testing::PickLocation(w.form, w.drive.Path());
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"a"}));
    ASSERT_TRUE(testing::PressUp(w.form));
    EXPECT_EQ(testing::CurrentLocation(w.form), "数据目录");
    testing::PickLocation(w.form, w.drive.Path());
    EXPECT_EQ(testing::CurrentLocation(w.form), w.drive.Path());
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"a"})) << "the list must show the chosen location";
    // Up from b to a, then a in the combo: it is already shown.
    w.Enter("a");
    w.Enter("b");
    ASSERT_TRUE(testing::PressUp(w.form));
    const int listings = w.t.gis.Calls("OpenWorkspace");
    testing::PickLocation(w.form, "a");
    EXPECT_EQ(w.t.gis.Calls("OpenWorkspace"), listings) << "a is already shown";
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"b"}));
}

TEST(BrowserForm, ANewStartShowsTheListViewWithItsButton) {
    BrowserWorld w;
    w.Open();
    testing::PressView(w.form, 3);
    w.Open();
    EXPECT_EQ(w.form.LVDataList.View(), ui::ListView::kList);
    EXPECT_TRUE(w.form.OptList.Value());
    EXPECT_FALSE(w.form.OptReport.Value());
    EXPECT_FALSE(w.form.OptThumbs.Value());
    // The buttons for outside locations have no function and stay hidden.
    for (const ui::Control* hidden : {&w.form.CmdConnectLocation, &w.form.CmdDisConnectLocation, &w.form.CmdAddLocation})
        EXPECT_FALSE(hidden->Visible()) << hidden->ControlName();
}

TEST(BrowserForm, CancelHidesWithoutConfirming) {
    BrowserWorld w;
    w.Open();
    w.form.mbOKClick = true;
    ASSERT_TRUE(testing::PressCancel(w.form));
    EXPECT_FALSE(w.form.mbOKClick);
    EXPECT_FALSE(w.form.IsVisible());
}

TEST(BrowserForm, RemembersLocationsAndReplaysThem) {
    struct Case {
        const char* name;
        std::function<std::string(BrowserWorld&)> remembered;
        Names locationsBelowRoot; // the entries after "数据目录" and "/"
        std::string current;
    };
    const Case cases[] = {
        {"empty", [](BrowserWorld&) { return std::string(); }, {}, "数据目录"},
        {"an existing folder", [](BrowserWorld& w) { return w.drive / "data/roads"; }, {"data", "roads"}, "roads"},
        {"a level the list does not show is skipped",
         [](BrowserWorld& w) { return w.drive / "data/./roads"; }, {"data", "roads"}, "roads"},
        {"a folder that is gone", [](BrowserWorld& w) { return w.drive / "data/gone"; }, {}, "数据目录"},
        {"a connection file without the database root", [](BrowserWorld&) { return std::string("x.sde"); }, {}, "数据目录"},
        {"the stored database-root text", [](BrowserWorld&) { return std::string("空间数据库"); }, {}, "数据目录"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrowserWorld w;
        w.Folder("data/roads/deeper");
        w.ListableAlong(w.drive.Path());
        w.t.system.drives = {{"/", 3}};
        gsCurDir = c.remembered(w);
        w.Open();
        const Names locations = testing::LocationNames(w.form);
        EXPECT_EQ(testing::CurrentLocation(w.form), c.current);
        if (c.locationsBelowRoot.empty()) {
            EXPECT_EQ(locations, (Names{"数据目录", "/"}));
        } else {
            ASSERT_GE(locations.size(), c.locationsBelowRoot.size());
            const Names tail(locations.end() - static_cast<long>(c.locationsBelowRoot.size()), locations.end());
            EXPECT_EQ(tail, c.locationsBelowRoot);
            EXPECT_EQ(testing::ItemNames(w.form), (Names{"deeper"}));
        }
        EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
        EXPECT_TRUE(w.Log().empty());
    }
}

TEST(BrowserForm, ReplayPrefersTheExactlyNamedFolder) {
    BrowserWorld w;
    w.Folder("Data/inner");
    w.Folder("data/roads");
    w.ListableAlong(w.drive.Path());
    w.t.system.drives = {{"/", 3}};
    gsCurDir = w.drive / "data/roads";
    w.Open();
    EXPECT_EQ(testing::CurrentLocation(w.form), "roads");
    EXPECT_EQ(w.form.CurNode().DataFullName, w.drive / "data/roads");
}

TEST(BrowserForm, ReplayOfAGeodatabaseEndsInsideIt) {
    BrowserWorld w;
    const std::string data = w.Folder("data");
    w.File(data + "/city.mdb");
    auto& pgdb = w.t.gis.AddWorkspace(gis::FactoryKind::PersonalGeodatabase, data + "/city.mdb");
    w.t.gis.Add(pgdb, w.t.gis.FeatureClass("parcels", gis::feature::kSimple, gis::shape::kPolygon));
    w.ListableAlong(w.drive.Path());
    w.t.system.drives = {{"/", 3}};
    gsCurDir = data + "/city.mdb";
    w.Open();
    EXPECT_EQ(testing::CurrentLocation(w.form), "city.mdb");
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"parcels"}));
    EXPECT_TRUE(w.Log().empty());
}

TEST(BrowserForm, ReplayOfAConnectionFileOpensTheDatabaseRoot) {
    BrowserWorld w(1);
    w.Folder("sde");
    w.File(w.drive / "sde/prod.sde");
    gsCurDir = "prod.sde";
    w.Open();
    EXPECT_EQ(testing::CurrentLocation(w.form), "prod.sde");
    EXPECT_EQ(testing::LocationNames(w.form).back(), "prod.sde");

    gsCurDir = "数据库连接";
    w.Open();
    EXPECT_EQ(testing::CurrentLocation(w.form), "数据库连接");
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"新建空间数据库连接", "prod.sde"}));
}

TEST(BrowserForm, AListingWithoutAFilterIsLoggedAndLeavesTheFormUsable) {
    BrowserWorld w;
    w.Open();
    w.form.ComboFilter.Clear();
    w.Enter(w.drive.Path());
    const auto log = w.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.frmOpenDialog.RefreshDataList:104");
    EXPECT_EQ(log[0].number, errnum::kSubscriptOutOfRange);
    EXPECT_EQ(w.form.LVDataList.Count(), 0);
    EXPECT_FALSE(w.form.CmdAddData.Enabled());
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
}

TEST(BrowserForm, DoubleClickWithoutASelectionDoesNothing) {
    BrowserWorld w;
    w.Open();
    const auto pointers = w.t.ui.pointerHistory.size();
    w.form.LVDataList_DblClick();
    w.form.CmdAddData_Click();
    EXPECT_EQ(testing::CurrentLocation(w.form), "数据目录");
    EXPECT_EQ(w.t.ui.pointerHistory.size(), pointers);
    EXPECT_FALSE(w.form.mbOKClick);
}

} // namespace
} // namespace marbrook
