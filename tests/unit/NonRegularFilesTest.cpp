// What the settings files and the error log may find at their paths on a
// user's disk besides a plain file: a pipe, a device, a link, a file far too
// large. None may make the library wait or read for ever, and none may be
// written through. Also: two processes writing one settings file at once.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/error.h"
#include "platform/posix/Ini.h"
#include "platform/posix/PosixSystem.h"
#include "support/ErrExport.h"
#include "support/basSafe.h"
#include "tests/doubles/TestPlatform.h"
#include "tests/doubles/Processes.h"

namespace marbrook {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::TestPlatform;
using testing::WriteFile;

// What a test may find at a path, made there; links are removed again at
// the end, so that no clean-up walks through them.
enum class Oddity { Pipe, LinkToDevice, LinkElsewhere, DanglingLink, HugeFile };

struct Placed {
    std::string path;
    std::string elsewhere; // the file a link points to, when there is one
    ~Placed() { ::unlink(path.c_str()); }
};

const char* Name(Oddity o) {
    switch (o) {
    case Oddity::Pipe: return "a pipe";
    case Oddity::LinkToDevice: return "a link to /dev/zero";
    case Oddity::LinkElsewhere: return "a link to a file elsewhere";
    case Oddity::DanglingLink: return "a dangling link";
    case Oddity::HugeFile: return "a 2 MiB file";
    }
    return "";
}

void Place(Oddity o, Placed& p, const TempDir& scratch) {
    switch (o) {
    case Oddity::Pipe: ASSERT_EQ(::mkfifo(p.path.c_str(), 0644), 0); break;
    case Oddity::LinkToDevice: ASSERT_EQ(::symlink("/dev/zero", p.path.c_str()), 0); break;
    case Oddity::LinkElsewhere:
        p.elsewhere = scratch / "elsewhere.txt";
        WriteFile(p.elsewhere, "precious\n");
        ASSERT_EQ(::symlink(p.elsewhere.c_str(), p.path.c_str()), 0);
        break;
    case Oddity::DanglingLink:
        p.elsewhere = scratch / "not-yet";
        ASSERT_EQ(::symlink(p.elsewhere.c_str(), p.path.c_str()), 0);
        break;
    case Oddity::HugeFile: WriteFile(p.path, "[ErrInfo]\nbShow=0\n" + std::string(std::size_t{2} << 20, ';')); break;
    }
}

TEST(SpecialFiles, ASettingsFileThatIsNoPlainFileIsOneFailureAndTheDefault) {
    for (const Oddity o : {Oddity::Pipe, Oddity::LinkToDevice, Oddity::HugeFile}) {
        SCOPED_TRACE(Name(o));
        TestPlatform t;
        Placed settings{SettingsFilePath(t), {}};
        Place(o, settings, TempDir{});
        std::string value;
        {
            testing::Watchdog dog(20, std::string("reading the switch from ") + Name(o));
            value = GetValueFromIni(t, "ErrInfo", "bShow", "0");
        }
        EXPECT_EQ(value, "0");
        // Reporting the failure reads the switch once more, which fails the
        // same way and is logged once (the nested report reads no further).
        const auto log = t.LogEntries();
        ASSERT_FALSE(log.empty());
        EXPECT_LE(log.size(), 2u);
        for (const auto& entry : log) {
            EXPECT_EQ(entry.position, "basSafe.GetValueFromIni:104");
            EXPECT_NE(entry.description.find(settings.path), std::string::npos) << entry.description;
        }
    }
}

TEST(SpecialFiles, PerUserSettingsAreReadOnlyFromAPlainFileOfBoundedSize) {
    for (const Oddity o : {Oddity::Pipe, Oddity::LinkToDevice, Oddity::HugeFile}) {
        SCOPED_TRACE(Name(o));
        TestPlatform t;
        ASSERT_EQ(::mkdir((t.home.ConfigHome() + "/marbrook").c_str(), 0755), 0);
        Placed settings{t.home.ConfigHome() + "/marbrook/VERDANTA.ini", {}};
        Place(o, settings, TempDir{});
        posix::PosixSystem sys;
        testing::Watchdog dog(20, std::string("reading settings from ") + Name(o));
        try {
            (void)sys.GetSetting("VERDANTA", "OPENDLG", "CURDIR");
            ADD_FAILURE() << "read";
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.Number(), o == Oddity::HugeFile ? errnum::kInvalidFileFormat : errnum::kPathFileAccessError);
            EXPECT_NE(e.Description().find(settings.path), std::string::npos) << e.Description();
        }
        EXPECT_THROW(sys.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", "/x"), PlatformError);
    }
}

// Files in /proc say they are empty; the mount table is read whole anyway.
TEST(SpecialFiles, AFileThatReportsNoSizeIsStillReadWhole) {
    EXPECT_FALSE(posix::ReadRegularFile("/proc/self/mounts", std::size_t{16} << 20).empty());
    try {
        (void)posix::ReadRegularFile("/nonexistent/VerdantaSysSet.ini", 10);
        ADD_FAILURE() << "read";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.Number(), errnum::kFileNotFound);
    }
}

TEST(SpecialFiles, TheErrorLogIsNeverWrittenThroughALinkNorWaitedFor) {
    for (const Oddity o : {Oddity::Pipe, Oddity::LinkToDevice, Oddity::LinkElsewhere, Oddity::DanglingLink}) {
        SCOPED_TRACE(Name(o));
        TestPlatform t;
        TempDir scratch;
        Placed log{t.ErrLogPath(), {}};
        Place(o, log, scratch);
        // A failure to log is swallowed; the report returns at once.
        {
            testing::Watchdog dog(20, std::string("logging into ") + Name(o));
            WriteErrLog(t, "X.Y:100", 5, "s", "d");
        }
        if (o == Oddity::LinkElsewhere) {
            EXPECT_EQ(ReadFile(log.elsewhere), "precious\n");
        }
        if (o == Oddity::DanglingLink) {
            struct stat st{};
            EXPECT_NE(::lstat(log.elsewhere.c_str(), &st), 0) << "the link's target was created";
        }
        posix::PosixSystem sys;
        try {
            sys.AppendText(log.path, "entry\r\n");
            ADD_FAILURE() << "appended";
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.Number(), errnum::kPathFileAccessError) << e.Description();
            EXPECT_NE(e.Description().find(log.path), std::string::npos) << e.Description();
        }
    }
}

TEST(SpecialFiles, ADanglingLinkTakesItsName) {
    TempDir dir;
    posix::PosixSystem sys;
    ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (dir / "taken.sde").c_str()), 0);
    EXPECT_TRUE(sys.PathExists(dir / "taken.sde"));
    EXPECT_FALSE(sys.FileExists(dir / "taken.sde"));
    EXPECT_FALSE(sys.PathExists(dir / "free.sde"));
}

// Two processes each write 300 keys of their own into one settings file, as
// two hosts remembering their folders would; every key must be kept.
TEST(SettingsFile, TwoProcessesWritingAtOnceKeepEveryKey) {
    testing::IsolatedHome home;
    constexpr int kKeys = 300;
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            ::close(go[1]);
            char start;
            if (::read(go[0], &start, 1) != 0) ::_exit(3); // both begin when the pipe closes
            posix::PosixSystem sys;
            try {
                for (int i = 0; i < kKeys; ++i)
                    sys.SaveSetting("VERDANTA", "KEYS", "p" + std::to_string(c) + "_" + std::to_string(i), std::to_string(i));
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0);
        }
    }
    ::close(go[0]);
    ::close(go[1]);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    const std::string text = ReadFile(home.ConfigHome() + "/marbrook/VERDANTA.ini");
    int kept = 0;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kKeys; ++i)
            kept += posix::IniRead(text, "KEYS", "p" + std::to_string(c) + "_" + std::to_string(i)) == std::to_string(i);
    EXPECT_EQ(kept, 2 * kKeys);
    // Nothing is left beside the file.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home.ConfigHome() + "/marbrook")) ++entries;
    EXPECT_EQ(entries, 1u);
}

} // namespace
} // namespace marbrook
