// How fast a spatial database lists: "marbrook list" of the top level and of
// a 500-member feature dataset against "ogrinfo -ro -so -oo LIST_ALL_TABLES=YES"
// on the same database of 1 000 spatial and 1 000 plain tables in 10 schemas.
//
// Needs a server: run it through scripts/with-pg.sh, e.g.
//   scripts/with-pg.sh build/bench/bench_postgis_listing
// The database "marbrook_bench" is built on first use and kept with the
// throwaway cluster. MARBROOK_CLI names the marbrook program when it is not
// at ../apps/marbrook beside this benchmark.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "bench/PostgisFixture.h"
#include "catalogue/basOpenDialogs.h"
#include "connections/DatabaseListings.h"
#include "platform/assembly/DefaultPlatform.h"

#if __has_include(<benchmark/benchmark.h>)
#include <benchmark/benchmark.h>
#define MARBROOK_HAVE_BENCHMARK 1
#endif

namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

using marbrook::bench::FixtureSql;
using marbrook::bench::kBigSchema;
constexpr const char* kDatabase = marbrook::bench::kBenchDatabase;


struct Server {
    std::string host, port, user, password, psql;
    bool ok = false;
    std::string sde;   // connection file of the bench database
    std::string cli;   // the marbrook program
    std::string pgConn;
};

Server& TheServer() {
    static Server s = [] {
        Server v;
        v.host = Env("MARBROOK_PG_HOST");
        v.port = Env("MARBROOK_PG_PORT");
        v.user = Env("MARBROOK_PG_USER");
        v.password = Env("MARBROOK_PG_PASSWORD");
        if (v.host.empty()) return v;
        const std::string bindir = Env("MARBROOK_PG_BINDIR");
        v.psql = (bindir.empty() ? std::string("psql") : bindir + "/psql") + " -X -q -v ON_ERROR_STOP=1 -h " + Quote(v.host) +
                 " -p " + Quote(v.port) + " -U " + Quote(v.user);
        ::setenv("PGPASSWORD", v.password.c_str(), 1);
        const std::string exists = v.psql + " -d postgres -tAc \"SELECT 1 FROM pg_database WHERE datname='" + kDatabase + "'\"";
        FILE* f = ::popen(exists.c_str(), "r");
        char buf[16] = {};
        const bool present = f && std::fgets(buf, sizeof buf, f) && buf[0] == '1';
        if (f) ::pclose(f);
        if (!present) {
            std::cerr << "building " << kDatabase << " (1 000 spatial + 1 000 plain tables) ...\n";
            if (std::system((v.psql + " -d postgres -c 'CREATE DATABASE " + kDatabase + "'").c_str()) != 0) return v;
            const fs::path script = fs::temp_directory_path() / ("marbrook-bench-" + std::to_string(::getpid()) + ".sql");
            {
                FILE* out = std::fopen(script.c_str(), "w");
                if (!out) return v;
                const std::string sql = FixtureSql();
                std::fwrite(sql.data(), 1, sql.size(), out);
                std::fclose(out);
            }
            const int rc = std::system((v.psql + " -d " + kDatabase + " -f " + Quote(script) + " >/dev/null").c_str());
            fs::remove(script);
            if (rc != 0) return v;
        }

        marbrook::Platform& p = marbrook::DefaultPlatform();
        auto props = p.gis.CreatePropertySet();
        props->SetProperty("SERVER", v.host);
        props->SetProperty("USER", v.user);
        props->SetProperty("INSTANCE", v.port);
        props->SetProperty("DATABASE", kDatabase);
        props->SetProperty("PASSWORD", v.password);
        const fs::path folder = fs::temp_directory_path() / ("marbrook-bench-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        fs::remove(folder / "bench.sde");
        if (!p.gis.CreateWorkspaceFactory(marbrook::gis::FactoryKind::SpatialDatabase)
                 ->CreateConnectionFile(folder.string(), "bench.sde", *props, 0))
            return v;
        v.sde = (folder / "bench.sde").string();

        v.cli = Env("MARBROOK_CLI");
        if (v.cli.empty()) v.cli = (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "apps" / "marbrook").string();
        v.pgConn = "PG:host=" + v.host + " port=" + v.port + " dbname=" + kDatabase + " user=" + v.user;
        v.ok = true;
        return v;
    }();
    return s;
}

int Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

#ifdef MARBROOK_HAVE_BENCHMARK

bool Ready(benchmark::State& state) {
    if (!TheServer().ok) {
        state.SkipWithError("no PostgreSQL server: run through scripts/with-pg.sh");
        return false;
    }
    return true;
}

void RunCommand(benchmark::State& state, const std::string& command) {
    if (!Ready(state)) return;
    if (Run(command) != 0) {
        state.SkipWithError(("fails: " + command).c_str());
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(Run(command));
}

void MarbrookListTopLevel(benchmark::State& state) {
    RunCommand(state, Quote(TheServer().cli) + " list " + Quote(TheServer().sde));
}
void MarbrookListFeatureDataset(benchmark::State& state) {
    RunCommand(state, Quote(TheServer().cli) + " list " + Quote(TheServer().sde + "::" + kBigSchema));
}
void OgrinfoAllTables(benchmark::State& state) {
    RunCommand(state, "ogrinfo -ro -so -oo LIST_ALL_TABLES=YES " + Quote(TheServer().pgConn));
}
void OgrinfoAllTablesOfOneSchema(benchmark::State& state) {
    RunCommand(state, "ogrinfo -ro -so -oo LIST_ALL_TABLES=YES -oo SCHEMAS=" + std::string(kBigSchema) + " " +
                          Quote(TheServer().pgConn));
}

// The listings alone, inside one process (no program start, no GDAL start).
void InProcessTopLevel(benchmark::State& state) {
    if (!Ready(state)) return;
    marbrook::DataItems items;
    for (auto _ : state) benchmark::DoNotOptimize(marbrook::OpenSdeConnectionEx(marbrook::DefaultPlatform(), TheServer().sde, items, 0));
    state.counters["items"] = static_cast<double>(items.size() - 1);
}
void InProcessFeatureDataset(benchmark::State& state) {
    if (!Ready(state)) return;
    marbrook::DataItems items;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            marbrook::OpenFeatureDatasetFromSDEEx(marbrook::DefaultPlatform(), TheServer().sde, kBigSchema, items, 0));
    state.counters["items"] = static_cast<double>(items.size() - 1);
}

BENCHMARK(MarbrookListTopLevel)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(MarbrookListFeatureDataset)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(OgrinfoAllTables)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(OgrinfoAllTablesOfOneSchema)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(InProcessTopLevel)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(InProcessFeatureDataset)->Unit(benchmark::kMillisecond)->Iterations(10);

#endif

} // namespace

#ifdef MARBROOK_HAVE_BENCHMARK
BENCHMARK_MAIN();
#else
int main() {
    std::cerr << "Google Benchmark is not installed; nothing measured\n";
    return 0;
}
#endif
