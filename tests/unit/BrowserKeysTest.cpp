// The keyboard does what the mouse does: Enter, Backspace and Alt+Up in the
// list, places and names typed into the name box, sorting by a report
// column, and the default and cancel buttons of the connection forms.
#include <gtest/gtest.h>

#include <filesystem>

#include "browser/frmOpenDialog.h"
#include "connections/frmChangeVersion.h"
#include "connections/frmOpenWorkspace.h"
#include "support/Globals.h"
#include "tests/doubles/BrowserScript.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::TempDir;
using testing::TestPlatform;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

// The root volume "/" with every folder down to a temporary "data" folder
// listable; "data" holds a subfolder, a geodatabase, a drawing, two
// shapefiles and a raster. The form shows "data".
struct KeyWorld {
    KeyWorld() {
        t.system.drives = {{"/", 3}};
        fs::create_directories(data + "/sub/deeper");
        testing::WriteFile(data + "/city.mdb", "x");
        testing::WriteFile(data + "/plan.dxf", "x");
        testing::WriteFile(data + "/notes.txt", "x");
        testing::WriteFile(data + "/roads.shp", "x");
        testing::ListableAlong(t.gis, data + "/sub/deeper");
        testing::AddRoadsTownsAndDem(t.gis, data);
        auto& pgdb = t.gis.AddWorkspace(gis::FactoryKind::PersonalGeodatabase, data + "/city.mdb");
        t.gis.Add(pgdb, t.gis.FeatureClass("parcels", gis::feature::kSimple, gis::shape::kPolygon));
        auto& cad = t.gis.AddWorkspace(gis::FactoryKind::Cad, data);
        auto drawing = t.gis.Name("plan.dxf", gis::kind::kFeatureDataset);
        drawing->subsets = {t.gis.FeatureClass("Polyline", gis::feature::kSimple, gis::shape::kPolyline)};
        t.gis.Add(cad, drawing);
        t.gis.AddWorkspace(gis::FactoryKind::Cad, data + "/");
        form.EnsureLoaded();
        form.LVDataList.SetMultiSelect(true);
        form.msSdeDataPath = data + "/sde";
        gsCurDir = data;
        std::string sde;
        form.InitDataList(sde);
        form.SetFilterType(0);
    }
    void Type(const std::string& text) {
        form.TxtDataName.SetText(text);
        form.TxtDataName_KeyDown(frmOpenDialog::kKeyReturn, 0);
    }
    TestPlatform t;
    TempDir dir;
    std::string data = dir.Path() + "/data";
    frmOpenDialog form{t};
};

TEST(BrowserKeys, EnterOpensAPlaceAloneAndAddsDataBackspaceAndAltUpGoUp) {
    struct Row {
        const char* what;
        Names selected;
        std::string location; // where the list is afterwards
        bool confirmed;
    };
    const std::vector<Row> rows = {
        {"a folder", {"sub"}, "sub", false},
        {"a geodatabase", {"city.mdb"}, "city.mdb", false},
        {"a drawing", {"plan.dxf"}, "plan.dxf", false},
        {"a shapefile", {"roads.shp"}, "data", true},
        {"a raster and a shapefile", {"towns.shp", "dem.tif"}, "data", true},
        {"a folder among datasets", {"sub", "roads.shp"}, "data", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        KeyWorld w;
        ASSERT_EQ(testing::CurrentLocation(w.form), "data");
        ASSERT_TRUE(testing::SelectItems(w.form, row.selected));
        w.form.LVDataList_KeyDown(frmOpenDialog::kKeyReturn, 0);
        EXPECT_EQ(testing::CurrentLocation(w.form), row.location);
        EXPECT_EQ(w.form.mbOKClick, row.confirmed);
        if (!row.confirmed) {
            EXPECT_EQ(gsCurDir, w.data + "/" + row.selected[0]);
        }
    }

    KeyWorld w;
    ASSERT_TRUE(testing::SelectItems(w.form, {"sub"}));
    w.form.LVDataList_KeyDown(frmOpenDialog::kKeyReturn, 0);
    ASSERT_EQ(testing::CurrentLocation(w.form), "sub");
    // Backspace in the list and Alt+Up anywhere: the up button.
    w.form.LVDataList_KeyDown(frmOpenDialog::kKeyBack, 0);
    EXPECT_EQ(testing::CurrentLocation(w.form), "data");
    w.form.Form_KeyDown(frmOpenDialog::kKeyUp, frmOpenDialog::kAltMask);
    EXPECT_EQ(testing::CurrentLocation(w.form), fs::path(w.dir.Path()).filename().string());
    // Up without Alt is the list's own (it moves the current item).
    w.form.Form_KeyDown(frmOpenDialog::kKeyUp, 0);
    EXPECT_EQ(testing::CurrentLocation(w.form), fs::path(w.dir.Path()).filename().string());
    // Enter with nothing selected does nothing.
    w.form.LVDataList.ClearSelection();
    w.form.LVDataList_KeyDown(frmOpenDialog::kKeyReturn, 0);
    EXPECT_FALSE(w.form.mbOKClick);
    EXPECT_TRUE(w.t.LogEntries().empty());
}

TEST(BrowserKeys, ATypedPlaceIsGoneToAndATypedNameSelected) {
    struct Row {
        const char* what;
        std::string typed; // "@" stands for the data folder's path
        std::string location;
        Names selected;
        std::string message; // start of the message, "" for none
    };
    const std::vector<Row> rows = {
        {"a name of the list", "towns.shp", "data", {"towns.shp"}, ""},
        {"a name in other case", "TOWNS.SHP", "data", {"towns.shp"}, ""},
        {"a folder by its path", "@/sub/deeper", "deeper", {}, ""},
        {"a path with a slash at its end", "@/sub/", "sub", {}, ""},
        {"a relative path", "sub/deeper", "deeper", {}, ""},
        {"a geodatabase by its path", "@/city.mdb", "city.mdb", {}, ""},
        {"a drawing by its path", "@/plan.dxf", "plan.dxf", {}, ""},
        {"a dataset of the folder shown", "@/roads.shp", "data", {"roads.shp"}, ""},
        {"the root volume", "/", "/", {}, ""},
        {"a name that is not there", "rivers.shp", "data", {}, "找不到“rivers.shp”"},
        {"a path that does not exist", "@/nowhere/x", "data", {}, "找不到“"},
        {"a file that is no data", "@/notes.txt", "data", {}, "找不到“"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        KeyWorld w;
        std::string typed = row.typed;
        if (typed.starts_with("@")) typed = w.data + typed.substr(1);
        w.Type(typed);
        EXPECT_EQ(testing::CurrentLocation(w.form), row.location);
        Names selected;
        for (const auto& item : w.form.LVDataList.Items())
            if (item.selected) selected.push_back(item.text);
        EXPECT_EQ(selected, row.selected);
        EXPECT_FALSE(w.form.mbOKClick);
        if (row.message.empty()) {
            EXPECT_TRUE(w.t.ui.messages.empty());
        } else {
            ASSERT_EQ(w.t.ui.messages.size(), 1u);
            EXPECT_TRUE(w.t.ui.messages[0].text.starts_with(row.message)) << w.t.ui.messages[0].text;
            EXPECT_EQ(w.t.ui.messages[0].title, "VERDANTA");
        }
        EXPECT_TRUE(w.t.LogEntries().empty());
    }
}

TEST(BrowserKeys, APlaceGoneToIsRememberedAndItsLocationsChainIsComplete) {
    KeyWorld w;
    w.Type(w.data + "/sub/deeper");
    // The location list holds every level down to the place, each under its
    // parent, as if the user had opened them one by one.
    const Names locations = testing::LocationNames(w.form);
    ASSERT_GE(locations.size(), 4u);
    EXPECT_EQ(locations[0], "数据目录");
    EXPECT_EQ(locations[1], "/");
    EXPECT_EQ((Names{locations.end() - 3, locations.end()}), (Names{"data", "sub", "deeper"}));
    const auto& nodes = w.form.ComboList();
    for (std::size_t i = 2; i < nodes.size(); ++i) {
        EXPECT_EQ(nodes[i].ParentNode, static_cast<std::int16_t>(i - 1));
        EXPECT_EQ(nodes[i].Level, nodes[i - 1].Level + 1);
    }
    EXPECT_EQ(w.form.CurNode().DataFullName, w.data + "/sub/deeper");
    EXPECT_EQ(gsCurDir, w.data + "/sub/deeper");
    EXPECT_EQ(w.t.system.GetSetting("VERDANTA", "OPENDLG", "CURDIR"), w.data + "/sub/deeper");
    // Going up walks the chain back.
    ASSERT_TRUE(testing::PressUp(w.form));
    EXPECT_EQ(testing::CurrentLocation(w.form), "sub");
    EXPECT_EQ(testing::ItemNames(w.form), Names{"deeper"});
    // Enter on the names the selection put into the box acts on the selection.
    ASSERT_TRUE(testing::ClickItem(w.form, "deeper"));
    w.form.TxtDataName_KeyDown(frmOpenDialog::kKeyReturn, 0);
    EXPECT_EQ(testing::CurrentLocation(w.form), "deeper");
}

TEST(BrowserKeys, AReportColumnSortsOnAClickAndTheOtherWayOnASecond) {
    KeyWorld w;
    w.form.OptReport_Click();
    const Names listed = testing::ItemNames(w.form);
    EXPECT_EQ(listed, (Names{"city.mdb", "plan.dxf", "sub", "roads.shp", "towns.shp", "dem.tif"}));
    // By kind: "CAD File", "RasterDataset", "Shape File", "个人空间数据库", "文件夹连接".
    w.form.LVDataList_ColumnClick(2);
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"plan.dxf", "dem.tif", "roads.shp", "towns.shp", "city.mdb", "sub"}));
    EXPECT_EQ(w.form.LVDataList.SortKey(), 2);
    EXPECT_FALSE(w.form.LVDataList.SortDescending());
    w.form.LVDataList_ColumnClick(2);
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"sub", "city.mdb", "towns.shp", "roads.shp", "dem.tif", "plan.dxf"}));
    EXPECT_TRUE(w.form.LVDataList.SortDescending());
    // By name, whatever the kind.
    w.form.LVDataList_ColumnClick(0);
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"city.mdb", "dem.tif", "plan.dxf", "roads.shp", "sub", "towns.shp"}));
    // Every item keeps its entry: a click names the right one.
    ASSERT_TRUE(testing::ClickItem(w.form, "roads.shp"));
    EXPECT_EQ(w.form.SelDataList()[1].DataFullName, w.data + "/roads.shp");
    EXPECT_EQ(w.form.LVDataList.SelectedItem()->subItems[0], "Road network");
    // A new display comes in listing order again.
    w.form.OptReport_Click();
    EXPECT_EQ(testing::ItemNames(w.form), listed);
    EXPECT_EQ(w.form.LVDataList.SortKey(), -1);
    // Outside the report view a header click does nothing.
    w.form.OptList_Click();
    w.form.LVDataList_ColumnClick(0);
    EXPECT_EQ(testing::ItemNames(w.form), listed);
    EXPECT_TRUE(w.t.LogEntries().empty());
}

TEST(BrowserKeys, TheConnectionFormsConfirmWithEnterAndCancelWithEscape) {
    TestPlatform t;
    frmOpenWorkspace workspace(t);
    frmChangeVersion version(t);
    frmOpenDialog browser(t);
    struct Row {
        const char* form;
        const ui::CommandButton* defaultButton;
        const ui::CommandButton* cancelButton;
    };
    for (const Row& row : {Row{"frmOpenWorkspace", &workspace.CmdOK, &workspace.CmdCancel},
                           Row{"frmChangeVersion", &version.CmdOK, &version.CmdCancel},
                           Row{"frmOpenDialog", nullptr, &browser.CmdCancel}}) {
        SCOPED_TRACE(row.form);
        ui::Form& form = std::string(row.form) == "frmOpenWorkspace" ? static_cast<ui::Form&>(workspace)
                         : std::string(row.form) == "frmChangeVersion" ? static_cast<ui::Form&>(version)
                                                                        : static_cast<ui::Form&>(browser);
        int defaults = 0, cancels = 0;
        for (ui::Control* c : form.Controls())
            if (auto* b = dynamic_cast<ui::CommandButton*>(c)) {
                defaults += b->Default() ? 1 : 0;
                cancels += b->Cancel() ? 1 : 0;
                if (b->Default()) {
                    EXPECT_EQ(b, row.defaultButton);
                }
                if (b->Cancel()) {
                    EXPECT_EQ(b, row.cancelButton);
                }
            }
        EXPECT_EQ(defaults, row.defaultButton ? 1 : 0);
        EXPECT_EQ(cancels, 1);
    }
}

} // namespace
} // namespace marbrook
