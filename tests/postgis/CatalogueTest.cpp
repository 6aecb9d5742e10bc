// The database catalogue as a listing reads it, against a real PostgreSQL +
// PostGIS (scripts/with-pg.sh).
//
// The listing reads the system catalogue in one query instead of PostGIS's
// geometry_columns, raster_columns and raster_overviews views and the
// information schema. Those views stay the reference: for every kind of
// column, privilege and table a database may hold, and for a superuser and
// an ordinary reader alike, the listing must find what they show. And the
// server's own statement log must show that a listing runs each of its
// queries once, with no probe of the server it does not need.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/gdal/postgis/PgCatalogue.h"
#include "platform/gdal/postgis/PgConnection.h"
#include "platform/gdal/postgis/PgSession.h"
#include "platform/gdal/postgis/PostgisFactory.h"
#include "platform/gis.h"
#include "tests/doubles/FakeSystem.h"
#include "tests/doubles/ProgramRun.h"

namespace marbrook {
namespace {

using gdal::postgis::CatalogueEntry;
using gdal::postgis::PgConnection;
using gdal::postgis::PgSession;
using testing::TempDir;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

gis::PropertySet Props(const std::string& database, const std::string& user, const std::string& password) {
    gis::PropertySet props;
    props.SetProperty("SERVER", Env("MARBROOK_PG_HOST"));
    props.SetProperty("INSTANCE", Env("MARBROOK_PG_PORT"));
    props.SetProperty("DATABASE", database);
    props.SetProperty("USER", user);
    props.SetProperty("PASSWORD", password);
    return props;
}

std::unique_ptr<PgSession> Connect(const std::string& database, const std::string& user, const std::string& password) {
    std::string failure;
    auto session = PgSession::Connect(PgConnection::FromProperties(Props(database, user, password)), failure);
    if (!session) ADD_FAILURE() << "cannot connect as " << user << ": " << failure;
    return session;
}

// Runs each statement as the test's superuser.
void RunSql(const std::string& database, const std::vector<std::string>& statements) {
    auto session = Connect(database, Env("MARBROOK_PG_USER"), Env("MARBROOK_PG_PASSWORD"));
    if (!session) return;
    for (const auto& sql : statements) {
        try {
            (void)session->Query(sql, {}, "setting up", errnum::kAutomationError);
        } catch (const PlatformError& e) {
            ADD_FAILURE() << e.Description();
        }
    }
}

std::string Describe(const CatalogueEntry& e) {
    return e.schema + "." + e.table + " kind " + std::to_string(e.kind) + " column '" + e.column + "' type '" +
           e.geometryType + "' shape " + std::to_string(e.shapeKind);
}

// What PostGIS's views and the information schema say a listing holds: the
// tables the user sees, each a feature class of its first geometry column
// (by name) that geometry_columns shows, else a raster of its first raster
// column that raster_columns shows, overviews left out.
std::vector<std::string> FromTheViews(const PgSession& session) {
    auto query = [&](const std::string& sql) { return session.Query(sql, {}, "the reference", errnum::kAutomationError); };
    const auto probe = query("SELECT to_regclass('geometry_columns') IS NOT NULL, to_regclass('raster_columns') IS NOT NULL, "
                             "to_regclass('raster_overviews') IS NOT NULL, (SELECT n.nspname::text FROM pg_extension e "
                             "JOIN pg_namespace n ON n.oid = e.extnamespace WHERE e.extname = 'postgis')");
    const std::string postgis = probe.at(0).at(3).value_or("");
    std::map<std::pair<std::string, std::string>, CatalogueEntry> tables;
    for (const auto& r : query("SELECT table_schema::text, table_name::text FROM information_schema.tables "
                               "WHERE table_schema NOT IN ('pg_catalog', 'information_schema', 'topology') "
                               "AND table_schema NOT LIKE 'pg\\_%'")) {
        static const std::set<std::string> kOwn = {"spatial_ref_sys", "geometry_columns", "geography_columns",
                                                   "raster_columns", "raster_overviews"};
        if (*r[0] == postgis && kOwn.count(*r[1])) continue;
        tables[{*r[0], *r[1]}] = {*r[0], *r[1], gis::kind::kTable, "", "", 0};
    }
    if (probe[0][0] == "t")
        for (const auto& r : query("SELECT f_table_schema::text, f_table_name::text, f_geometry_column::text, type::text "
                                   "FROM geometry_columns ORDER BY 1, 2, 3")) {
            auto it = tables.find({*r[0], *r[1]});
            if (it == tables.end() || it->second.kind != gis::kind::kTable) continue;
            it->second.kind = gis::kind::kFeatureClass;
            it->second.column = *r[2];
            it->second.geometryType = *r[3];
            it->second.shapeKind = gdal::postgis::ShapeKindOf(*r[3]);
        }
    if (probe[0][1] == "t") {
        std::set<std::pair<std::string, std::string>> overviews;
        if (probe[0][2] == "t")
            for (const auto& r : query("SELECT o_table_schema::text, o_table_name::text FROM raster_overviews"))
                overviews.insert({*r[0], *r[1]});
        for (const auto& r : query("SELECT r_table_schema::text, r_table_name::text, r_raster_column::text "
                                   "FROM raster_columns ORDER BY 1, 2, 3")) {
            auto it = tables.find({*r[0], *r[1]});
            if (it == tables.end()) continue;
            if (overviews.count(it->first)) {
                tables.erase(it);
            } else if (it->second.kind == gis::kind::kTable) {
                it->second.kind = gis::kind::kRasterDataset;
                it->second.column = *r[2];
            }
        }
    }
    std::vector<std::string> out;
    for (const auto& [key, e] : tables) out.push_back(Describe(e));
    return out;
}

std::vector<std::string> FromTheListing(const PgSession& session) {
    std::vector<std::string> out;
    for (const auto& e : gdal::postgis::ReadCatalogueEntries(session)) out.push_back(Describe(e));
    return out;
}

class Catalogue : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (Env("MARBROOK_PG_HOST").empty()) return;
        const std::string id = std::to_string(::getpid());
        database_ = "marbrook_catalogue_" + id;
        reader_ = "catalogue_reader_" + id;
        switcher_ = "catalogue_switcher_" + id;
        // A superuser whose sessions start as the reader: the reader's view.
        RunSql("postgres", {"DROP DATABASE IF EXISTS " + database_, "CREATE DATABASE " + database_,
                            "CREATE ROLE " + reader_ + " LOGIN PASSWORD 'reader'",
                            "CREATE ROLE " + switcher_ + " SUPERUSER LOGIN PASSWORD 'switcher'",
                            "ALTER ROLE " + switcher_ + " SET role = " + reader_});
        std::vector<std::string> sql = {"CREATE EXTENSION postgis", "CREATE EXTENSION postgis_raster",
                                        "CREATE SCHEMA kinds", "CREATE SCHEMA priv", "CREATE SCHEMA \"We.ird\"",
                                        "CREATE SCHEMA plain", "CREATE SCHEMA " + kLongSchema,
                                        "GRANT USAGE, CREATE ON SCHEMA kinds, priv, \"We.ird\", plain, " + kLongSchema +
                                            " TO " + reader_};
        // Every geometry type with every dimension its modifier can say.
        for (const char* type : {"Geometry", "Point", "LineString", "Polygon", "MultiPoint", "MultiLineString",
                                 "MultiPolygon", "GeometryCollection", "CircularString", "CompoundCurve",
                                 "CurvePolygon", "MultiCurve", "MultiSurface", "PolyhedralSurface", "Triangle", "Tin"})
            for (const char* dims : {"", "Z", "M", "ZM"}) {
                const std::string name = std::string(type) + dims;
                sql.push_back("CREATE TABLE kinds.\"" + name + "\" (id int, g geometry(" + name + ", 4326))");
                sql.push_back("CREATE TABLE kinds.\"" + name + " bare\" (id int, g geometry(" + name + "))");
            }
        const std::vector<std::string> more = {
            // Declared the old way: no modifier, a check constraint naming the type.
            "CREATE TABLE kinds.old_polygons (id int, g geometry, CONSTRAINT enforce_geotype_g "
            "CHECK (geometrytype(g) = 'MULTIPOLYGON'::text OR g IS NULL))",
            "CREATE TABLE kinds.old_points_m (id int, g geometry, CONSTRAINT enforce_geotype_g "
            "CHECK (geometrytype(g) = 'POINTM'::text OR g IS NULL))",
            // A modifier with an SRID but no type: the constraint still tells.
            "CREATE TABLE kinds.old_lines_srid (id int, g geometry(Geometry, 4326), CONSTRAINT enforce_geotype_g "
            "CHECK (geometrytype(g) = 'LINESTRING'::text OR g IS NULL))",
            // A modifier with Z: the view does not look at the constraint.
            "CREATE TABLE kinds.old_z (id int, g geometry(GeometryZ, 4326), CONSTRAINT enforce_geotype_g "
            "CHECK (geometrytype(g) = 'POINT'::text OR g IS NULL))",
            "CREATE TABLE kinds.untyped (id int, g geometry)",
            // Two geometry columns: the first by name counts, not by position.
            "CREATE TABLE kinds.two (id int, z_first geometry(Point, 4326), a_second geometry(Polygon, 4326))",
            // Columns that changed: dropped, added, retyped, made geometry from text.
            "CREATE TABLE kinds.dropped (id int, a geometry(Point, 4326), b geometry(LineString, 4326))",
            "ALTER TABLE kinds.dropped DROP COLUMN a",
            "CREATE TABLE kinds.added (id int)", "ALTER TABLE kinds.added ADD COLUMN g geometry(MultiPoint, 4326)",
            "CREATE TABLE kinds.retyped (id int, g geometry(Point, 4326))",
            "ALTER TABLE kinds.retyped ALTER COLUMN g TYPE geometry(Polygon, 4326)",
            "CREATE TABLE kinds.from_text (id int, g text)",
            "ALTER TABLE kinds.from_text ALTER COLUMN g TYPE geometry(LineString, 4326) USING g::geometry",
            "CREATE TABLE kinds.no_longer (id int, g geometry(Point, 4326))",
            "ALTER TABLE kinds.no_longer ALTER COLUMN g TYPE text",
            // Views, a materialized view (not a table of the information
            // schema), a partitioned table and its partition.
            "CREATE VIEW kinds.v_points AS SELECT * FROM kinds.\"Point\"",
            "CREATE VIEW kinds.v_buffer AS SELECT id, ST_Buffer(g, 1) AS g FROM kinds.\"Point\"",
            "CREATE MATERIALIZED VIEW kinds.m_points AS SELECT * FROM kinds.\"Point\"",
            "CREATE TABLE kinds.parted (id int, g geometry(Point, 4326)) PARTITION BY RANGE (id)",
            "CREATE TABLE kinds.parted_1 PARTITION OF kinds.parted FOR VALUES FROM (0) TO (10)",
            // Rasters: a raster, a raster with geometry, two raster columns, an overview.
            "CREATE TABLE kinds.dem (rid int PRIMARY KEY, rast raster)",
            "INSERT INTO kinds.dem VALUES (1, ST_AddBand(ST_MakeEmptyRaster(8, 8, 0, 8, 1, -1, 0, 0, 4326), "
            "'8BUI'::text, 1, 0))",
            "SELECT AddRasterConstraints('kinds'::name, 'dem'::name, 'rast'::name)",
            "SELECT ST_CreateOverview('kinds.dem'::regclass, 'rast', 2)",
            "CREATE TABLE kinds.both (id int, rast raster, g geometry(Point, 4326))",
            "CREATE TABLE kinds.rasters (id int, z_rast raster, b_rast raster)",
            // A user's table named like PostGIS's own: geometry_columns passes over it.
            "CREATE TABLE kinds.raster_columns (id int, g geometry(Point, 4326))",
            "CREATE TABLE kinds.spatial_ref_sys (id int, g geometry(Point, 4326))",
            "CREATE TABLE \"We.ird\".\"a \"\"quoted\"\" name\" (id int, \"G e\" geometry(Point, 4326))",
            "CREATE TABLE \"We.ird\".\"Mixed\" (id int)",
            // A schema of plain tables only, and one whose name is as long as a name may be.
            "CREATE TABLE plain.notes (id int, note text)",
            "CREATE TABLE " + kLongSchema + ".spots (id int, g geometry(Point, 4326))",
            "GRANT SELECT ON ALL TABLES IN SCHEMA plain, " + kLongSchema + " TO " + reader_,
            // What the reader may do with each: read, insert only, read one
            // column, nothing; its own table, and its own with reading revoked.
            "CREATE TABLE priv.readable (id int, g geometry(Point, 4326))",
            "CREATE TABLE priv.insert_only (id int, g geometry(Point, 4326))",
            "CREATE TABLE priv.one_column (id int, g geometry(Point, 4326))",
            "CREATE TABLE priv.hidden (id int, g geometry(Point, 4326))",
            "CREATE TABLE priv.raster_readable (id int, rast raster)",
            "CREATE TABLE priv.raster_insert_only (id int, rast raster)",
            "GRANT SELECT ON priv.readable, priv.raster_readable TO " + reader_,
            "GRANT INSERT ON priv.insert_only, priv.raster_insert_only TO " + reader_,
            "GRANT SELECT (id) ON priv.one_column TO " + reader_,
            "GRANT SELECT ON ALL TABLES IN SCHEMA kinds, \"We.ird\" TO " + reader_,
            "SET ROLE " + reader_,
            "CREATE TABLE priv.own (id int, g geometry(LineString, 4326))",
            "CREATE TABLE priv.own_revoked (id int, g geometry(LineString, 4326))",
            "REVOKE SELECT ON priv.own_revoked FROM " + reader_,
            "RESET ROLE",
        };
        sql.insert(sql.end(), more.begin(), more.end());
        RunSql(database_, sql);
    }

    static void TearDownTestSuite() {
        if (database_.empty()) return;
        RunSql("postgres", {"DROP DATABASE IF EXISTS " + database_, "DROP ROLE IF EXISTS " + switcher_,
                            "DROP ROLE IF EXISTS " + reader_});
    }

    void SetUp() override {
        if (Env("MARBROOK_PG_HOST").empty())
            GTEST_SKIP() << "no PostgreSQL + PostGIS server: run the tests through scripts/with-pg.sh";
    }

    // The test's superuser, an ordinary reader, and a superuser whose
    // sessions start as that reader.
    struct Login {
        std::string user;
        std::string password;
    };
    static std::vector<Login> Logins() {
        return {{Env("MARBROOK_PG_USER"), Env("MARBROOK_PG_PASSWORD")}, {reader_, "reader"}, {switcher_, "switcher"}};
    }

    // 63 bytes: the longest name the server keeps whole.
    static inline const std::string kLongSchema = std::string(63, 'l');
    static inline std::string database_;
    static inline std::string reader_;
    static inline std::string switcher_;
};

TEST_F(Catalogue, TheListingFindsWhatPostgisViewsShowForEveryUser) {
    for (const auto& u : Logins()) {
        SCOPED_TRACE(u.user);
        auto session = Connect(database_, u.user, u.password);
        ASSERT_TRUE(session);
        const auto expected = FromTheViews(*session);
        EXPECT_EQ(FromTheListing(*session), expected);
        // The reference itself holds the cases that matter.
        auto holds = [&](const std::string& line) {
            EXPECT_NE(std::find(expected.begin(), expected.end(), line), expected.end()) << line;
        };
        holds("kinds.two kind 5 column 'a_second' type 'POLYGON' shape 4");
        holds("kinds.old_polygons kind 5 column 'g' type 'MULTIPOLYGON' shape 4");
        holds("kinds.old_lines_srid kind 5 column 'g' type 'LINESTRING' shape 3");
        holds("kinds.PointM kind 5 column 'g' type 'POINTM' shape 1");
        holds("kinds.from_text kind 5 column 'g' type 'LINESTRING' shape 3");
        holds("kinds.dem kind 12 column 'rast' type '' shape 0");
        holds("kinds.raster_columns kind 10 column '' type '' shape 0");
        if (u.user != Env("MARBROOK_PG_USER")) {
            holds("priv.insert_only kind 10 column '' type '' shape 0");
            holds("priv.one_column kind 10 column '' type '' shape 0");
            holds("priv.own kind 5 column 'g' type 'LINESTRING' shape 3");
            holds("priv.own_revoked kind 10 column '' type '' shape 0");
        }
    }
}

TEST_F(Catalogue, GeometryTypesAreThoseOfGeometryColumns) {
    // Every modifier's type, straight against the view's own decoding.
    auto session = Connect(database_, Env("MARBROOK_PG_USER"), Env("MARBROOK_PG_PASSWORD"));
    ASSERT_TRUE(session);
    const auto rows = session->Query(
        "SELECT a.atttypmod::text, g.type::text, c.relname::text FROM geometry_columns g "
        "JOIN pg_class c ON c.relname = g.f_table_name JOIN pg_namespace n ON n.oid = c.relnamespace "
        "AND n.nspname = g.f_table_schema JOIN pg_attribute a ON a.attrelid = c.oid AND a.attname = g.f_geometry_column "
        "WHERE a.atttypmod >= 0 AND a.atttypmod & 255 <> 0",
        {}, "the modifiers", errnum::kAutomationError);
    ASSERT_GE(rows.size(), 60u);
    for (const auto& r : rows) {
        SCOPED_TRACE(*r[2] + " " + *r[0]);
        EXPECT_EQ(gdal::postgis::GeometryTypeOf(*r[0], std::nullopt), *r[1]);
    }
    // Without a modifier: the declared type, with its Z and ZM taken out as the view does.
    const struct {
        const char* modifier;
        std::optional<std::string> declared;
        const char* type;
    } cases[] = {{"-1", std::nullopt, "GEOMETRY"}, {"-1", "POINTZM", "POINT"}, {"-1", "POINTM", "POINTM"},
                 {"1107456", "LINESTRING", "LINESTRING"}, {"1107458", "POINT", "GEOMETRY"}, {"x", "", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.modifier);
        EXPECT_EQ(gdal::postgis::GeometryTypeOf(c.modifier, c.declared), c.type);
    }
}

// The names a schema asked for alone must give: those a schema has, and names
// that only resemble one (another case, cut at or beyond the server's name
// length, with a NUL, not UTF-8, a system schema).
std::vector<std::string> SchemaNamesToAsk(const std::string& longSchema) {
    return {"kinds", "priv", "We.ird", "public", "plain", longSchema, "Kinds", "we.ird", "kinds ", "", "absent",
            longSchema + "l", longSchema.substr(1), std::string("kinds\0x", 7), "k\xffnds", "pg_catalog",
            "information_schema", "topology"};
}

TEST_F(Catalogue, OneSchemaListsAsTheWholeDatabaseListsIt) {
    for (const auto& login : Logins()) {
        SCOPED_TRACE(login.user);
        auto session = Connect(database_, login.user, login.password);
        ASSERT_TRUE(session);
        const auto whole = gdal::postgis::ReadCatalogueEntries(*session);
        for (const auto& schema : SchemaNamesToAsk(kLongSchema)) {
            SCOPED_TRACE("schema '" + schema + "'");
            std::vector<std::string> expected, listed;
            for (const auto& e : whole)
                if (e.schema == schema) expected.push_back(Describe(e));
            for (const auto& e : gdal::postgis::ReadSchemaEntries(*session, schema)) listed.push_back(Describe(e));
            EXPECT_EQ(listed, expected);
        }
        // The cases that matter are among them.
        std::set<std::string> schemas;
        for (const auto& e : whole) schemas.insert(e.schema);
        EXPECT_EQ(schemas, (std::set<std::string>{"kinds", "plain", "priv", "We.ird", kLongSchema}));
    }
}

// A feature dataset opened alone holds the very names the database's listing
// gives it: the same tables, kinds, columns and shapes, in the same order;
// a schema that is no feature dataset, and public, hold none.
TEST_F(Catalogue, AFeatureDatasetOpenedAloneHoldsWhatTheListingGivesIt) {
    auto describe = [](const std::vector<gis::DatasetNamePtr>& names) {
        std::vector<std::string> out;
        for (const auto& n : names) {
            const auto table = n->Table();
            const auto details = n->Details();
            out.push_back(n->Name() + " kind " + std::to_string(n->Kind()) + " at " +
                          (table ? table->schema + "|" + table->table + "|" + table->column : "-") + " shape " +
                          (details ? std::to_string(details->shapeKind) : "-"));
        }
        return out;
    };
    const auto factory = gdal::NewSpatialDatabaseFactory();
    for (const auto& login : Logins()) {
        SCOPED_TRACE(login.user);
        const auto props = Props(database_, login.user, login.password);
        const auto listed = factory->OpenWorkspace(props, gis::kNoWindow);
        ASSERT_TRUE(listed) << factory->LastOpenFailure();
        std::map<std::string, std::vector<std::string>> datasets;
        for (const auto& fd : listed->ListDatasetNames(gis::kind::kFeatureDataset)) datasets[fd->Name()] = describe(fd->SubsetNames());
        EXPECT_EQ(datasets.size(), 4u); // kinds, priv, We.ird and the long one
        for (const auto& schema : SchemaNamesToAsk(kLongSchema)) {
            SCOPED_TRACE("schema '" + schema + "'");
            // A workspace that has read nothing yet, and one that has read the whole catalogue.
            const auto alone = factory->OpenWorkspace(props, gis::kNoWindow);
            ASSERT_TRUE(alone);
            for (const auto& workspace : {alone, listed}) {
                const auto found = workspace->FeatureDatasetsNamed(schema);
                ASSERT_EQ(found.size(), datasets.count(schema));
                if (found.empty()) continue;
                EXPECT_EQ(found[0]->Name(), schema);
                EXPECT_EQ(found[0]->Kind(), gis::kind::kFeatureDataset);
                EXPECT_EQ(describe(found[0]->SubsetNames()), datasets[schema]);
            }
        }
    }
}

// ---- The server's statement log ---------------------------------------------

// The statements the server logged, by server process, from `offset` on.
std::map<std::string, std::vector<std::string>> LoggedStatements(const std::string& log, std::streamoff offset) {
    std::ifstream in(log);
    in.seekg(offset);
    std::map<std::string, std::vector<std::string>> out;
    for (std::string line; std::getline(in, line);) {
        // "2026-01-01 10:00:00.000 UTC [1234] LOG:  execute <unnamed>: SELECT ..."
        const auto pid = line.find(" [");
        const auto close = line.find("] ", pid == std::string::npos ? 0 : pid);
        if (pid == std::string::npos || close == std::string::npos) continue;
        for (const char* mark : {"LOG:  statement: ", "LOG:  execute "}) {
            const auto at = line.find(mark, close);
            if (at != std::string::npos) {
                std::string text = line.substr(at + std::char_traits<char>::length(mark));
                if (text.rfind("<unnamed>: ", 0) == 0) text.erase(0, 11);
                out[line.substr(pid + 2, close - pid - 2)].push_back(text);
            }
        }
    }
    return out;
}

TEST_F(Catalogue, AListingRunsEachQueryOnceAndPrintsNothing) {
    const std::string log = Env("MARBROOK_PG_DIR") + "/server.log";
    ASSERT_TRUE(std::ifstream(log).good()) << "the test server's log " << log << " cannot be read";
    // A role whose every statement the server logs, and to which it sends
    // every message it has (the start of a session included) as notices.
    const std::string watched = "watched_" + std::to_string(::getpid());
    RunSql("postgres", {"DROP ROLE IF EXISTS " + watched, "CREATE ROLE " + watched + " LOGIN PASSWORD 'watched'",
                     "GRANT pg_read_all_data TO " + watched, "ALTER ROLE " + watched + " SET log_statement = 'all'",
                     "ALTER ROLE " + watched + " SET client_min_messages = 'debug5'"});
    TempDir home, folder;
    gis::PropertySet props = Props(Env("MARBROOK_PG_DB"), watched, "watched");
    ASSERT_TRUE(gdal::NewSpatialDatabaseFactory()->CreateConnectionFile(folder.Path(), "w.sde", props, gis::kNoWindow));
    const std::string sde = folder / "w.sde";

    const struct {
        std::string location;
        std::string first; // the first entry's name
        std::size_t entries;
    } cases[] = {{sde, "hydro", 8}, {sde + "::hydro", "depth", 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        std::ifstream sized(log, std::ios::ate);
        const std::streamoff before = sized.tellg();
        const testing::ProgramRun r = testing::RunProgram(MARBROOK_CLI, home.Path(), {"list", c.location});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), static_cast<long>(c.entries)) << r.out;
        EXPECT_NE(r.out.find("\t" + c.first + "\t"), std::string::npos) << r.out;

        const auto sessions = LoggedStatements(log, before);
        ASSERT_EQ(sessions.size(), 1u) << "one session per listing";
        const auto& statements = sessions.begin()->second;
        ASSERT_EQ(statements.size(), 1u) << "one catalogue query, nothing else; the first: " << statements.at(0);
        EXPECT_EQ(statements[0].find("postgis_version"), std::string::npos);
        EXPECT_EQ(statements[0].rfind("WITH me AS", 0), 0u) << statements[0];
    }
    RunSql("postgres", {"DROP ROLE IF EXISTS " + watched});
}

} // namespace
} // namespace marbrook
