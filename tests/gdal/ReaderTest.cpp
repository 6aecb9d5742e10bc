// The reader program's answer as bytes, and the library's side of running
// it: every way a reader can fail becomes one failure naming the file.
// Stand-in readers (small shell scripts) play the misbehaving reader; the
// real one reads real files in DamagedFilesTest.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/gdal/reader/ReaderClient.h"
#include "platform/gdal/reader/ReaderProtocol.h"
#include "tests/doubles/FakeSystem.h"

namespace marbrook {
namespace {

using gdal::reader::Answer;
using gdal::reader::DecodeAnswer;
using gdal::reader::EncodeAnswer;
using gdal::reader::Job;
using gdal::reader::PgeoItem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using namespace std::string_literals;

Answer Catalogue() {
    Answer a;
    a.items.push_back({"Hydro", gis::kind::kFeatureDataset, "", {}});
    a.items.push_back({"lines", gis::kind::kFeatureClass, "Hydro", {gis::feature::kSimple, gis::shape::kPolyline}});
    a.items.push_back({"odd\nname\0with nul"s, gis::kind::kTable, "", {0, -5}});
    a.items.push_back({std::string(200000, 'x'), gis::kind::kRasterDataset, "", {}});
    return a;
}

// ---- The answer as bytes ----------------------------------------------------------

TEST(ReaderAnswer, WhatIsWrittenReadsBackExactly) {
    Answer counted;
    counted.featuresRead = 123456789012LL;
    Answer failed;
    failed.error = ErrorInfo{53, {}, "cannot open /data/a.mdb"};
    for (const Answer& a : {Answer{}, Catalogue(), counted, failed}) {
        const Answer back = DecodeAnswer(EncodeAnswer(a));
        EXPECT_TRUE(gdal::reader::SameAnswer(back, a));
    }
}

TEST(ReaderAnswer, AnAnswerCutAnywhereOrWithBytesAfterItIsRefused) {
    const std::string whole = EncodeAnswer(Catalogue());
    for (std::size_t cut = 0; cut < whole.size(); cut += (cut < 64 || whole.size() - cut < 64) ? 1 : 997) {
        SCOPED_TRACE(cut);
        EXPECT_THROW((void)DecodeAnswer(std::string_view(whole).substr(0, cut)), PlatformError);
    }
    EXPECT_THROW((void)DecodeAnswer(whole + "\0"s), PlatformError);
    EXPECT_THROW((void)DecodeAnswer(whole + whole), PlatformError);
}

// A record as the framing writes it.
std::string Record(const std::vector<std::string>& fields) {
    const auto u32 = [](std::size_t v) {
        std::string out;
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
        return out;
    };
    std::string out = u32(fields.size());
    for (const auto& f : fields) out += u32(f.size()) + f;
    return out;
}

TEST(ReaderAnswer, MalformedAnswersAreRefusedWithAReason) {
    const std::string magic = "MBRK1\n";
    const std::string end1 = Record({"end", "1"});
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"nothing", ""},
        {"another magic", "MBRK2\n" + Record({"end", "0"})},
        {"no end", magic + Record({"read", "1"})},
        {"an end that miscounts", magic + Record({"read", "1"}) + Record({"end", "0"})},
        {"an end with a sign", magic + Record({"end", "+0"})},
        {"a record of no fields", magic + "\0\0\0\0"s + Record({"end", "0"})},
        {"a record of seven fields", magic + Record({"item", "a", "5", "", "1", "1", "x"}) + end1},
        {"a field longer than the answer", magic + "\2\0\0\0\3\0\0\0end\xff\xff\xff\x7f"s},
        {"an unknown record", magic + Record({"exec", "rm -rf /"}) + end1},
        {"an item of an unknown kind", magic + Record({"item", "a", "99", "", "1", "1"}) + end1},
        {"an item kind with blanks", magic + Record({"item", "a", " 5", "", "1", "1"}) + end1},
        {"a shape kind out of range", magic + Record({"item", "a", "5", "", "1", "99999999999"}) + end1},
        {"an item of five fields", magic + Record({"item", "a", "5", "", "1"}) + end1},
        {"a negative count", magic + Record({"read", "-1"}) + end1},
        {"a count with a tail", magic + Record({"read", "12x"}) + end1},
        {"two counts", magic + Record({"read", "1"}) + Record({"read", "2"}) + Record({"end", "2"})},
        {"two failures", magic + Record({"error", "5", "a"}) + Record({"error", "5", "b"}) + Record({"end", "2"})},
        {"a failure number out of range", magic + Record({"error", "4294967296", "a"}) + end1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            (void)DecodeAnswer(c.bytes);
            ADD_FAILURE() << "accepted";
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.Number(), errnum::kInvalidFileFormat);
            EXPECT_EQ(e.Description().rfind("the reader's answer is not understood: ", 0), 0u) << e.Description();
        }
    }
    // Bounds: records and field sizes.
    gdal::reader::AnswerBounds small;
    small.records = 2;
    small.fieldBytes = 10;
    Answer three;
    three.items.assign(3, PgeoItem{"a", gis::kind::kTable, "", {}});
    EXPECT_NO_THROW((void)DecodeAnswer(EncodeAnswer(three)));
    EXPECT_THROW((void)DecodeAnswer(EncodeAnswer(three), small), PlatformError);
    Answer longName;
    longName.items.push_back({std::string(11, 'n'), gis::kind::kTable, "", {}});
    EXPECT_THROW((void)DecodeAnswer(EncodeAnswer(longName), small), PlatformError);
}

TEST(ReaderAnswer, AFailureDescriptionIsCutAndKeptOnOneLine) {
    Answer a;
    a.error = ErrorInfo{321, {}, "line one\r\nline two\t\x1b[31m" + std::string(3000, 'x')};
    const Answer back = DecodeAnswer(EncodeAnswer(a));
    ASSERT_TRUE(back.error);
    EXPECT_EQ(back.error->description.rfind("line one  line two  [31mxxx", 0), 0u) << back.error->description;
    EXPECT_EQ(back.error->description.size(), 2000u);
    EXPECT_EQ(back.error->description.substr(1997), "...");
    // A cut never ends inside a character.
    a.error->description = std::string(1996, 'a') + "\xe6\x95\xb0\xe6\x8d\xae";
    EXPECT_EQ(DecodeAnswer(EncodeAnswer(a)).error->description, std::string(1996, 'a') + "...");
}

// ---- Running a reader -------------------------------------------------------------

// A stand-in reader: a shell script with `body`, made executable.
class StandIns : public ::testing::Test {
protected:
    std::string Script(const std::string& name, const std::string& body) {
        const std::string path = dir / name;
        WriteFile(path, "#!/bin/sh\n" + body + "\n");
        EXPECT_EQ(::chmod(path.c_str(), 0755), 0);
        return path;
    }
    posix::ChildLimits Limits() const {
        posix::ChildLimits l = gdal::reader::ReaderLimits();
        l.wallTime = std::chrono::milliseconds(1500);
        l.printedBytes = 64 * 1024;
        return l;
    }
    TempDir dir;
    const std::string file = "/data/damaged \"one\".mdb";
};

TEST_F(StandIns, EveryWayAReaderFailsIsOneFailureNamingTheFile) {
    Answer fine;
    fine.items.push_back({"points", gis::kind::kFeatureClass, "", {1, 1}});
    WriteFile(dir / "fine.answer", EncodeAnswer(fine));
    Answer ownFailure;
    ownFailure.error = ErrorInfo{53, {}, "cannot open " + file + ": Unable to initialize ODBC connection"};
    WriteFile(dir / "failure.answer", EncodeAnswer(ownFailure));
    Answer anonymous;
    anonymous.error = ErrorInfo{440, {}, "basic_string: construction from null is not valid"};
    WriteFile(dir / "anonymous.answer", EncodeAnswer(anonymous));
    const std::string fineAnswer = "cat '" + dir / "fine.answer" + "' >&3";

    const struct {
        const char* what;
        std::string body;
        long number;
        const char* says;
    } cases[] = {
        {"a crash", "kill -SEGV $$", errnum::kInvalidFileFormat, "the file is damaged: its reader crashed (SIGSEGV)"},
        {"an abort after half an answer", "printf 'MBRK1\\n' >&3; kill -ABRT $$", errnum::kInvalidFileFormat,
         "its reader crashed (SIGABRT)"},
        {"a hang", "sleep 30", errnum::kInvalidFileFormat, "its reader did not end within 1 s"},
        {"a flood", "while :; do echo 'offset 65011712 is beyond EOF'; done", errnum::kInvalidFileFormat,
         "its reader printed more than 65536 bytes of complaints, beginning \"offset 65011712 is beyond EOF\""},
        {"a whole answer, and a complaint", "echo; echo 'warning: Invalid data location' >&2; " + fineAnswer,
         errnum::kInvalidFileFormat, "the file is damaged: its reader complained \"warning: Invalid data location\""},
        {"hex dumps on standard output", "printf '0x0000 | 00 01 02\\n'; " + fineAnswer, errnum::kInvalidFileFormat,
         "complained \"0x0000 | 00 01 02\""},
        {"an answer of nonsense", "printf 'hello' >&3", errnum::kInvalidFileFormat, "the reader's answer is not understood"},
        {"no answer at all", "exit 0", errnum::kInvalidFileFormat, "the reader's answer is not understood: it is empty"},
        {"a whole answer, and a failing status", fineAnswer + "; exit 3", errnum::kInvalidFileFormat,
         "its reader ended with status 3"},
        {"its own failure", "cat '" + dir / "failure.answer" + "' >&3; exit 1", 53,
         "Unable to initialize ODBC connection"},
        {"its own failure, not naming the file", "cat '" + dir / "anonymous.answer" + "' >&3; exit 1", 440,
         "construction from null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string program = Script("reader.sh", c.body);
        const auto start = std::chrono::steady_clock::now();
        try {
            (void)gdal::reader::RunReader(program, Job::PgeoCatalog, file, {}, Limits());
            ADD_FAILURE() << "no failure";
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.Number(), c.number);
            EXPECT_NE(e.Description().find(file), std::string::npos) << e.Description();
            EXPECT_NE(e.Description().find(c.says), std::string::npos) << e.Description();
            EXPECT_EQ(e.Description().find('\n'), std::string::npos) << e.Description();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
    // The well-behaved reader's answer comes back whole.
    const Answer back = gdal::reader::RunReader(Script("reader.sh", fineAnswer), Job::PgeoCatalog, file, {}, Limits());
    EXPECT_TRUE(gdal::reader::SameAnswer(back, fine));
}

TEST_F(StandIns, TheReaderIsToldItsJobItsLimitsAndAPathThatCannotPassForAnOption) {
    const std::string args = dir / "args";
    const std::string program = Script("reader.sh", "for a in \"$@\"; do printf '[%s]' \"$a\"; done > '" + args +
                                                        "'; printf 'MBRK1\\n\\2\\0\\0\\0\\3\\0\\0\\0end\\1\\0\\0\\0000' >&3");
    posix::ChildLimits l = Limits();
    l.cpuSeconds = 7;
    l.addressSpaceBytes = std::uint64_t{1} << 30;
    (void)gdal::reader::RunReader(program, Job::PgeoLayer, "-rf a.mdb", "lines 'x'", l);
    EXPECT_EQ(ReadFile(args), "[--cpu][7][--memory][1073741824][pgeo-layer][--][-rf a.mdb][lines 'x']");
    (void)gdal::reader::RunReader(program, Job::Drawing, "/d/x.dwg", "", l);
    EXPECT_EQ(ReadFile(args), "[--cpu][7][--memory][1073741824][drawing][--][/d/x.dwg]");
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST_F(StandIns, AMissingReaderIsAClearFailure) {
    const ScopedEnv missing("MARBROOK_READER", dir / "no-such-reader");
    try {
        (void)gdal::reader::ReadPgeoCatalog(file);
        ADD_FAILURE() << "read";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.Number(), errnum::kFileNotFound);
        EXPECT_NE(e.Description().find("cannot read " + file), std::string::npos) << e.Description();
        EXPECT_NE(e.Description().find("the reader program marbrook-reader is missing"), std::string::npos) << e.Description();
        EXPECT_NE(e.Description().find(dir / "no-such-reader"), std::string::npos) << e.Description();
    }
    // A file that is there but may not be run is no reader either.
    WriteFile(dir / "no-such-reader", "#!/bin/sh\n");
    EXPECT_FALSE(gdal::reader::FindReaderProgram());
}

} // namespace
} // namespace marbrook
