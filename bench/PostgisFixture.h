#pragma once
// The database both PostGIS benchmarks list, built once per server on first
// use: 10 schemas (public, "big" and s2..s9) holding 1 000 spatial and 1 000
// plain tables, "big" with 250 of each (a 500-member feature dataset).
#include <string>

namespace marbrook::bench {

inline constexpr const char* kBenchDatabase = "marbrook_bench";
inline constexpr const char* kBigSchema = "big";

inline std::string FixtureSql() {
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

} // namespace marbrook::bench
