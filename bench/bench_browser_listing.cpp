// The data browser on a huge folder: listing it (by replaying the remembered
// folder), selecting every item, and switching to the report view. Runs on
// the real file system and the GDAL back end, with a window system that shows
// nothing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/headless/HeadlessUi.h"
#include "browser/frmOpenDialog.h"
#include "platform/gdal/GdalGis.h"
#include "platform/platform.h"
#include "platform/posix/PosixSystem.h"
#include "support/Globals.h"

namespace {

using namespace marbrook;
namespace fs = std::filesystem;


class OneDrive final : public posix::PosixSystem {
public:
    std::vector<sys::Drive> LogicalDrives() override { return {{"/", 3}}; }
};

// A folder of `files` point shapefiles (their 100-byte headers are all the
// listing reads) and two subfolders, made once per size.
// The folders live in one temporary folder that is removed at exit.
struct BenchFolder {
    BenchFolder() {
        std::string tmpl = (fs::temp_directory_path() / "marbrook-bench-browser-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        path = tmpl;
    }
    ~BenchFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

std::string HugeFolder(long files) {
    static BenchFolder bench;
    const fs::path root = bench.path / std::to_string(files);
    if (!fs::exists(root / "done")) {
        fs::create_directories(root / "sub1");
        fs::create_directories(root / "sub2");
        std::string header(100, '\0');
        header[2] = '\x27'; // file code 9994, big-endian
        header[3] = '\x0a';
        header[27] = 50;     // length in 16-bit words
        header[28] = '\xe8'; // version 1000, little-endian
        header[29] = '\x03';
        header[32] = 1;      // points
        for (long i = 0; i < files; ++i) std::ofstream(root / ("layer" + std::to_string(i) + ".shp"), std::ios::binary) << header;
        std::ofstream(root / "done") << "";
    }
    return root.string();
}

struct Browser {
    Browser() : gisService(gdal::NewGdalGis()), platform{*gisService, uiService, system}, form(platform) {
        gdal::InitGdal();
        form.EnsureLoaded();
    }
    // Opens the dialog's first view, replaying `folder`.
    void OpenAt(const std::string& folder) {
        gsCurDir = folder;
        std::string unused;
        form.InitDataList(unused);
    }
    std::unique_ptr<gis::GisService> gisService;
    headless::HeadlessUi uiService;
    OneDrive system;
    Platform platform;
    frmOpenDialog form;
};

void BM_ListHugeFolder(benchmark::State& state) {
    const std::string folder = HugeFolder(state.range(0));
    Browser b;
    for (auto _ : state) {
        b.OpenAt(folder);
        benchmark::DoNotOptimize(b.form.LVDataList.Count());
    }
    state.counters["items"] = static_cast<double>(b.form.LVDataList.Count());
}
BENCHMARK(BM_ListHugeFolder)->Arg(1000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_SelectEveryItem(benchmark::State& state) {
    const std::string folder = HugeFolder(state.range(0));
    Browser b;
    b.OpenAt(folder);
    b.form.LVDataList.SetMultiSelect(true);
    for (long i = 1; i <= b.form.LVDataList.Count(); ++i) b.form.LVDataList.SetSelected(i, true);
    for (auto _ : state) {
        b.form.LVDataList_ItemClick();
        benchmark::DoNotOptimize(b.form.TxtDataName.Text().size());
    }
    state.counters["selected"] = static_cast<double>(b.form.SelDataList().size() - 1);
}
BENCHMARK(BM_SelectEveryItem)->Arg(1000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_SwitchToReportView(benchmark::State& state) {
    const std::string folder = HugeFolder(state.range(0));
    Browser b;
    b.OpenAt(folder);
    for (auto _ : state) {
        b.form.OptReport_Click();
        b.form.OptList_Click();
    }
}
BENCHMARK(BM_SwitchToReportView)->Arg(40000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
