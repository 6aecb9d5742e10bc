// How long turning chosen shapefiles into layers takes, and re-pointing them.
//
//   bench_layers [WORK_FOLDER]
//
// Writes n copies of a small shapefile into two folders (or under
// WORK_FOLDER), then times for growing n: building layers for n chosen
// shapefiles (each opened through OGR), and re-pointing the n layers to the
// other folder. Both should grow linearly; the opening of each dataset is
// the cost, not the sorting. Not part of the test suite.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "platform/headless/HeadlessUi.h"
#include "catalogue/basOpenDialogs.h"
#include "interface/CLayerFunctionExport.h"
#include "catalogue/CLayerObj.h"
#include "platform/assembly/DefaultPlatform.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace marbrook;

namespace {

double Seconds(const std::function<void()>& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::cerr << "failed: " << command << "\n";
        std::exit(1);
    }
}


void MakeFolder(const std::string& folder, const std::string& templ, int n) {
    fs::create_directories(folder);
    for (int i = 0; i < n; ++i)
        for (const char* ext : {".shp", ".shx", ".dbf"})
            fs::copy_file(templ + "/roads" + ext, folder + "/roads_" + std::to_string(i) + ext,
                          fs::copy_options::overwrite_existing);
}

} // namespace

int main(int argc, char** argv) {
    const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "marbrook-bench-layers";
    fs::remove_all(root);
    const std::string templ = (root / "template").string();
    fs::create_directories(templ);
    std::ofstream(templ + "/p.csv") << "WKT,id\n\"LINESTRING (0 0,1 1)\",1\n\"LINESTRING (1 1,2 0)\",2\n";
    Run("ogr2ogr -q -f 'ESRI Shapefile' " + templ + "/roads.shp " + templ + "/p.csv -nln roads >/dev/null 2>&1");

    Platform& real = DefaultPlatform();
    headless::HeadlessUi quiet;
    Platform p{real.gis, quiet, real.system};
    CLayerFunctionExport api(p);

    std::printf("%8s %14s %14s %16s\n", "layers", "build (s)", "per layer (ms)", "re-point (s)");
    for (int n : {100, 500, 1000, 2000}) {
        const std::string a = (root / ("a" + std::to_string(n))).string();
        const std::string b = (root / ("b" + std::to_string(n))).string();
        MakeFolder(a, templ, n);
        MakeFolder(b, templ, n);
        auto factory = p.gis.CreateWorkspaceFactory(gis::FactoryKind::Shapefile);
        const auto namesA = factory->OpenWorkspaceFromFile(a, gis::kNoWindow)->ListDatasetNames(gis::kind::kFeatureClass);
        const auto namesB = factory->OpenWorkspaceFromFile(b, gis::kNoWindow)->ListDatasetNames(gis::kind::kFeatureClass);

        Collection items;
        for (const auto& name : namesA) {
            auto item = std::make_shared<CLayerObj>();
            item->pDataSetObj(name);
            item->DataType(ltFeatureClass);
            items.Add(item);
        }
        bool built = false;
        const double build = Seconds([&] { built = AddLayersBySort(p, items); });
        if (!built || items.Count() != n) {
            std::cerr << "building " << n << " layers failed\n";
            return 1;
        }
        const double repoint = Seconds([&] {
            for (long i = 1; i <= items.Count(); ++i)
                if (!api.ResetLayerSource(items.ItemAs<gis::Layer>(i), namesB[static_cast<std::size_t>(i - 1)])) std::exit(1);
        });
        std::printf("%8d %14.3f %14.3f %16.3f\n", n, build, 1000.0 * build / n, repoint);
    }
    fs::remove_all(root);
    return 0;
}
