#include <gtest/gtest.h>

#include "platform/posix/Ini.h"
#include "platform/posix/PosixSystem.h"
#include "support/Text.h"
#include "support/basSafe.h"
#include "support/Numbers.h"
#include "support/basWindowPos.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::ReadFile;
using testing::TestPlatform;
using testing::WriteFile;

TEST(IniText, ReadsCaseInsensitivelyAndFirstMatchWins) {
    const std::string ini = "; comment\r\n[ErrInfo]\r\nbShow = 1 \r\nBSHOW=2\r\n[errinfo]\r\nbShow=3\r\n[Other]\r\nk=v\r\n";
    EXPECT_EQ(posix::IniRead(ini, "errINFO", "bshow"), "1");
    EXPECT_EQ(posix::IniRead(ini, "Other", "K"), "v");
    EXPECT_EQ(posix::IniRead(ini, "Other", "missing"), std::nullopt);
    EXPECT_EQ(posix::IniRead(ini, "Missing", "k"), std::nullopt);
    // A key outside any section belongs to none.
    EXPECT_EQ(posix::IniRead("k=v\n[S]\n", "S", "k"), std::nullopt);
}

TEST(IniText, WriteKeepsEveryOtherLine) {
    const std::string ini = "; keep me\r\n[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n";
    SCOPED_TRACE("replace in place");
    EXPECT_EQ(posix::IniWrite(ini, "a", "Y", "20"), "; keep me\r\n[A]\r\nx=1\r\nY=20\r\n\r\n[B]\r\nz=3\r\n");
    SCOPED_TRACE("new key after the section's last key");
    EXPECT_EQ(posix::IniWrite(ini, "A", "w", "9"), "; keep me\r\n[A]\r\nx=1\r\ny=2\r\nw=9\r\n\r\n[B]\r\nz=3\r\n");
    SCOPED_TRACE("new section at the end");
    EXPECT_EQ(posix::IniWrite(ini, "C", "k", "v"), ini + "[C]\r\nk=v\r\n");
    SCOPED_TRACE("file without a final line end");
    EXPECT_EQ(posix::IniWrite("[A]\nx=1", "A", "y", "2"), "[A]\nx=1\ny=2\n");
    EXPECT_EQ(posix::IniWrite("", "ErrInfo", "bShow", "0"), "[ErrInfo]\nbShow=0\n");
}

// A file cut between the CR and the LF of its last line: the CR ends the line
// as a whole line end would, so that a key written after it is a line of its
// own and not the tail of the last value.
TEST(IniText, ALastLineEndedByALoneCrStaysALine) {
    const std::string ini = "[A]\r\nx=1\r";
    EXPECT_EQ(posix::IniRead(ini, "A", "x"), "1");
    const std::string added = posix::IniWrite(ini, "A", "y", "2");
    EXPECT_EQ(added, "[A]\r\nx=1\r\ny=2\r\n");
    EXPECT_EQ(posix::IniRead(added, "A", "y"), "2");
    EXPECT_EQ(posix::IniRead(added, "A", "x"), "1");
    EXPECT_EQ(posix::IniWrite(ini, "B", "k", "v"), "[A]\r\nx=1\r\n[B]\r\nk=v\r\n");
    EXPECT_EQ(posix::IniWrite("[A]\r", "A", "k", "v"), "[A]\r\nk=v\n");
    EXPECT_EQ(posix::IniWrite(ini, "A", "x", "3"), "[A]\r\nx=3\r");
}

TEST(SettingsFile, MissingFileIsCreatedHoldingTheDefault) {
    TestPlatform t;
    const std::string file = t.home.LibraryFolder() + "/VerdantaSysSet.ini";
    EXPECT_EQ(GetValueFromIni(t, "ErrInfo", "bShow", "0"), "0");
    EXPECT_EQ(ReadFile(file), "[ErrInfo]\nbShow=0\n");
    // Present file, missing key: the default, and the file is left alone.
    EXPECT_EQ(GetValueFromIni(t, "ErrInfo", "other", "dflt"), "dflt");
    EXPECT_EQ(ReadFile(file), "[ErrInfo]\nbShow=0\n");
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(SettingsFile, LongValuesAreCutAt254BytesOnACharacterBoundary) {
    TestPlatform t;
    const std::string file = t.home.LibraryFolder() + "/VerdantaSysSet.ini";
    // 253 ASCII bytes then a 3-byte character: byte 254 falls inside it.
    const std::string value = std::string(253, 'a') + "数据";
    WriteFile(file, "[S]\nk=" + value + "\n");
    EXPECT_EQ(GetValueFromIni(t, "S", "k", ""), std::string(253, 'a'));
    // Exactly 254 bytes of whole characters survive whole.
    const std::string exact = std::string(251, 'b') + "数";
    WriteFile(file, "[S]\nk=" + exact + "X\n");
    EXPECT_EQ(GetValueFromIni(t, "S", "k", ""), exact);
    WriteFile(file, "[S]\nk=目录数据\n");
    EXPECT_EQ(GetValueFromIni(t, "S", "k", ""), "目录数据");
}

TEST(SettingsFile, UncreatableFileLogsAndReturnsTheDefault) {
    TestPlatform t;
    ::setenv("MARBROOK_HOME", (t.home.LibraryFolder() + "/no/such/folder").c_str(), 1);
    EXPECT_EQ(GetValueFromIni(t, "ErrInfo", "bShow", "0"), "0");
    ::setenv("MARBROOK_HOME", t.home.LibraryFolder().c_str(), 1);
}

TEST(StripNullText, CutsBeforeTheFirstNul) {
    TestPlatform t;
    EXPECT_EQ(StripNull(t, "abc"), "abc");
    EXPECT_EQ(StripNull(t, std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(StripNull(t, std::string("\0x", 2)), "");
}

TEST(Utf8Text, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(text::SanitizeUtf8("ok"), "ok");
    EXPECT_EQ(text::SanitizeUtf8("a\xff" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(text::SanitizeUtf8("\xe6\x95"), "\xEF\xBF\xBD\xEF\xBF\xBD"); // truncated character
    EXPECT_FALSE(text::IsValidUtf8("\xc0\xaf"));                               // overlong
    EXPECT_TRUE(text::IsValidUtf8("数据目录"));
}

TEST(PathText, ParentNameAndExtension) {
    EXPECT_EQ(text::ParentFolder("/data/roads.shp"), "/data");
    EXPECT_EQ(text::ParentFolder("/roads.shp"), "/");
    EXPECT_EQ(text::FileNamePart("/data/roads.shp"), "roads.shp");
    EXPECT_EQ(text::ExtensionPart("/data/srv.sde.bak"), "bak");
    EXPECT_EQ(text::ExtensionPart("/data/.hidden"), "");
    EXPECT_EQ(text::ExtensionPart("/data.d/noext"), "");
    EXPECT_EQ(text::JoinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(text::JoinPath("/a", "b"), "/a/b");
}

TEST(Drives, RootFirstThenBlockDevicesOnceEach) {
    const std::string mounts =
        "proc /proc proc rw 0 0\n"
        "/dev/vda1 / ext4 rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sdb1 /media/usb\\040stick vfat rw 0 0\n"
        "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
        "/dev/sdb1 /media/usb\\040stick vfat rw 0 0\n"
        "/dev/sdc1 /srv/data xfs rw 0 0\n";
    const auto drives = posix::ParseMounts(mounts);
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives[0].root, "/");
    EXPECT_EQ(drives[1].root, "/media/usb stick");
    EXPECT_EQ(drives[2].root, "/media/cdrom");
    EXPECT_EQ(drives[2].type, 5);
    EXPECT_EQ(drives[3].root, "/srv/data");
}

TEST(UserSettings, StoredUnderTheConfigHomeAndReadBack) {
    TestPlatform t;
    EXPECT_EQ(t.system.GetSetting("VERDANTA", "OPENDLG", "CURDIR"), std::nullopt);
    t.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", "/data/数据");
    t.system.SaveSetting("VERDANTA", "OPENDLG", "OTHER", "x");
    EXPECT_EQ(t.system.GetSetting("verdanta", "opendlg", "curdir"), std::nullopt); // application is a file name
    EXPECT_EQ(t.system.GetSetting("VERDANTA", "opendlg", "curdir"), "/data/数据");
    EXPECT_EQ(ReadFile(t.home.ConfigHome() + "/marbrook/VERDANTA.ini"), "[OPENDLG]\nCURDIR=/data/数据\nOTHER=x\n");
}

TEST(Placement, RoundsHalvesToEven) {
    EXPECT_EQ(RoundHalfEven(199.5), 200);
    EXPECT_EQ(RoundHalfEven(198.5), 198);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_THROW(RoundHalfEven(1e12), std::overflow_error);
}

class PlacedForm : public ui::Form {
public:
    using ui::Form::Form;
    const char* FormName() const noexcept override { return "frmPlaced"; }
    std::vector<ui::Control*> Controls() override { return {}; }
};

TEST(Placement, EachPositionTypeByTheTable) {
    struct Row {
        long posType;
        ui::WindowHandle parent;
        int formHeightPx;
        int expectLeft;
        int expectTop;
    };
    const Row rows[] = {
        {0, 7, 201, 0, 0},
        {1, 7, 201, 115, 185},        // beside the mouse at (100, 200)
        {2, 7, 201, 0, 200},          // (600 - 201) / 2 = 199.5 -> 200
        {2, 7, 203, 0, 198},          // 198.5 -> 198
        {2, ui::kNoParent, 100, 0, 334}, // screen 768 px: 384 - 50
        {3, 7, 100, 0, 500},
        {3, ui::kNoParent, 68, 0, 700}, // bottom edge at the bottom of the screen
        {9, 7, 100, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("position type " + std::to_string(r.posType) + ", form height " + std::to_string(r.formHeightPx));
        TestPlatform t;
        t.ui.mouse = {100, 200};
        t.ui.windows[7] = {50, 60, 850, 660}; // a parent 600 px high
        PlacedForm form(t.ui);
        form.height = r.formHeightPx * 15.0;
        QMShowForm(t, form, r.parent, r.posType, 1);
        ASSERT_EQ(t.ui.shows.size(), 1u);
        EXPECT_TRUE(t.ui.shows[0].modal);
        EXPECT_EQ(t.ui.placements[&form].x, r.expectLeft);
        EXPECT_EQ(t.ui.placements[&form].y, r.expectTop);
        EXPECT_EQ(form.top, r.expectTop * 15.0);
        EXPECT_EQ(t.ui.parents.count(&form), 0u); // modal forms are not made children
        EXPECT_TRUE(t.LogEntries().empty());
    }
}

TEST(Placement, ModelessShowMakesTheFormAChildAndReturnsAtOnce) {
    TestPlatform t;
    PlacedForm form(t.ui);
    QMShowForm(t, form, 42, 0, 0);
    EXPECT_EQ(t.ui.parents[&form], 42);
    EXPECT_FALSE(t.ui.shows.at(0).modal);
    EXPECT_TRUE(form.IsVisible());
}

TEST(Placement, OverflowIsLoggedAndTheFormStaysUnshown) {
    TestPlatform t;
    t.ui.windows[7] = {0, 0, 10, 2147483000};
    PlacedForm form(t.ui);
    form.height = -2147483000.0 * 15;
    QMShowForm(t, form, 7, 3, 1);
    EXPECT_TRUE(t.ui.shows.empty());
    const auto entries = t.LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].position, "Tessgate.basWindowPos.QMShowForm:113");
    EXPECT_EQ(entries[0].number, 6);
}

} // namespace
} // namespace marbrook
