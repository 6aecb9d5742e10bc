#pragma once
// The database the PostGIS cases list, built once per server on first use:
// 10 schemas (public, "big" and s2..s9) holding 1 000 spatial and 1 000
// plain tables, "big" with 250 of each (a 500-member feature dataset).
#include <string>

namespace marbrook::bench {

inline constexpr const char* kBenchDatabase = "marbrook_bench";
inline constexpr const char* kBigSchema = "big";
// An ordinary role that reads every table through granted privileges (what
// most users of a shared database are): the server checks its privilege on
// each table. A throwaway cluster's role, hence a password in the open.
inline constexpr const char* kBenchReader = "marbrook_bench_reader";
inline constexpr const char* kBenchReaderPassword = "bench-reader";

// The SQL that fills the database.
std::string FixtureSql();
// The SQL that makes the reader role (when missing) and grants it every table.
std::string ReaderSql();
// GDAL's connection string of the database on the server of scripts/with-pg.sh,
// as the server's own user or as `user`.
std::string PgConnectionString(const std::string& user = {});
// Builds the database when the server lacks it and writes its connection
// files `sdeFolder`/bench.sde and, for the reader role, bench-reader.sde;
// false without a server or when that fails.
bool PreparePostgis(const std::string& sdeFolder);

} // namespace marbrook::bench
