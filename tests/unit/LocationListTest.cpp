// The location list: top level, inserting, cutting back, comparing.
#include <gtest/gtest.h>

#include <functional>

#include "catalogue/basOpenDialogs.h"
#include "support/Globals.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::TestPlatform;

std::vector<std::string> Texts(const ui::ImageCombo& combo) {
    std::vector<std::string> out;
    for (const auto& item : combo.Items()) out.push_back(item.text);
    return out;
}

DataNode Opened(const std::string& name, std::int16_t parent, std::int16_t level) {
    DataNode n;
    n.DataLocation = dlFolder;
    n.DataType = dtFolder;
    n.DataTypeDesc = desc::kFolder;
    n.DataName = name;
    n.DataFullName = "/" + name;
    n.ParentNode = parent;
    n.ChildNode = -1;
    n.Level = level;
    return n;
}

TEST(LocationList, TopLevelWithAndWithoutTheDatabaseRoot) {
    for (const std::int16_t type : {0, 1}) {
        SCOPED_TRACE("data-source type " + std::to_string(type));
        TestPlatform t;
        giDataSourceType = type;
        t.system.drives = {{"/", 3}, {"/media/cd", 5}, {"/mnt/data", 3}};
        DataNodes list;
        ui::ImageCombo combo("ComboLocation");
        const long expected = type == 1 ? 3 : 2;
        EXPECT_EQ(InitComboList(t, list, combo, 1), expected);
        ASSERT_EQ(list.size(), static_cast<std::size_t>(expected) + 1);
        EXPECT_EQ(list[0].DataName, "数据目录");
        EXPECT_EQ(list[0].DataType, -1);
        EXPECT_EQ(list[0].ChildNode, -1);
        ASSERT_EQ(combo.Count(), expected + 1);
        EXPECT_EQ(combo.SelectedIndex(), 2); // entry 1 is the second item
        EXPECT_EQ(combo.At(2).text, "/");
        EXPECT_EQ(combo.At(2).image, 2);
        EXPECT_EQ(combo.At(2).indentation, 1);
        EXPECT_EQ(combo.At(2).tag, 1);
        if (type == 1) {
            const DataNode& db = list.back();
            EXPECT_EQ(db.DataName, "数据库连接");
            EXPECT_EQ(db.DataLocation, dlDatabaseRoot);
            EXPECT_EQ(db.DataType, -1);
            EXPECT_EQ(db.Level, 1);
            EXPECT_EQ(combo.At(combo.Count()).image, 3);
        }
    }
}

TEST(LocationList, OnlyCdDrivesLeaveTheRootAlone) {
    TestPlatform t;
    t.system.drives = {{"/media/cd", 5}};
    DataNodes list(7);
    ui::ImageCombo combo("ComboLocation");
    EXPECT_EQ(InitComboList(t, list, combo, 0), 0);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(Texts(combo), std::vector<std::string>{"数据目录"});
}

TEST(LocationList, SelectingByTextPicksTheLastMatchOrNothing) {
    TestPlatform t;
    t.system.drives = {{"/", 3}, {"/a", 3}, {"/a", 3}};
    DataNodes list;
    ui::ImageCombo combo("ComboLocation");
    EXPECT_EQ(InitComboList1(t, list, combo, "/a"), 3);
    EXPECT_EQ(combo.SelectedIndex(), 4);
    InitComboList1(t, list, combo, "/A");
    EXPECT_EQ(combo.SelectedIndex(), 0);
}

TEST(LocationList, OpeningAndGoingBackUp) {
    TestPlatform t;
    t.system.drives = {{"/", 3}, {"/mnt", 3}};
    DataNodes list;
    ui::ImageCombo combo("ComboLocation");
    InitComboList(t, list, combo, 0);

    // Open "home" below drive 1: inserted at 2, later drives shift down.
    EXPECT_EQ(RefreshComboList(t, list, combo, Opened("home", 1, 2)), 3);
    EXPECT_EQ(Texts(combo), (std::vector<std::string>{"数据目录", "/", "home", "/mnt"}));
    EXPECT_EQ(list[1].ChildNode, 2);
    EXPECT_EQ(list[2].ParentNode, 1);
    EXPECT_EQ(combo.SelectedIndex(), 3);
    EXPECT_EQ(combo.At(3).indentation, 2);

    EXPECT_EQ(RefreshComboList(t, list, combo, Opened("user", 2, 3)), 4);
    EXPECT_EQ(Texts(combo), (std::vector<std::string>{"数据目录", "/", "home", "user", "/mnt"}));
    EXPECT_EQ(list[2].ChildNode, 3);

    // Choosing the drive two levels above the deepest entry removes only the deepest.
    EXPECT_EQ(RefreshComboListEx(t, list, combo, CloneComboList(list[1]), 1), 3);
    EXPECT_EQ(Texts(combo), (std::vector<std::string>{"数据目录", "/", "home", "/mnt"}));
    EXPECT_EQ(list[2].ChildNode, -1);
    EXPECT_EQ(list[1].ChildNode, 2);

    // An entry without a child: nothing to cut, nothing redisplayed.
    combo.Select(1);
    EXPECT_EQ(RefreshComboListEx(t, list, combo, list[3], 3), -1);
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(combo.SelectedIndex(), 1);
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(LocationList, RefreshOnARootOnlyListChangesNothing) {
    TestPlatform t;
    DataNodes list(1);
    ui::ImageCombo combo("ComboLocation");
    EXPECT_EQ(RefreshComboList(t, list, combo, Opened("x", 0, 1)), 0);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(combo.Count(), 0);
}

TEST(LocationList, InsertAfterABadIndexFailsWithoutGrowingTheList) {
    TestPlatform t;
    DataNodes list(3);
    for (const long bad : {3L, -1L, 100L}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(InsertToComboList(t, list, Opened("x", 0, 1), bad), -1);
        EXPECT_EQ(list.size(), 3u);
    }
    EXPECT_EQ(t.LogEntries().size(), 3u);
    EXPECT_EQ(InsertToComboList(t, list, Opened("x", 0, 1), 2), 3);
    EXPECT_EQ(list[3].DataName, "x");
    EXPECT_EQ(list[2].ChildNode, 3);
}

TEST(LocationList, DeletePastTheEndShowsTheMessageAndChangesNothing) {
    TestPlatform t;
    DataNodes list(3);
    const long index = 3;
    EXPECT_FALSE(DeleteComboList(t, list, index));
    EXPECT_EQ(list.size(), 3u);
    ASSERT_EQ(t.ui.messages.size(), 1u);
    EXPECT_EQ(t.ui.messages[0].text, "出现严重错误,数组索引错误.");
    EXPECT_EQ(t.ui.messages[0].title, "VERDANTA");
    EXPECT_EQ(t.ui.messages[0].icon, ui::MessageIcon::Information);
}

TEST(LocationList, DeleteRemovesTheDeepestOfTheChain) {
    TestPlatform t;
    DataNodes list = {Opened("root", 0, 0), Opened("a", 0, 1), Opened("b", 1, 2), Opened("c", 2, 3), Opened("z", 0, 1)};
    list[1].ChildNode = 2;
    list[2].ChildNode = 3;
    EXPECT_TRUE(DeleteComboList(t, list, 1));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[3].DataName, "z");
    EXPECT_EQ(list[2].ChildNode, -1);
    EXPECT_EQ(list[1].ChildNode, 2);
    // The last entry: its parent's child link is cleared.
    const long last = 3;
    list[0].ChildNode = 3;
    EXPECT_TRUE(DeleteComboList(t, list, last));
    EXPECT_EQ(list[0].ChildNode, -1);
    EXPECT_EQ(list.size(), 3u);
}

TEST(LocationList, ADamagedChildChainIsALoggedFailureNotAHang) {
    TestPlatform t;
    DataNodes list = {Opened("root", 0, 0), Opened("a", 0, 1), Opened("b", 1, 2), Opened("z", 0, 1)};
    list[1].ChildNode = 2;
    list[2].ChildNode = 1; // loops back
    EXPECT_FALSE(DeleteComboList(t, list, 1));
    EXPECT_EQ(list.size(), 4u);
    list[2].ChildNode = 40; // points past the end
    EXPECT_FALSE(DeleteComboList(t, list, 1));
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(t.LogEntries().size(), 2u);
}

TEST(LocationList, EqualityComparesEveryFieldExactly) {
    const DataNode base = Opened("home", 1, 2);
    EXPECT_TRUE(IsComboListEqual(base, CloneComboList(base)));
    const std::vector<std::function<void(DataNode&)>> changes = {
        [](DataNode& n) { n.DataFullName = "/HOME"; }, [](DataNode& n) { n.DataName = "Home"; },
        [](DataNode& n) { n.DataTypeDesc += " "; },   [](DataNode& n) { n.DataLocation = 4; },
        [](DataNode& n) { n.DataType = 5; },          [](DataNode& n) { n.ParentNode = 0; },
        [](DataNode& n) { n.ChildNode = 3; },         [](DataNode& n) { n.Level = 1; },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        DataNode other = CloneComboList(base);
        changes[i](other);
        EXPECT_FALSE(IsComboListEqual(base, other));
    }
}

} // namespace
} // namespace marbrook
