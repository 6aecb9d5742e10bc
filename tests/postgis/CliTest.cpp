// The marbrook program's database commands against the throwaway server.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <gdal_priv.h>

#include "platform/gdal/GdalGis.h"
#include "platform/gdal/postgis/ConnectionFile.h"
#include "platform/gdal/postgis/PgConnection.h"
#include "tests/doubles/FakeSystem.h"

namespace marbrook {
namespace {

using testing::ReadFile;
using testing::TempDir;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class MarbrookProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("MARBROOK_PG_HOST").empty())
            GTEST_SKIP() << "no PostgreSQL + PostGIS server: run the tests through scripts/with-pg.sh";
    }

    Result Run(const std::string& args, const std::string& input = {}) {
        const std::string errFile = dir / "stderr.txt";
        // Its own library folder, so that its error log lands in the test's folder.
        std::string command = "MARBROOK_HOME=" + Quote(home.Path()) + " " + Quote(MARBROOK_CLI) + " " + args + " 2>" + Quote(errFile);
        if (!input.empty()) command = "printf '%s\\n' " + Quote(input) + " | " + command;
        Result r;
        FILE* f = ::popen(command.c_str(), "r");
        if (!f) return r;
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, f)) r.out.append(buf, n);
        const int raw = ::pclose(f);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.err = ReadFile(errFile);
        return r;
    }

    std::string CreateArgs(const std::string& password, const std::string& folder,
                           const std::string& user = Env("MARBROOK_PG_USER")) const {
        return "connection create --server " + Quote(Env("MARBROOK_PG_HOST")) + " --instance " +
               Quote(Env("MARBROOK_PG_PORT")) + " --database " + Quote(Env("MARBROOK_PG_DB")) + " --user " +
               Quote(user) + " " + password + " " + Quote(folder);
    }

    TempDir dir;
    TempDir home;
};

TEST_F(MarbrookProgram, ConnectionCreateWritesUnderFreeNamesAndPrintsThePath) {
    const std::string password = Env("MARBROOK_PG_PASSWORD");
    const std::string base = dir / ("Connection to " + Env("MARBROOK_PG_HOST"));
    const Result first = Run(CreateArgs("--password -", dir.Path()), password);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, base + ".sde\n");
    const Result second = Run(CreateArgs("--password -", dir.Path()), password);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, base + "(1).sde\n");

    struct stat st {};
    ASSERT_EQ(::stat((base + ".sde").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFile(base + ".sde").find(password), std::string::npos);
}

TEST_F(MarbrookProgram, ConnectionThatCannotOpenExitsOneWithOneLineAndNoPassword) {
    const std::string wrong = "Wr0ng-" + Env("MARBROOK_PG_PASSWORD");
    const Result r = Run(CreateArgs("--password -", dir.Path()), wrong);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find("password authentication failed"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(wrong), std::string::npos);
    EXPECT_FALSE(testing::FakeSystem().FileExists(dir / ("Connection to " + Env("MARBROOK_PG_HOST") + ".sde")));

    EXPECT_EQ(Run("connection create --server h --user u " + Quote(dir.Path())).status, 2); // no instance
    // Nothing the program logged holds the password.
    for (const auto& entry : {home / "marbrook.err", home / "libmarbrook.err"})
        if (testing::FakeSystem().FileExists(entry)) {
            EXPECT_EQ(ReadFile(entry).find(wrong), std::string::npos);
        }
    EXPECT_EQ(Run("connection frobnicate").status, 2);
}

TEST_F(MarbrookProgram, ListShowsAConnectionFileAndItsFeatureDatasets) {
    const Result made = Run(CreateArgs("--password -", dir.Path()), Env("MARBROOK_PG_PASSWORD"));
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string sde = made.out.substr(0, made.out.size() - 1);
    auto line = [&](const char* location, const char* type, const char* desc, const char* name) {
        return std::string(location) + "\t" + type + "\t" + desc + "\t" + name + "\t" + sde + "\n";
    };
    const Result top = Run("list --filter 4 " + Quote(sde));
    EXPECT_EQ(top.status, 0) << top.err;
    EXPECT_EQ(top.out, line("2", "25", "Raster Dataset", "elevation"));
    const Result members = Run("list " + Quote(sde + "::transport"));
    EXPECT_EQ(members.status, 0) << members.err;
    EXPECT_EQ(members.out, line("2", "21", "Feature Class", "rail"));
    const Result all = Run("list " + Quote(sde));
    EXPECT_EQ(all.out.rfind(line("5", "24", "Feature Dataset", "hydro"), 0), 0u) << all.out;
    EXPECT_EQ(all.out.find(Env("MARBROOK_PG_PASSWORD")), std::string::npos);
    EXPECT_EQ(all.out.find("lookup"), std::string::npos); // tables never at the top level
}

// What a host needs to open the same table itself: libpq's parameters
// without the password, the schema, the table and its column.
TEST_F(MarbrookProgram, LayersJsonTellsEachTablesConnectionWithoutThePassword) {
    const Result made = Run(CreateArgs("--password -", dir.Path()), Env("MARBROOK_PG_PASSWORD"));
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string sde = made.out.substr(0, made.out.size() - 1);
    const Result r = Run("layers --json " + Quote(sde + "::cities") + " " + Quote(sde + "::transport/rail") + " " +
                         Quote(sde + "::elevation"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find(Env("MARBROOK_PG_PASSWORD")), std::string::npos);
    EXPECT_EQ(r.out.find("password"), std::string::npos);
    const nlohmann::json layers = nlohmann::json::parse(r.out);
    ASSERT_EQ(layers.size(), 3u) << r.out;
    const struct {
        const char* driver;
        const char* schema;
        const char* table;
        const char* column;
    } expected[] = {{"PostgreSQL", "public", "cities", "geom"},
                    {"PostgreSQL", "transport", "rail", "geom"},
                    {"PostGISRaster", "public", "elevation", "rast"}};
    for (std::size_t i = 0; i < 3; ++i) {
        const nlohmann::json& source = layers[i]["datasource"];
        SCOPED_TRACE(source.dump());
        EXPECT_EQ(source["driver"], expected[i].driver);
        EXPECT_EQ(source["schema"], expected[i].schema);
        EXPECT_EQ(source["table"], expected[i].table);
        EXPECT_EQ(source["column"], expected[i].column);
        const nlohmann::json& c = source["connection"];
        EXPECT_EQ(c["host"], Env("MARBROOK_PG_HOST"));
        EXPECT_EQ(c["port"], Env("MARBROOK_PG_PORT"));
        EXPECT_EQ(c["dbname"], Env("MARBROOK_PG_DB"));
        EXPECT_EQ(c["user"], Env("MARBROOK_PG_USER"));
        EXPECT_EQ(c["sslmode"], "prefer");
        EXPECT_FALSE(c.contains("password") || c.contains("passfile"));
    }

    // Plain GDAL, given those parameters and the password its own way,
    // reads as many features as the library counted.
    std::string conninfo;
    for (const auto& [key, value] : layers[0]["datasource"]["connection"].items())
        conninfo += key + "=" + value.get<std::string>() + " ";
    TempDir out;
    const std::string command = "PGPASSWORD=" + Quote(Env("MARBROOK_PG_PASSWORD")) + " ogrinfo -ro -so " +
                                Quote("PG:" + conninfo) + " public.cities > " + Quote(out / "info");
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(ReadFile(out / "info").find("Feature Count: " + std::to_string(layers[0]["count"].get<long long>())),
              std::string::npos)
        << ReadFile(out / "info");
}

TEST_F(MarbrookProgram, ListFailuresGiveTheServersReasonAndNoSuchDatasetExitsOne) {
    const Result made = Run(CreateArgs("--password -", dir.Path()), Env("MARBROOK_PG_PASSWORD"));
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string sde = made.out.substr(0, made.out.size() - 1);

    const Result nosuch = Run("list " + Quote(sde + "::NOSUCH"));
    EXPECT_EQ(nosuch.status, 1);
    EXPECT_EQ(nosuch.out, "");
    EXPECT_EQ(nosuch.err, "marbrook list: " + sde + "::NOSUCH cannot be listed: no such dataset \"NOSUCH\" in " + sde + "\n");
    // A feature dataset with nothing a filter admits is no failure.
    EXPECT_EQ(Run("list --filter 4 " + Quote(sde + "::hydro")).status, 0);

    // What the file asks for reaches the server, and the server's answer the user.
    const std::string text = ReadFile(sde);
    const struct {
        std::string setting;
        int status;
        std::string reason;
    } cases[] = {{"SSLMODE=disable", 0, ""},
                 {"SSLMODE=require", 1, "server does not support SSL"},
                 {"SSLMODE=sometimes", 1, "SSLMODE \"sometimes\" is not one of"},
                 {"CONNECT_TIMEOUT=soon", 1, "CONNECT_TIMEOUT \"soon\" is not a number of seconds"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        testing::WriteFile(dir / "set.sde", text + c.setting + "\n");
        const Result r = Run("list " + Quote(dir / "set.sde"));
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 0) {
            EXPECT_NE(r.out.find("\tcities\t"), std::string::npos) << r.out;
        } else {
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }

    // A refused login: the server's reason, never the password.
    const std::string wrong = "Wr0ng pass'word";
    std::string withWrong = text.substr(0, text.find("PASSWORD=")) + "PASSWORD=" + wrong + "\n" +
                            text.substr(text.find('\n', text.find("PASSWORD=")) + 1);
    testing::WriteFile(dir / "wrong.sde", withWrong);
    const Result refused = Run("list " + Quote(dir / "wrong.sde"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("password authentication failed"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find(wrong), std::string::npos);
    EXPECT_EQ(refused.err.find("/proc/self/fd"), std::string::npos) << refused.err;
}

// Runs SQL on the test database as the server's owner.
void RunSql(const std::vector<std::string>& statements) {
    gis::PropertySet props;
    props.SetProperty("SERVER", Env("MARBROOK_PG_HOST"));
    props.SetProperty("INSTANCE", Env("MARBROOK_PG_PORT"));
    props.SetProperty("DATABASE", Env("MARBROOK_PG_DB"));
    props.SetProperty("USER", Env("MARBROOK_PG_USER"));
    gdal::InitGdal();
    const gdal::postgis::PasswordFile password(Env("MARBROOK_PG_PASSWORD"));
    const std::string conn = "PG:" + gdal::postgis::PgConnection::FromProperties(props).ConnInfo(password.Path());
    GDALDataset* ds = GDALDataset::FromHandle(GDALOpenEx(conn.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr));
    ASSERT_NE(ds, nullptr);
    for (const std::string& sql : statements) {
        CPLErrorReset();
        ds->ReleaseResultSet(ds->ExecuteSQL(sql.c_str(), nullptr, nullptr));
        EXPECT_EQ(CPLGetLastErrorType(), CE_None) << sql << ": " << CPLGetLastErrorMsg();
    }
    GDALClose(GDALDataset::ToHandle(ds));
}

// A password on the command line is in every user's process list.
TEST(MarbrookProgramOptions, APasswordIsNeverTakenFromTheCommandLine) {
    TempDir dir;
    TempDir home;
    const std::string program = std::string("MARBROOK_HOME=") + Quote(home.Path()) + " " + Quote(MARBROOK_CLI);
    const std::string err = dir / "err";
    const int raw = std::system((program + " connection create --server h --instance 5432 --user u --password s3cret " +
                                 Quote(dir.Path()) + " 2>" + Quote(err) + " </dev/null >/dev/null")
                                    .c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
    EXPECT_NE(ReadFile(err).find("visible to every user"), std::string::npos) << ReadFile(err);
    EXPECT_EQ(ReadFile(err).find("s3cret"), std::string::npos);
    FILE* help = ::popen((program + " connection create --help").c_str(), "r");
    ASSERT_NE(help, nullptr);
    std::string text;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, help)) text.append(buf, n);
    ::pclose(help);
    EXPECT_NE(text.find("[--password -]"), std::string::npos) << text;
    EXPECT_NE(text.find("never taken from the command line"), std::string::npos) << text;
    EXPECT_NE(text.find("asked for and not echoed"), std::string::npos) << text;
}

// Blanks at either end belong to a password, and a line ended by CR LF ends
// before the CR: the server accepts exactly the bytes typed.
TEST_F(MarbrookProgram, APasswordFromStandardInputKeepsEveryByteOfItsLine) {
    const std::string password = "  p w\t'q\"  ";
    std::string literal;
    for (const char c : password) literal += c == '\'' ? std::string("''") : std::string(1, c);
    RunSql({"DROP ROLE IF EXISTS marbrook_blanks", "CREATE ROLE marbrook_blanks LOGIN PASSWORD '" + literal + "'"});
    for (const char* end : {"", "\r"}) { // printed with a line end of LF, or CR LF
        SCOPED_TRACE(*end ? "CR LF" : "LF");
        TempDir folder;
        const Result r = Run(CreateArgs("--password -", folder.Path(), "marbrook_blanks"), password + end);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string written = r.out.substr(0, r.out.size() - 1);
        EXPECT_EQ(gdal::postgis::ParseConnectionFile(ReadFile(written)).GetProperty("PASSWORD"), password);
    }
    RunSql({"DROP ROLE IF EXISTS marbrook_blanks"});
}

TEST_F(MarbrookProgram, ADanglingLinkAtAFreeNameIsPassedOver) {
    const std::string base = dir / ("Connection to " + Env("MARBROOK_PG_HOST"));
    const std::string elsewhere = home / "not-yet.sde";
    ASSERT_EQ(::symlink(elsewhere.c_str(), (base + ".sde").c_str()), 0);
    const Result r = Run(CreateArgs("--password -", dir.Path()), Env("MARBROOK_PG_PASSWORD"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, base + "(1).sde\n");
    struct stat st {};
    EXPECT_NE(::lstat(elsewhere.c_str(), &st), 0) << "written through the link";
    EXPECT_EQ(::lstat((base + ".sde").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

} // namespace
} // namespace marbrook
