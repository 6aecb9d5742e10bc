#include <gtest/gtest.h>

#include <filesystem>

#include "support/ErrExport.h"
#include "support/Failure.h"
#include "support/basSafe.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::ReadFile;
using testing::TestPlatform;
using testing::WriteFile;

TEST(ErrorLog, EntryHasEveryFieldInTheExactLayout) {
    TestPlatform t;
    WriteErrLog(t, "Marbrook.COpenLayerDlg.DoModalOpen:111", -2147467259, "SomeSource", "Something broke");
    EXPECT_EQ(t.ErrLogText(),
              "[DATETIME: 2026-12-07  21:30:05 DLLVERSION: 2.0.0] \r\n"
              "\tPosition:          Marbrook.COpenLayerDlg.DoModalOpen:111\r\n"
              "\tError Number:      -2147467259\r\n"
              "\tError Description: Something broke\r\n"
              "\r\n"
              "\r\n");
    // The source is not part of the file, and nothing was shown.
    EXPECT_EQ(t.ErrLogText().find("SomeSource"), std::string::npos);
    EXPECT_TRUE(t.ui.messages.empty());
}

TEST(ErrorLog, ReportsAreAppendedNeverRewritten) {
    TestPlatform t;
    WriteFile(t.ErrLogPath(), "earlier content\r\n");
    WriteErrLog(t, "A:100", 1, "s", "first");
    WriteErrLog(t, "B:101", 2, "s", "second");
    const std::string log = t.ErrLogText();
    EXPECT_EQ(log.rfind("earlier content\r\n", 0), 0u);
    const auto entries = t.LogEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].position, "A:100");
    EXPECT_EQ(entries[1].description, "second");
    // Each entry ends with two empty lines.
    EXPECT_NE(log.find("first\r\n\r\n\r\n[DATETIME"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 12), "second\r\n\r\n\r\n");
}

TEST(ErrorLog, FirstReportCreatesTheSettingsFileWithTheSwitchOff) {
    TestPlatform t;
    WriteErrLog(t, "X:0", 5, "s", "d");
    const std::string ini = ReadFile(t.home.LibraryFolder() + "/VerdantaSysSet.ini");
    EXPECT_EQ(ini, "[ErrInfo]\nbShow=0\n");
    EXPECT_EQ(t.LogEntries().size(), 1u);
}

TEST(ErrorLog, SwitchOnOrEmptyShowsAMessageBoxInsteadOfWriting) {
    for (const std::string value : {"1", "", "yes"}) {
        SCOPED_TRACE("bShow=" + value);
        TestPlatform t;
        WriteFile(t.home.LibraryFolder() + "/VerdantaSysSet.ini", "[ErrInfo]\r\nbShow=" + value + "\r\n");
        WriteErrLog(t, "Marbrook.X.Y:104", 91, "TheSource", "Object variable not set");
        ASSERT_EQ(t.ui.messages.size(), 1u);
        EXPECT_EQ(t.ui.messages[0].title, "TheSource");
        EXPECT_EQ(t.ui.messages[0].icon, ui::MessageIcon::Information);
        EXPECT_EQ(t.ui.messages[0].text,
                  "Marbrook.X.Y:104\r\nError Number:      91\r\nError Description: Object variable not set");
        EXPECT_FALSE(t.system.FileExists(t.ErrLogPath()));
    }
}

TEST(ErrorLog, AnUnwritableLogIsSwallowedAndTheNextReportIsWritten) {
    TestPlatform t;
    // A folder where the log file should be makes every append fail.
    t.system.CreateFolder(t.ErrLogPath());
    WriteErrLog(t, "X:1", 1, "s", "d");
    EXPECT_TRUE(t.ui.messages.empty()) << "a failure of the log itself is not shown";
    EXPECT_TRUE(t.system.FolderExists(t.ErrLogPath()));
    // Nothing of the failed write lingers: once the log can be written, the
    // next report is its one entry.
    std::filesystem::remove(t.ErrLogPath());
    WriteErrLog(t, "X:2", 2, "s", "d");
    const auto entries = t.LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].position, "X:2");
}

TEST(ErrorLog, UnreadableSettingsFileStillLetsTheCallerReturn) {
    TestPlatform t;
    // The settings file is a folder: reading it fails inside the report.
    t.system.CreateFolder(t.home.LibraryFolder() + "/VerdantaSysSet.ini");
    WriteErrLog(t, "Caller:100", 7, "s", "d");
    // The caller's entry is still written.
    const auto entries = t.LogEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().position, "Caller:100");
}

TEST(ErrorLog, ControlCharactersInLoggedTextAreWrittenEscaped) {
    const struct {
        const char* text;
        const char* logged;
    } cases[] = {
        {"plain text", "plain text"},
        {"/data/new\nline.mdb", "/data/new\\nline.mdb"},
        {"cr\rlf\r\ntab\t", "cr\\rlf\\r\\ntab\\t"},
        {"bell\x07 esc\x1b del\x7f", "bell\\x07 esc\\x1b del\\x7f"},
        {"back\\slash", "back\\\\slash"},
        {"\xe6\x95\xb0\xe6\x8d\xae \xff", "\xe6\x95\xb0\xe6\x8d\xae \xff"}, // UTF-8 and other bytes stay
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string entry = FormatErrLogEntry("d", "t", 2, 0, 0, std::string("P:") + c.text, 1, c.text);
        EXPECT_EQ(entry, std::string("[DATETIME: d  t DLLVERSION: 2.0.0] \r\n\tPosition:          P:") + c.logged +
                             "\r\n\tError Number:      1\r\n\tError Description: " + c.logged + "\r\n\r\n");
    }
}

TEST(ErrorLog, ANameThatHoldsLineBreaksCannotForgeAnEntry) {
    TestPlatform t;
    const std::string forged = "cannot open /data/x\r\n\r\n\r\n[DATETIME: 2026-01-01  00:00:00 DLLVERSION: 2.0.0] \r\n"
                               "\tPosition:          Marbrook.Forged:100\r\n\tError Number:      0\r\n"
                               "\tError Description: all is well\r\n\r\n.mdb";
    WriteErrLog(t, "Marbrook.basOpenDialogs.GetPGMdbFiles:101", 53, "s", forged);
    const auto entries = t.LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].position, "Marbrook.basOpenDialogs.GetPGMdbFiles:101");
    // Six lines, whatever the description held.
    const std::string log = t.ErrLogText();
    std::size_t lines = 0;
    for (std::size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 6u);
    EXPECT_EQ(log.find('\n'), log.find("\r\n") + 1);
}

TEST(FailureHelper, OneEntryWithPositionStepAndNumber) {
    TestPlatform t;
    Steps step(t, "Marbrook.Module.Routine:");
    try {
        step(100);
        step(103);
        throw PlatformError(53, "src", "File not found");
    } catch (...) {
        const auto info = step.Report();
        EXPECT_EQ(info.number, 53);
    }
    const auto entries = t.LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].position, "Marbrook.Module.Routine:103");
    EXPECT_EQ(entries[0].number, 53);
    EXPECT_EQ(entries[0].description, "File not found");
}

TEST(FailureHelper, StandardExceptionsMapToClassicNumbers) {
    const auto numberOf = [](auto thrower) {
        try {
            thrower();
        } catch (...) {
            return DescribeCurrentException().number;
        }
        return 0L;
    };
    EXPECT_EQ(numberOf([] { throw std::out_of_range("x"); }), 9);
    EXPECT_EQ(numberOf([] { throw std::overflow_error("x"); }), 6);
    EXPECT_EQ(numberOf([] { throw std::bad_alloc(); }), 7);
    EXPECT_EQ(numberOf([] { throw 42; }), 440);
    // A failure before the first step reports step 0.
    TestPlatform t;
    Steps step(t, "P:");
    try {
        throw std::runtime_error("early");
    } catch (...) {
        step.Report();
    }
    EXPECT_EQ(t.LogEntries().at(0).position, "P:0");
}

TEST(FailureWatch, SeesEveryReportWhereverTheEntryWentAndNests) {
    // Whether the entry is written, shown instead, or cannot be written: the
    // watch learns of the failure from the report itself.
    const struct {
        const char* where;
        void (*prepare)(TestPlatform&);
    } cases[] = {
        {"log written", [](TestPlatform&) {}},
        {"log unwritable", [](TestPlatform& t) { t.system.CreateFolder(t.ErrLogPath()); }},
        {"shown instead", [](TestPlatform& t) {
             WriteFile(t.home.LibraryFolder() + "/VerdantaSysSet.ini", "[ErrInfo]\nbShow=1\n");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        TestPlatform t;
        c.prepare(t);
        auto fail = [&](const char* position, const char* description) {
            Steps step(t, position);
            try {
                step(101);
                throw PlatformError(76, "src", description);
            } catch (...) {
                step.Report();
            }
        };
        FailureWatch outer;
        EXPECT_FALSE(outer.Failed());
        {
            FailureWatch inner;
            fail("Marbrook.A.B:", "first");
            fail("Marbrook.A.C:", "second");
            EXPECT_EQ(inner.Count(), 2);
            ASSERT_TRUE(inner.First());
            EXPECT_EQ(inner.First()->position, "Marbrook.A.B:101");
            EXPECT_EQ(inner.First()->error.number, 76);
            EXPECT_EQ(inner.First()->error.description, "first");
        }
        FailureWatch later; // made after the failures: sees none of them
        EXPECT_FALSE(later.Failed());
        EXPECT_EQ(outer.Count(), 2);
        EXPECT_EQ(outer.First()->error.description, "first");
    }
}

} // namespace
} // namespace marbrook
