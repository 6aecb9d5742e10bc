// Hostile names and awkward passwords against a real PostgreSQL + PostGIS,
// through "marbrook layers" as a user's script would run it.
//
// A hostile owner names schemas, tables and columns so that a name pasted
// into the drivers' connection strings or SQL would call a function of theirs,
// att.evil(), which records every call. Whoever adds such a table as a layer
// must get exactly that table, or a clear refusal naming it, and the function
// must never run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/gdal/postgis/PostgisFactory.h"
#include "platform/gis.h"
#include "tests/doubles/FakeSystem.h"
#include "tests/doubles/ProgramRun.h"

namespace marbrook {
namespace {

using testing::ProgramRun;
using testing::ShellWord;
using testing::TempDir;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// psql as the test's superuser; its output without headers.
std::string Psql(const std::string& database, const std::string& sql) {
    TempDir io;
    testing::WriteFile(io / "in.sql", sql);
    const std::string bindir = Env("MARBROOK_PG_BINDIR");
    const std::string command = "PGPASSWORD=" + ShellWord(Env("MARBROOK_PG_PASSWORD")) + " " +
                                ShellWord(bindir.empty() ? "psql" : bindir + "/psql") +
                                " -X -q -t -A -v ON_ERROR_STOP=1 -h " + ShellWord(Env("MARBROOK_PG_HOST")) + " -p " +
                                ShellWord(Env("MARBROOK_PG_PORT")) + " -U " + ShellWord(Env("MARBROOK_PG_USER")) +
                                " -d " + ShellWord(database) + " -f " + ShellWord(io / "in.sql") + " >" +
                                ShellWord(io / "out") + " 2>&1";
    const int status = std::system(command.c_str());
    const std::string out = testing::ReadFile(io / "out");
    if (status != 0) ADD_FAILURE() << "psql failed: " << out << "\n" << sql;
    return out;
}

// A raster of `width` x 2 pixels, one band.
std::string Raster(int width) {
    return "ST_AddBand(ST_MakeEmptyRaster(" + std::to_string(width) + ", 2, 0, 2, 1, -1, 0, 0, 4326), '8BUI'::text, 1, 0)";
}

// The password of the reading role: blanks, both quotes, a backslash, a
// colon, and text a parser could take for its own options.
const std::string kAwkwardPassword = "p w'd\" x\\y:z where=att.evil() tables=t active_schema=a";

class Hostile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (Env("MARBROOK_PG_HOST").empty()) return;
        const std::string id = std::to_string(::getpid());
        database_ = "marbrook_hostile_" + id;
        owner_ = "hostile_" + id;
        reader_ = "reader_" + id;
        Psql("postgres", "DROP DATABASE IF EXISTS " + database_ + ";\nCREATE DATABASE " + database_ + ";\n" +
                             "CREATE ROLE " + owner_ + ";\nCREATE ROLE " + reader_ + " LOGIN PASSWORD $pw$" +
                             kAwkwardPassword + "$pw$;\nGRANT pg_read_all_data TO " + reader_ + ";\n");
        std::string sql = "CREATE EXTENSION postgis;\nCREATE EXTENSION postgis_raster;\n"
                          // The recorder: anyone may call it, and every call leaves a row.
                          "CREATE SCHEMA att AUTHORIZATION " + owner_ + ";\nSET ROLE " + owner_ + ";\n"
                          "CREATE TABLE att.calls (caller text);\n"
                          "GRANT USAGE ON SCHEMA att TO PUBLIC;\nGRANT INSERT ON att.calls TO PUBLIC;\n"
                          "CREATE FUNCTION att.evil() RETURNS boolean LANGUAGE sql AS "
                          "$f$ INSERT INTO att.calls VALUES (current_user) RETURNING true $f$;\n"
                          "GRANT EXECUTE ON FUNCTION att.evil() TO PUBLIC;\nRESET ROLE;\n";
        // Tables the owner may create: the public schema is theirs to use, and
        // they own the schemas they named.
        sql += "GRANT CREATE ON SCHEMA public TO " + owner_ + ";\n"
               "CREATE SCHEMA \"s\"\" where=\"\"att.evil()\" AUTHORIZATION " + owner_ + ";\n"
               "CREATE SCHEMA s AUTHORIZATION " + owner_ + ";\n"
               "CREATE SCHEMA hydro AUTHORIZATION " + owner_ + ";\n"
               "CREATE SCHEMA \"s.x\" AUTHORIZATION " + owner_ + ";\nSET ROLE " + owner_ + ";\n";
        // Rasters, each as wide as its number, so that the size tells which opened.
        const struct {
            const char* table;
            const char* column;
            int width;
        } rasters[] = {{"public.\"x\"\" where=\"\"att.evil()\"", "rast", 3},
                       {"\"s\"\" where=\"\"att.evil()\".r", "rast", 4},
                       {"public.hostcol", "\"rast\"\" where=\"\"att.evil()\"", 5},
                       {"public.\"it's\"", "rast", 6},
                       {"public.\"a b\"", "rast", 7},
                       {"public.\"back\\slash\"", "rast", 8},
                       {"public.plain_r", "rast", 9},
                       // Decoys: what a name cut at its quote would open, so
                       // that an option slipped in behind the quote would run.
                       {"public.x", "rast", 10},
                       {"s.r", "rast", 11}};
        for (const auto& r : rasters)
            sql += std::string("CREATE TABLE ") + r.table + " (rid int PRIMARY KEY, " + r.column + " raster);\n" +
                   "INSERT INTO " + r.table + " VALUES (1, " + Raster(r.width) + ");\n";
        // Feature classes whose names the lookup of layers by name splits or
        // folds: each has its own number of rows.
        const struct {
            const char* table;
            const char* columns;
            const char* wkt;
            int rows;
        } vectors[] = {
            {"public.\"hydro.r\"", "g geometry(LineString, 4326)", "LINESTRING(0 0,1 1)", 3},
            {"hydro.r", "g geometry(Point, 4326)", "POINT(1 1)", 1},
            {"public.\"a(b)\"", "g geometry(Point, 4326)", "POINT(1 1)", 2},
            {"\"s.x\".t", "g geometry(Point, 4326)", "POINT(1 1)", 4},
            {"public.\"Mixed\"", "g geometry(Point, 4326)", "POINT(1 1)", 5},
            {"public.mixed", "g geometry(Point, 4326)", "POINT(1 1)", 6},
            {"public.\"v\"\" or att.evil() or \"\"\"", "\"g\"\" or att.evil() or \"\"\" geometry(Point, 4326)",
             "POINT(1 1)", 2},
            {"public.plain_v", "g geometry(Point, 4326)", "POINT(1 1)", 1},
        };
        for (const auto& v : vectors)
            sql += std::string("CREATE TABLE ") + v.table + " (id serial PRIMARY KEY, " + v.columns + ");\n" +
                   "INSERT INTO " + v.table + " SELECT i, ST_SetSRID('" + v.wkt + "'::geometry, 4326) " +
                   "FROM generate_series(1, " + std::to_string(v.rows) + ") i;\n";
        sql += "RESET ROLE;\n";
        Psql(database_, sql);
        // The recorder records.
        Psql(database_, "SELECT att.evil();");
        if (Calls() != "1") ADD_FAILURE() << "the recorder does not record: " << Calls();
        Psql(database_, "TRUNCATE att.calls;");
    }

    static void TearDownTestSuite() {
        if (database_.empty()) return;
        Psql("postgres", "DROP DATABASE IF EXISTS " + database_ + ";\nDROP ROLE IF EXISTS " + reader_ +
                             ";\nDROP ROLE IF EXISTS " + owner_ + ";\n");
    }

    static std::string Calls() {
        std::string n = Psql(database_, "SELECT count(*) FROM att.calls;");
        while (!n.empty() && (n.back() == '\n' || n.back() == ' ')) n.pop_back();
        return n;
    }

    void SetUp() override {
        if (Env("MARBROOK_PG_HOST").empty())
            GTEST_SKIP() << "no PostgreSQL + PostGIS server: run the tests through scripts/with-pg.sh";
    }

    // A connection file of `user` with `password`, written by the library.
    std::string ConnectionFile(const std::string& user, const std::string& password, const std::string& file = {}) {
        gis::PropertySet props;
        props.SetProperty("SERVER", Env("MARBROOK_PG_HOST"));
        props.SetProperty("INSTANCE", Env("MARBROOK_PG_PORT"));
        props.SetProperty("DATABASE", database_);
        props.SetProperty("USER", user);
        props.SetProperty("PASSWORD", password);
        const std::string name = (file.empty() ? user : file) + ".sde";
        EXPECT_TRUE(gdal::NewSpatialDatabaseFactory()->CreateConnectionFile(folder.Path(), name, props, gis::kNoWindow));
        return folder / name;
    }

    // The connection files of both roles: the superuser, and the reader with
    // the awkward password.
    std::vector<std::string> Files() {
        return {ConnectionFile(Env("MARBROOK_PG_USER"), Env("MARBROOK_PG_PASSWORD")), ConnectionFile(reader_, kAwkwardPassword)};
    }

    ProgramRun Layers(const std::vector<std::string>& items) {
        std::vector<std::string> args = {"layers"};
        args.insert(args.end(), items.begin(), items.end());
        return testing::RunProgram(MARBROOK_CLI, home.Path(), args);
    }

    static inline std::string database_;
    static inline std::string owner_;
    static inline std::string reader_;
    TempDir home;
    TempDir folder;
};

TEST_F(Hostile, RasterNamesOpenExactlyTheirTableOrAreRefusedAndNeverRunSql) {
    // NAME as "list" prints it: a member of a feature dataset is DATASET/NAME.
    const struct {
        std::string item;
        std::string expected; // the size of the raster that must open, or "" when it must be refused
        std::string named;    // how a refusal names the table
    } cases[] = {
        {"x\" where=\"att.evil()", "3x2", ""},
        {"s\" where=\"att.evil()/r", "4x2", ""},
        {"hostcol", "", "public.hostcol"},
        {"it's", "", "public.\"it's\""},
        {"a b", "7x2", ""},
        {"back\\slash", "", "public.\"back\\slash\""},
        {"plain_r", "9x2", ""},
    };
    for (const std::string& sde : Files()) {
        for (const auto& c : cases) {
            SCOPED_TRACE(sde + " :: " + c.item);
            const ProgramRun r = Layers({sde + "::" + c.item});
            if (!c.expected.empty()) {
                EXPECT_EQ(r.status, 0) << r.err;
                const std::string name = c.item.substr(c.item.find('/') == std::string::npos ? 0 : c.item.find('/') + 1);
                EXPECT_EQ(r.out.rfind("raster\t" + name + "\t", 0), 0u) << r.out;
                EXPECT_NE(r.out.find("\t" + c.expected + "\n"), std::string::npos) << r.out;
            } else {
                EXPECT_EQ(r.status, 1) << r.out;
                EXPECT_EQ(r.out, "");
                // Standard error writes a backslash doubled, as every field.
                std::string named;
                for (char ch : c.named) named += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
                EXPECT_NE(r.err.find("the raster table " + named + " cannot be opened"), std::string::npos) << r.err;
            }
            EXPECT_EQ(r.err.find(kAwkwardPassword), std::string::npos);
        }
    }
    EXPECT_EQ(Calls(), "0");
}

TEST_F(Hostile, EveryListedFeatureClassOpensExactlyThatTable) {
    const struct {
        std::string item;
        std::string name;
        std::string count;
    } cases[] = {
        {"hydro.r", "hydro.r", "3"},    // public."hydro.r", not hydro.r
        {"hydro/r", "r", "1"},          // hydro.r
        {"a(b)", "a(b)", "2"},          // not "a" with a geometry column "b)"
        {"s.x/t", "t", "4"},            // a schema holding a "."
        {"Mixed", "Mixed", "5"},        // not its lower-case twin
        {"mixed", "mixed", "6"},
        {"v\" or att.evil() or \"", "v\" or att.evil() or \"", "2"},
        {"plain_v", "plain_v", "1"},
    };
    for (const std::string& sde : Files()) {
        for (const auto& c : cases) {
            SCOPED_TRACE(sde + " :: " + c.item);
            const ProgramRun r = Layers({sde + "::" + c.item});
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out.rfind("feature\t" + c.name + "\t", 0), 0u) << r.out;
            EXPECT_NE(r.out.find("\t" + c.count + "\n"), std::string::npos) << r.out;
        }
        // Several at once come out in the dialog's group order: points, then lines.
        const ProgramRun both = Layers({sde + "::hydro.r", sde + "::hydro/r"});
        EXPECT_EQ(both.status, 0) << both.err;
        EXPECT_EQ(both.out.rfind("feature\tr\t", 0), 0u) << both.out;
        EXPECT_NE(both.out.find("\nfeature\thydro.r\t"), std::string::npos) << both.out;
    }
    EXPECT_EQ(Calls(), "0");
}

TEST_F(Hostile, APasswordWithBlanksAndQuotesIsNeverShownOrLogged) {
    const std::string sde = ConnectionFile(reader_, kAwkwardPassword);
    const ProgramRun good = Layers({sde + "::plain_r", sde + "::plain_v"});
    EXPECT_EQ(good.status, 0) << good.err;
    // A wrong one is refused by the server, which says so; no output holds it.
    const std::string wrong = ConnectionFile(reader_, kAwkwardPassword + " wrong", "wrong");
    const ProgramRun bad = Layers({wrong + "::plain_r"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("password authentication failed"), std::string::npos) << bad.err;
    for (const ProgramRun* r : {&good, &bad}) {
        EXPECT_EQ(r->out.find("p w'd"), std::string::npos);
        EXPECT_EQ(r->err.find("p w'd"), std::string::npos);
    }
    for (const auto& entry : std::filesystem::directory_iterator(home.Path()))
        if (entry.is_regular_file()) {
            EXPECT_EQ(testing::ReadFile(entry.path().string()).find("p w'd"), std::string::npos) << entry.path();
        }
    EXPECT_EQ(Calls(), "0");
}

} // namespace
} // namespace marbrook
