// "marbrook list" run as a program on real folders and files.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "tests/doubles/ProgramRun.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

using testing::TempDir;
using testing::WriteFile;

std::string ProgramPath() { return MARBROOK_CLI; }

using testing::ProgramRun;

ProgramRun RunList(const std::string& home, const std::vector<std::string>& args, const std::string& environment = {},
                   int timeoutSeconds = 120) {
    std::vector<std::string> all = {"list"};
    all.insert(all.end(), args.begin(), args.end());
    return testing::RunProgram(ProgramPath(), home, all, environment, {}, timeoutSeconds);
}

std::multiset<std::string> Lines(const std::string& text) {
    std::multiset<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.insert(line);
    return out;
}

class ListCommand : public ::testing::Test {
protected:
    TempDir home;
};

TEST_F(ListCommand, AFolderWithEveryKindOfEntryPrintsTheBrowsersCodes) {
    TempDir dir;
    const std::string d = dir.Path();
    std::filesystem::create_directory(d + "/sub");
    WriteFile(d + "/base.MDB", "");
    WriteFile(d + "/tab\there.mdb", "");
    WriteFile(d + "/caf\xe9.mdb", "");
    testing::WriteDxf(d + "/site.dxf");
    testing::WriteShapefile(d, "roads", wkbLineString, {"LINESTRING (0 0,1 1)"});
    testing::WriteShapefile(d, "wells", wkbPoint, {"POINT (1 1)"});
    testing::WriteShapefile(d, "parcels", wkbPolygon, {"POLYGON ((0 0,0 1,1 1,0 0))"});
    testing::WriteRaster("GTiff", d + "/dem.tif", 3, 3);
    WriteFile(d + "/readme.txt", "");

    const ProgramRun r = RunList(home.Path(), {d});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::multiset<std::string> expected = {
        "4\t5\t个人空间数据库\tbase.MDB\t" + d + "/base.MDB",
        "4\t5\t个人空间数据库\ttab\\there.mdb\t" + d + "/tab\\there.mdb",
        "4\t5\t个人空间数据库\tcaf\xEF\xBF\xBD.mdb\t" + d + "/caf\xe9.mdb",
        "7\t16\tCAD File\tsite.dxf\t" + d + "/site.dxf",
        "1\t1\t文件夹连接\tsub\t" + d + "/sub",
        "2\t11\tShape File\troads.shp\t" + d + "/roads.shp",
        "2\t10\tShape File\twells.shp\t" + d + "/wells.shp",
        "2\t12\tShape File\tparcels.shp\t" + d + "/parcels.shp",
        "2\t13\tRasterDataset\tdem.tif\t" + d + "/dem.tif",
    };
    EXPECT_EQ(Lines(r.out), expected);
    // Files before folders, then the datasets.
    const auto sub = r.out.find("\tsub\t");
    EXPECT_LT(r.out.find("site.dxf"), sub);
    EXPECT_GT(r.out.find("roads.shp"), sub);

    // The filter keeps files and folders and picks the datasets.
    const ProgramRun rasters = RunList(home.Path(), {"--filter", "2", d});
    EXPECT_EQ(rasters.status, 0);
    EXPECT_EQ(Lines(rasters.out).size(), 6u);
    EXPECT_EQ(rasters.out.find(".shp"), std::string::npos);
}

TEST_F(ListCommand, DrawingsGeodatabasesAndConnectionFiles) {
    TempDir dir;
    testing::WriteDxf(dir / "site.dxf");
    const ProgramRun drawing = RunList(home.Path(), {dir / "site.dxf"});
    EXPECT_EQ(drawing.status, 0);
    EXPECT_EQ(Lines(drawing.out),
              (std::multiset<std::string>{"4\t23\tCAD Feature Class\tAnnotation\t" + dir / "site.dxf",
                                          "4\t10\tCAD Feature Class\tPoint\t" + dir / "site.dxf",
                                          "4\t11\tCAD Feature Class\tPolyline\t" + dir / "site.dxf",
                                          "4\t12\tCAD Feature Class\tPolygon\t" + dir / "site.dxf"}));
    const ProgramRun connections = RunList(home.Path(), {"--connections"});
    EXPECT_EQ(connections.status, 0) << connections.err;
    EXPECT_EQ(connections.out.rfind("5\t4\t\t新建空间数据库连接\t", 0), 0u) << connections.out;
}

TEST_F(ListCommand, AGeodatabaseFilteredToRasters) {
    if (!testing::HaveSharedDir()) GTEST_SKIP() << testing::NoSharedDir();
    const std::string mdb = testing::Sample("pgeo/fd_sample.mdb");
    const ProgramRun gdb = RunList(home.Path(), {"--filter", "4", mdb});
    EXPECT_EQ(gdb.status, 0);
    EXPECT_EQ(gdb.out, "4\t25\tRaster Dataset\tdem\t" + mdb + "\n");
}

TEST_F(ListCommand, EmptyMissingAndBadUsage) {
    TempDir empty;
    const ProgramRun none = RunList(home.Path(), {empty.Path()});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "");

    const ProgramRun missing = RunList(home.Path(), {empty / "missing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << missing.err;
    EXPECT_NE(testing::ReadFile(home / "libmarbrook.err").find("Marbrook.basOpenDialogs.GetSubFolderFiles:103"),
              std::string::npos);

    const ProgramRun help = RunList(home.Path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: marbrook list"), std::string::npos);
    EXPECT_EQ(RunList(home.Path(), {"--filter", "x", empty.Path()}).status, 2);
    EXPECT_EQ(RunList(home.Path(), {}).status, 2);
}

// ---- Failure is learnt from the listing, not from the log ---------------------

// One line on standard error that says why.
void ExpectOneReasonLine(const ProgramRun& r, const std::string& reason) {
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
}

TEST_F(ListCommand, FailuresExitOneWhateverBecomesOfTheLog) {
    TempDir dir;
    WriteFile(dir / "binary.sde", std::string("\x00\x01\x02garbage", 10));
    // The log cannot be written (a folder stands where it would go), the
    // failure is shown in a box instead (which no one sees here), or the log
    // is written: the exit status is the same.
    const struct {
        const char* log;
        void (*prepare)(const std::string& library);
    } logs[] = {
        {"written", [](const std::string&) {}},
        {"unwritable", [](const std::string& library) { std::filesystem::create_directory(library + "/libmarbrook.err"); }},
        {"shown instead", [](const std::string& library) { WriteFile(library + "/VerdantaSysSet.ini", "[ErrInfo]\nbShow=1\n"); }},
    };
    for (const auto& log : logs) {
        SCOPED_TRACE(log.log);
        TempDir library;
        log.prepare(library.Path());
        const ProgramRun missing = RunList(library.Path(), {dir / "nonexistent"});
        EXPECT_EQ(missing.status, 1);
        EXPECT_EQ(missing.out, "");
        ExpectOneReasonLine(missing, "nonexistent cannot be listed: ");
        const ProgramRun binary = RunList(library.Path(), {dir / "binary.sde"});
        EXPECT_EQ(binary.status, 1);
        ExpectOneReasonLine(binary, "not a Marbrook connection file");
    }
}

TEST_F(ListCommand, AnotherProcessWritingTheLogDoesNotFailAListing) {
    TempDir empty;
    // A writer appends to the same log all the while the program runs.
    const std::string log = home / "libmarbrook.err";
    const std::string writer = "(while :; do echo x >> " + testing::ShellWord(log) + "; done) & w=$!; " +
                               "while [ ! -s " + testing::ShellWord(log) + " ]; do :; done;";
    const ProgramRun r = testing::RunProgram("sh", home.Path(),
                                             {"-c", writer + " " + testing::ShellWord(ProgramPath()) + " list " +
                                                        testing::ShellWord(empty.Path()) + "; s=$?; kill $w; exit $s"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(testing::ReadFile(log).empty()); // the writer did write
}

TEST_F(ListCommand, AnUnreachableDatabaseGivesTheServersReasonWithoutAWindowOrThePassword) {
    TempDir dir;
    const std::string sde = dir / "dead.sde";
    // Nothing listens on port 1; the password is written in clear, as by hand.
    WriteFile(sde, "[Marbrook connection]\nSERVER=127.0.0.1\nINSTANCE=1\nDATABASE=db\nUSER=u\n"
                   "PASSWORD=Secret-Sauce-42\n");
    // Where Qt could show the library's "cannot open" box (offscreen), the
    // program would wait on it for ever; it shows none.
    const ProgramRun r = RunList(home.Path(), {sde}, "QT_QPA_PLATFORM=offscreen", 30);
    EXPECT_EQ(r.status, 1) << "124 means it waited on a window: " << r.err;
    EXPECT_EQ(r.out, "");
    ExpectOneReasonLine(r, "Connection refused");
    EXPECT_EQ(r.err.find("Secret-Sauce-42"), std::string::npos);
    for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
        if (entry.is_regular_file()) {
            EXPECT_EQ(testing::ReadFile(entry.path().string()).find("Secret-Sauce-42"), std::string::npos) << entry.path();
        }
}

TEST_F(ListCommand, AServerThatNeverAnswersIsGivenUpAfterTheConnectTimeout) {
    // A listener that takes connections and never says a word.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(silent, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    TempDir dir;
    WriteFile(dir / "silent.sde", "[Marbrook connection]\nSERVER=127.0.0.1\nINSTANCE=" +
                                      std::to_string(ntohs(address.sin_port)) +
                                      "\nDATABASE=db\nUSER=u\nPASSWORD=pw\nCONNECT_TIMEOUT=2\n");
    const ProgramRun r = RunList(home.Path(), {dir / "silent.sde"}, {}, 60);
    ::close(silent);
    EXPECT_EQ(r.status, 1) << r.err;
    ExpectOneReasonLine(r, "timeout expired");
}

} // namespace
} // namespace marbrook
