// Listing a location off the interface thread: the form stays usable while a
// slow location lists, shows entries as they are found, and a cancelled
// listing leaves the previous location exactly as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "browser/Listing.h"
#include "browser/frmOpenDialog.h"
#include "platform/error.h"
#include "support/Globals.h"
#include "tests/doubles/BrowserScript.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::TempDir;
using testing::TestPlatform;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

// A drive with a folder "data" (a subfolder "slow", two shapefiles and a
// raster), opened in the browser and showing "data" with roads.shp selected.
struct SlowWorld {
    SlowWorld() {
        t.system.drives = {{drive.Path(), 3}};
        for (const std::string& folder : {drive.Path(), data, slow}) {
            fs::create_directories(folder);
            testing::Listable(t.gis, folder);
        }
        testing::AddRoadsTownsAndDem(t.gis, data);
        fs::create_directories(slow + "/inner");
        t.gis.Add(*t.gis.FindWorkspace(gis::FactoryKind::Shapefile, slow + "/"),
                  t.gis.FeatureClass("late", gis::feature::kSimple, gis::shape::kPoint));
        form.EnsureLoaded();
        form.msSdeDataPath = drive.Path() + "/sde";
        std::string sde;
        form.InitDataList(sde);
        form.SetFilterType(0);
        EXPECT_TRUE(testing::DoubleClick(form, drive.Path()));
        EXPECT_TRUE(testing::DoubleClick(form, "data"));
        EXPECT_TRUE(testing::ClickItem(form, "roads.shp"));
        t.ui.backgroundThreads = true;
    }
    TestPlatform t;
    TempDir drive;
    std::string data = drive.Path() + "/data";
    std::string slow = data + "/slow";
    frmOpenDialog form{t};
};

TEST(BackgroundListing, ASlowFolderKeepsTheFormUsableAndCancelLeavesThePreviousLocation) {
    SlowWorld w;
    const Names before = testing::ItemNames(w.form);
    const Names locations = testing::LocationNames(w.form);
    const DataNode node = w.form.CurNode();
    const std::string remembered = gsCurDir;
    auto gate = std::make_shared<testing::Gate>();
    w.t.system.slowFolders[w.slow] = gate;

    bool acted = false;
    w.t.ui.OnBackground([&](ui::Form&, ui::BackgroundTask&) {
        ASSERT_TRUE(gate->WaitReached());
        acted = true;
        // The form answers while the folder lists: it says it is busy and
        // offers a way out; the other controls wait.
        EXPECT_TRUE(w.form.Listing());
        EXPECT_TRUE(w.form.LblListing.Visible());
        EXPECT_TRUE(w.form.CmdCancelListing.Visible());
        EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::ArrowHourglass);
        EXPECT_EQ(testing::CurrentLocation(w.form), "slow");
        w.form.CmdUpLocation_Click();
        w.form.CmdAddData_Click();
        EXPECT_EQ(testing::CurrentLocation(w.form), "slow");
        EXPECT_FALSE(w.form.mbOKClick);
        EXPECT_TRUE(testing::PressCancelListing(w.form));
    });
    ASSERT_TRUE(testing::ClickItem(w.form, "slow"));
    w.form.LVDataList_DblClick();
    ASSERT_TRUE(acted);

    // Everything as it was before the double-click, but the click itself.
    EXPECT_TRUE(w.form.ListingCancelled());
    EXPECT_FALSE(w.form.Listing());
    EXPECT_EQ(testing::ItemNames(w.form), before);
    EXPECT_EQ(testing::LocationNames(w.form), locations);
    EXPECT_EQ(testing::CurrentLocation(w.form), "data");
    EXPECT_TRUE(IsComboListEqual(w.form.CurNode(), node));
    EXPECT_EQ(gsCurDir, remembered);
    EXPECT_EQ(w.t.system.GetSetting("VERDANTA", "OPENDLG", "CURDIR"), remembered);
    EXPECT_EQ(w.form.LVDataList.SelectedItem()->text, "slow");
    EXPECT_EQ(w.form.TxtDataName.Text(), "slow");
    EXPECT_TRUE(w.form.CmdAddData.Enabled());
    EXPECT_FALSE(w.form.LblListing.Visible());
    EXPECT_FALSE(w.form.CmdCancelListing.Visible());
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    // The data list still names its entries: a click and Add work on it.
    ASSERT_TRUE(testing::ClickItem(w.form, "towns.shp"));
    ASSERT_TRUE(testing::PressAdd(w.form));
    EXPECT_TRUE(w.form.mbOKClick);
    ASSERT_EQ(w.form.SelDataList().size(), 2u);
    EXPECT_NE(w.form.SelDataList()[1].pDataSetObj, nullptr);

    // The folder answers at last: what it lists is dropped.
    gate->Open();
    ASSERT_TRUE(w.t.ui.WaitForBackgroundWork());
    EXPECT_EQ(testing::CurrentLocation(w.form), "data");
    EXPECT_TRUE(w.t.LogEntries().empty());
}

TEST(BackgroundListing, EntriesComeInAsTheyAreFoundAndTheListingEndsAsUsual) {
    SlowWorld w;
    // The shapefiles of "slow" wait for the server; its folders are found first.
    auto gate = std::make_shared<testing::Gate>();
    w.t.gis.FindWorkspace(gis::FactoryKind::Shapefile, w.slow + "/")->gate = gate;
    Names whileListing;
    w.t.ui.OnBackground([&](ui::Form&, ui::BackgroundTask& task) {
        ASSERT_TRUE(gate->WaitReached());
        (void)task.Pump(); // a turn of the event loop
        whileListing = testing::ItemNames(w.form);
        EXPECT_EQ(w.form.LblListing.Caption(), "正在读取数据，已找到 1 项…");
        gate->Open();
    });
    ASSERT_TRUE(testing::DoubleClick(w.form, "slow"));
    EXPECT_EQ(whileListing, Names{"inner"});
    EXPECT_FALSE(w.form.ListingCancelled());
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"inner", "late.shp"}));
    EXPECT_EQ(testing::CurrentLocation(w.form), "slow");
    EXPECT_EQ(gsCurDir, w.slow);
    EXPECT_EQ(w.form.DataList().size(), 3u);
    EXPECT_NE(w.form.DataList()[2].pDataSetObj, nullptr);
    EXPECT_FALSE(w.form.CmdAddData.Enabled());
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    EXPECT_FALSE(w.form.LblListing.Visible());
    // The location now shown is the one a later cancel goes back to.
    auto gate2 = std::make_shared<testing::Gate>();
    w.t.system.slowFolders[w.slow + "/inner"] = gate2;
    w.t.ui.OnBackground([&](ui::Form&, ui::BackgroundTask&) {
        ASSERT_TRUE(gate2->WaitReached());
        EXPECT_TRUE(testing::PressCancelListing(w.form));
        gate2->Open();
    });
    ASSERT_TRUE(testing::DoubleClick(w.form, "inner"));
    EXPECT_EQ(testing::CurrentLocation(w.form), "slow");
    EXPECT_EQ(testing::ItemNames(w.form), (Names{"inner", "late.shp"}));
    EXPECT_EQ(gsCurDir, w.slow);
    EXPECT_TRUE(w.t.LogEntries().empty());
}

TEST(BackgroundListing, TheReportViewsAliasesAndAListingsFailuresReachTheUserAndTheLog) {
    SlowWorld w;
    w.form.OptReport_Click();
    ASSERT_EQ(w.form.LVDataList.View(), ui::ListView::kReport);
    // Aliases are read off the interface thread too.
    ASSERT_EQ(w.form.LVDataList.At(2).text, "roads.shp");
    EXPECT_EQ(w.form.LVDataList.At(2).subItems[0], "Road network");
    EXPECT_EQ(w.form.LVDataList.At(3).subItems[0], "");

    // A folder that cannot be read is logged by the listing's own routine,
    // from its thread, and lists as empty.
    w.t.system.FailAt("ListFolder", 1, 70, "permission denied");
    ASSERT_TRUE(testing::DoubleClick(w.form, "slow"));
    EXPECT_EQ(testing::CurrentLocation(w.form), "slow");
    EXPECT_TRUE(testing::ItemNames(w.form).empty());
    auto log = w.t.LogEntries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.GetSubFolderFiles:103");
    EXPECT_EQ(log[0].number, 70);

    // With failures shown in message boxes, the box of a routine that fails
    // off the interface thread is shown on it, and the listing goes on.
    testing::WriteFile(w.t.home.LibraryFolder() + "/VerdantaSysSet.ini", "[ErrInfo]\r\nbShow=1\r\n");
    w.t.system.FailAt("ListFolder", 1, 76, "mount gone");
    ASSERT_TRUE(w.form.ComboLocation.Count() >= 3);
    testing::PickLocation(w.form, "data");
    ASSERT_EQ(w.t.ui.messages.size(), 1u);
    EXPECT_NE(w.t.ui.messages[0].text.find("GetSubFolderFiles:103"), std::string::npos) << w.t.ui.messages[0].text;
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
}

TEST(BackgroundListing, AReplayTheUserCancelsStopsAtTheLevelBefore) {
    TestPlatform t;
    TempDir drive;
    const std::string deep = drive.Path() + "/a/b/c";
    fs::create_directories(deep);
    // Every folder from the root volume down can be listed.
    std::vector<std::string> along{"/"};
    for (std::size_t slash = deep.find('/', 1); slash != std::string::npos; slash = deep.find('/', slash + 1))
        along.push_back(deep.substr(0, slash));
    along.push_back(deep);
    for (const std::string& folder : along) {
        const std::string key = folder == "/" ? folder : folder + "/";
        t.gis.AddWorkspace(gis::FactoryKind::Shapefile, key);
        t.gis.AddWorkspace(gis::FactoryKind::Raster, key);
    }
    auto gate = std::make_shared<testing::Gate>();
    t.system.slowFolders[drive.Path() + "/a/b"] = gate;
    t.ui.backgroundThreads = true;
    // The levels above "b" list at once; "b" keeps the user waiting.
    for (std::size_t level = 0; level + 2 < along.size(); ++level) t.ui.OnBackground([](ui::Form&, ui::BackgroundTask&) {});
    t.ui.OnBackground([&](ui::Form& f, ui::BackgroundTask&) {
        ASSERT_TRUE(gate->WaitReached());
        EXPECT_TRUE(testing::PressCancelListing(static_cast<frmOpenDialog&>(f)));
        gate->Open();
    });
    frmOpenDialog form(t);
    form.EnsureLoaded();
    gsCurDir = deep;
    std::string sde;
    EXPECT_TRUE(form.InitDataList(sde));
    // "c" was not looked for in the list that stayed ("a"'s).
    EXPECT_EQ(testing::CurrentLocation(form), "a");
    EXPECT_EQ(testing::ItemNames(form), Names{"b"});
    EXPECT_EQ(t.ui.backgroundRuns, static_cast<int>(along.size()) - 1);
    EXPECT_EQ(t.ui.PendingActions(), 0u);
    EXPECT_EQ(gsCurDir, deep) << "a replay does not change the remembered location";
    EXPECT_TRUE(t.LogEntries().empty());
}

} // namespace
} // namespace marbrook
