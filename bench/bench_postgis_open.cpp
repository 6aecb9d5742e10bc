// What opening a listed PostGIS dataset costs now that names and the password
// reach GDAL's drivers safely: the library's OpenName of a listed feature
// class (a query naming the quoted table, the password handed over in a
// private in-memory file) and of a listed raster (every value quoted for the
// raster driver), against GDAL opening the same data the plain way (password
// in the string, the layer looked up by its name).
//
// Needs a server: scripts/with-pg.sh build/bench/bench_postgis_open [ROUNDS]
// Each round opens each dataset once per contender, the contenders taking
// turns; the minimum and the median over the rounds are printed, in ms.
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "catalogue/basOpenDialogs.h"
#include "connections/DatabaseListings.h"
#include "platform/assembly/DefaultPlatform.h"

namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

double Milliseconds(const std::function<void()>& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct Figures {
    std::vector<double> times;
    void Print(const char* what) {
        std::sort(times.begin(), times.end());
        std::printf("%-44s min %7.2f ms   median %7.2f ms\n", what, times.front(), times[times.size() / 2]);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (Env("MARBROOK_PG_HOST").empty()) {
        std::fprintf(stderr, "no PostgreSQL server: run through scripts/with-pg.sh\n");
        return 2;
    }
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    marbrook::Platform& p = marbrook::DefaultPlatform();
    auto props = p.gis.CreatePropertySet();
    props->SetProperty("SERVER", Env("MARBROOK_PG_HOST"));
    props->SetProperty("INSTANCE", Env("MARBROOK_PG_PORT"));
    props->SetProperty("DATABASE", Env("MARBROOK_PG_DB"));
    props->SetProperty("USER", Env("MARBROOK_PG_USER"));
    props->SetProperty("PASSWORD", Env("MARBROOK_PG_PASSWORD"));
    const fs::path folder = fs::temp_directory_path() / ("marbrook-bench-open-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    if (!p.gis.CreateWorkspaceFactory(marbrook::gis::FactoryKind::SpatialDatabase)
             ->CreateConnectionFile(folder.string(), "bench.sde", *props, 0)) {
        std::fprintf(stderr, "cannot write the connection file\n");
        return 1;
    }
    marbrook::DataItems items;
    marbrook::OpenSdeConnectionEx(p, (folder / "bench.sde").string(), items, 0);
    fs::remove_all(folder);
    std::map<std::string, marbrook::gis::DatasetNamePtr> listed;
    for (std::size_t i = 1; i < items.size(); ++i) listed[items[i].DataName] = items[i].pDataSetObj;
    if (!listed.count("cities") || !listed.count("elevation")) {
        std::fprintf(stderr, "the test database lacks cities or elevation\n");
        return 1;
    }

    const std::string plain = "PG:host=" + Env("MARBROOK_PG_HOST") + " port=" + Env("MARBROOK_PG_PORT") +
                              " dbname=" + Env("MARBROOK_PG_DB") + " user=" + Env("MARBROOK_PG_USER") +
                              " password=" + Env("MARBROOK_PG_PASSWORD");
    CPLPushErrorHandler(CPLQuietErrorHandler);
    Figures oursVector, gdalVector, oursRaster, gdalRaster;
    long long sink = 0;
    for (int round = 0; round < rounds; ++round) {
        oursVector.times.push_back(Milliseconds([&] {
            sink += marbrook::gis::AsFeatureClass(p.gis.OpenName(*listed["cities"]))->FeatureCount();
        }));
        gdalVector.times.push_back(Milliseconds([&] {
            GDALDataset* ds = GDALDataset::Open(plain.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY);
            if (OGRLayer* layer = ds ? ds->GetLayerByName("cities") : nullptr) sink += layer->GetFeatureCount(TRUE);
            GDALClose(ds);
        }));
        oursRaster.times.push_back(Milliseconds([&] {
            sink += marbrook::gis::AsRasterDataset(p.gis.OpenName(*listed["elevation"]))->Width();
        }));
        gdalRaster.times.push_back(Milliseconds([&] {
            const std::string s = plain + " schema=public table=elevation column=rast mode=2";
            GDALDataset* ds = GDALDataset::Open(s.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY);
            if (ds) sink += ds->GetRasterXSize();
            GDALClose(ds);
        }));
    }
    CPLPopErrorHandler();
    std::printf("opening a listed PostGIS dataset, %d rounds (checksum %lld)\n", rounds, sink);
    oursVector.Print("feature class: OpenName + feature count");
    gdalVector.Print("feature class: GDAL by layer name + count");
    oursRaster.Print("raster: OpenName + width");
    gdalRaster.Print("raster: GDAL plain string + width");
    std::ifstream load("/proc/loadavg");
    std::string loadavg;
    std::getline(load, loadavg);
    std::printf("load average: %s\n", loadavg.c_str());
    std::fflush(stdout);
    return 0;
}
