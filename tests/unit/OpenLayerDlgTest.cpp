#include <gtest/gtest.h>

#include <algorithm>

#include "browser/frmOpenDialog.h"
#include "interface/COpenLayerDlg.h"
#include "catalogue/CLayerObj.h"
#include "support/Globals.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::TestPlatform;

// What the browser form showed while the dialog had it up; the user cancels.
struct Shown {
    std::string caption, button, name, sdePath;
    bool multi = false;
    int filter = -1;
};

Shown ShowAndCancel(TestPlatform& t, COpenLayerDlg& dlg) {
    Shown shown;
    t.ui.OnModal("frmOpenDialog", [&](ui::Form& f) {
        auto& form = static_cast<frmOpenDialog&>(f);
        shown = {form.Caption(), form.CmdAddData.Caption(), form.TxtDataName.Text(), form.msSdeDataPath,
                 form.LVDataList.MultiSelect(), form.miFilterType};
        form.CmdCancel_Click();
    });
    Collection selection;
    EXPECT_FALSE(dlg.DoModalOpen(77, selection));
    return shown;
}

TEST(OpenLayerDlg, AFreshDialogShowsItsDefaultsOverTheConnectionFolderBesideTheLibrary) {
    TestPlatform t;
    // Nothing to replay: the browser opens at the top level.
    t.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", t.home.LibraryFolder() + "/nowhere");
    COpenLayerDlg dlg(t);
    const Shown shown = ShowAndCancel(t, dlg);
    EXPECT_EQ(shown.caption, "添加数据");
    EXPECT_EQ(shown.button, "打开");
    EXPECT_TRUE(shown.multi);
    EXPECT_EQ(shown.filter, 0);
    // No per-user folder under /home for the fake user: the fallback beside
    // the library, created on the way.
    EXPECT_EQ(shown.sdePath, t.home.LibraryFolder() + "/SdeData");
    EXPECT_TRUE(t.system.FolderExists(shown.sdePath));
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(OpenLayerDlg, ShowsTheConfiguredFormModallyAtTheOrigin) {
    TestPlatform t;
    COpenLayerDlg dlg(t);
    dlg.Title("打开对话框");
    dlg.ButtonCaption("打开(&A)");
    dlg.AllowMultiSelect(false);
    dlg.DataName(std::string("test"));
    dlg.FilterType(5);
    dlg.RememberLocation(true); // keeps the name box as set
    const Shown shown = ShowAndCancel(t, dlg);
    EXPECT_EQ(shown.caption, "打开对话框");
    EXPECT_EQ(shown.button, "打开(&A)");
    EXPECT_EQ(shown.name, "test");
    EXPECT_FALSE(shown.multi);
    EXPECT_EQ(shown.sdePath, dlg.SdePath());
    EXPECT_EQ(shown.filter, 5);
    ASSERT_EQ(t.ui.shows.size(), 1u);
    EXPECT_TRUE(t.ui.shows[0].modal);
    EXPECT_EQ(t.ui.shows[0].parent, 77);
    EXPECT_EQ(t.ui.shows[0].left, 0);
    EXPECT_EQ(t.ui.shows[0].top, 0);
}

TEST(OpenLayerDlg, RememberLocationSkipsTheFreshStartOfTheDataList) {
    for (const bool remember : {false, true}) {
        SCOPED_TRACE(remember ? "remembered" : "fresh start");
        TestPlatform t;
        COpenLayerDlg dlg(t);
        dlg.RememberLocation(remember);
        dlg.DataName(std::string("test"));
        long comboEntries = -1;
        std::string name;
        t.ui.OnModal("frmOpenDialog", [&](ui::Form& f) {
            auto& form = static_cast<frmOpenDialog&>(f);
            comboEntries = form.ComboLocation.Count();
            name = form.TxtDataName.Text();
            form.CmdCancel_Click();
        });
        Collection selection;
        dlg.DoModalOpen(0, selection);
        if (remember) {
            // Nothing rebuilt the lists, so the name box keeps its text.
            EXPECT_EQ(comboEntries, 0);
            EXPECT_EQ(name, "test");
        } else {
            // The root, the fake system's one drive "/", and one entry per
            // level of the replayed library folder; the listing empties the
            // name box.
            const std::string folder = t.home.LibraryFolder();
            const auto levels = std::count(folder.begin(), folder.end(), '/');
            EXPECT_EQ(comboEntries, 2 + levels);
            EXPECT_EQ(name, "");
        }
    }
}

TEST(OpenLayerDlg, CancelLeavesTheCallersCollectionUntouched) {
    TestPlatform t;
    COpenLayerDlg dlg(t);
    Collection selection;
    auto earlier = std::make_shared<CLayerObj>();
    selection.Add(earlier);
    t.ui.OnModal("frmOpenDialog", [](ui::Form& f) { static_cast<frmOpenDialog&>(f).CmdCancel_Click(); });
    EXPECT_FALSE(dlg.DoModalOpen(0, selection));
    ASSERT_EQ(selection.Count(), 1);
    EXPECT_EQ(selection.Item(1), earlier);
    // Closing the window without a button is a cancel too.
    EXPECT_FALSE(dlg.DoModalOpen(0, selection));
    EXPECT_EQ(selection.Count(), 1);
}

TEST(OpenLayerDlg, RemembersTheStoredLocationOrFallsBackToTheLibraryFolder) {
    TestPlatform t;
    COpenLayerDlg dlg(t);
    Collection selection;
    dlg.DoModalOpen(0, selection);
    EXPECT_EQ(gsCurDir, t.home.LibraryFolder());
    t.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", "/some/where");
    dlg.DoModalOpen(0, selection);
    EXPECT_EQ(gsCurDir, "/some/where");
}

TEST(OpenLayerDlg, ObjectAsNameTextIsLoggedAndNothingIsShown) {
    TestPlatform t;
    COpenLayerDlg dlg(t);
    dlg.DataName(ObjectPtr(std::make_shared<CLayerObj>()));
    Collection selection;
    EXPECT_FALSE(dlg.DoModalOpen(0, selection));
    EXPECT_TRUE(t.ui.shows.empty());
    const auto entries = t.LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].position, "Marbrook.COpenLayerDlg.DoModalOpen:104");
}

TEST(OpenLayerDlg, DestructionUnloadsTheForm) {
    TestPlatform t;
    {
        COpenLayerDlg dlg(t);
    }
    ASSERT_EQ(t.ui.unloaded.size(), 1u);
    EXPECT_EQ(t.ui.unloaded[0], "frmOpenDialog");
}

} // namespace
} // namespace marbrook
