#include "bench/suite/Postgis.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "bench/suite/Common.h"
#include "bench/suite/Measures.h"

namespace marbrook::bench {

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

std::string FixtureSql() {
    std::string sql = "CREATE EXTENSION IF NOT EXISTS postgis;\n";
    auto schema = [&](const std::string& name, int tables) {
        if (name != "public") sql += "CREATE SCHEMA " + name + ";\n";
        sql += "DO $$ BEGIN FOR i IN 1.." + std::to_string(tables) +
               " LOOP "
               "EXECUTE format('CREATE TABLE " + name +
               ".fc_%s (id integer PRIMARY KEY, geom geometry(%s, 4326))', i, "
               "(ARRAY['Point','LineString','Polygon'])[1 + i % 3]); "
               "EXECUTE format('CREATE TABLE " + name +
               ".t_%s (id integer PRIMARY KEY, v text)', i); "
               "END LOOP; END $$;\n";
    };
    schema("public", 94);
    schema(kBigSchema, 250);
    for (int s = 2; s <= 9; ++s) schema("s" + std::to_string(s), 82);
    return sql;
}

std::string ReaderSql() {
    std::string schemas = std::string("public, ") + kBigSchema;
    for (int s = 2; s <= 9; ++s) schemas += ", s" + std::to_string(s);
    // The role may be there already (the database of an earlier run).
    return std::string("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '") + kBenchReader +
           "') THEN CREATE ROLE " + kBenchReader + " LOGIN PASSWORD '" + kBenchReaderPassword +
           "'; END IF; END $$;\nGRANT USAGE ON SCHEMA " + schemas + " TO " + kBenchReader +
           ";\nGRANT SELECT ON ALL TABLES IN SCHEMA " + schemas + " TO " + kBenchReader + ";\n";
}

std::string PgConnectionString(const std::string& user) {
    return "PG:host=" + Env("MARBROOK_PG_HOST") + " port=" + Env("MARBROOK_PG_PORT") + " dbname=" + kBenchDatabase +
           " user=" + (user.empty() ? Env("MARBROOK_PG_USER") : user);
}

// Builds the database (once per cluster) and writes its connection file.
bool PreparePostgis(const std::string& sdeFolder) {
    if (Env("MARBROOK_PG_HOST").empty()) return false;
    ::setenv("PGPASSWORD", Env("MARBROOK_PG_PASSWORD").c_str(), 1);
    const std::string bindir = Env("MARBROOK_PG_BINDIR");
    const std::string psql = (bindir.empty() ? std::string("psql") : bindir + "/psql") + " -X -q -v ON_ERROR_STOP=1 -h " +
                             Quote(Env("MARBROOK_PG_HOST")) + " -p " + Quote(Env("MARBROOK_PG_PORT")) + " -U " +
                             Quote(Env("MARBROOK_PG_USER"));
    const std::string exists =
        psql + " -d postgres -tAc \"SELECT 1 FROM pg_database WHERE datname='" + kBenchDatabase + "'\"";
    FILE* f = ::popen(exists.c_str(), "r");
    char buf[16] = {};
    const bool present = f && std::fgets(buf, sizeof buf, f) && buf[0] == '1';
    if (f) ::pclose(f);
    fs::create_directories(sdeFolder);
    if (!present) {
        std::cerr << "building " << kBenchDatabase << " (1 000 spatial + 1 000 plain tables) ..." << std::endl;
        if (std::system((psql + " -d postgres -c 'CREATE DATABASE " + kBenchDatabase + "'").c_str()) != 0) return false;
        const std::string script = sdeFolder + "/fixture.sql";
        std::ofstream(script) << FixtureSql();
        if (std::system((psql + " -d " + kBenchDatabase + " -f " + Quote(script) + " >/dev/null").c_str()) != 0) {
            // Half a database would be taken for a whole one next time.
            (void)std::system((psql + " -d postgres -c 'DROP DATABASE " + kBenchDatabase + "'").c_str());
            return false;
        }
    }
    // The reader role and its privileges, also for a database an older suite built.
    const std::string readerScript = sdeFolder + "/reader.sql";
    std::ofstream(readerScript) << ReaderSql();
    if (std::system((psql + " -d " + kBenchDatabase + " -f " + Quote(readerScript) + " >/dev/null").c_str()) != 0)
        return false;
    RealPlatform rp;
    auto write = [&](const std::string& file, const std::string& user, const std::string& password) {
        auto props = rp.platform.gis.CreatePropertySet();
        props->SetProperty("SERVER", Env("MARBROOK_PG_HOST"));
        props->SetProperty("USER", user);
        props->SetProperty("INSTANCE", Env("MARBROOK_PG_PORT"));
        props->SetProperty("DATABASE", kBenchDatabase);
        props->SetProperty("PASSWORD", password);
        fs::remove(sdeFolder + "/" + file);
        return rp.platform.gis.CreateWorkspaceFactory(gis::FactoryKind::SpatialDatabase)
                   ->CreateConnectionFile(sdeFolder, file, *props, 0) != nullptr;
    };
    return write("bench.sde", Env("MARBROOK_PG_USER"), Env("MARBROOK_PG_PASSWORD")) &&
           write("bench-reader.sde", kBenchReader, kBenchReaderPassword);
}

} // namespace marbrook::bench
