// The dialog on a big folder, as a user meets it: how long from opening a
// folder of n entries until the first entries are painted, until the whole
// list is painted, and how long the event loop ever waited meanwhile (a 5 ms
// timer that fires late shows a frozen window). Against the same folder:
// the folder enumerator alone on the calling thread (how the dialog listed
// before), a bare readdir loop, and readdir with the names put in listing
// order (what ordering costs).
//
//   bench_dialog [--n N] [--rounds R] [--smoke] [--keep]
//
// Each measurement runs in a fresh child process (this program started again
// with --child), the dialog on Qt's offscreen platform; the contenders
// alternate, and every figure is given as min and median over the rounds.
// The machine's load average is printed with the table.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QTimer>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "bench/Stats.h"
#include "browser/frmOpenDialog.h"
#include "catalogue/NameOrder.h"
#include "catalogue/basOpenDialogs.h"
#include "platform/gdal/GdalGis.h"
#include "platform/headless/HeadlessUi.h"
#include "platform/platform.h"
#include "platform/posix/PosixSystem.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/forms/FormViews.h"
#include "support/Globals.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace marbrook;
using bench::Median;
using bench::Min;

namespace {

[[noreturn]] void Die(const std::string& what) {
    std::cerr << "bench_dialog: " << what << "\n";
    std::exit(1);
}

double MsSince(Clock::time_point t0, Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - t0).count(); }

// ---- Generated data --------------------------------------------------------------------

void WriteShapefile(const std::string& path, OGRwkbGeometryType type) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    std::unique_ptr<GDALDataset> ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!ds) Die("cannot write " + path);
    OGRLayer* layer = ds->CreateLayer(fs::path(path).stem().c_str(), nullptr, type, nullptr);
    OGRFeature feature(layer->GetLayerDefn());
    OGRGeometry* g = nullptr;
    const char* wkt = type == wkbPoint ? "POINT (1 1)" : type == wkbLineString ? "LINESTRING (0 0,1 1)" : "POLYGON ((0 0,0 1,1 1,0 0))";
    OGRGeometryFactory::createFromWkt(wkt, nullptr, &g);
    feature.SetGeometryDirectly(g);
    if (layer->CreateFeature(&feature) != OGRERR_NONE) Die("cannot write a feature to " + path);
}

void WriteTemplates(const std::string& t) {
    fs::create_directories(t);
    WriteShapefile(t + "/point.shp", wkbPoint);
    WriteShapefile(t + "/line.shp", wkbLineString);
    WriteShapefile(t + "/polygon.shp", wkbPolygon);
    std::unique_ptr<GDALDataset> tif(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        (t + "/r.tif").c_str(), 8, 6, 1, GDT_Byte, nullptr));
    if (!tif) Die("cannot write a GeoTIFF");
    tif.reset();
    std::unique_ptr<GDALDataset> dxf(
        GetGDALDriverManager()->GetDriverByName("DXF")->Create((t + "/d.dxf").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dxf) Die("cannot write a drawing");
    OGRLayer* layer = dxf->CreateLayer("entities", nullptr, wkbUnknown, nullptr);
    OGRFeature feature(layer->GetLayerDefn());
    OGRGeometry* g = nullptr;
    OGRGeometryFactory::createFromWkt("LINESTRING (0 0,1 1)", nullptr, &g);
    feature.SetGeometryDirectly(g);
    if (layer->CreateFeature(&feature) != OGRERR_NONE) Die("cannot write the drawing");
}

void Copy(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec)) Die("cannot copy to " + to + ": " + ec.message());
}

// A project folder of about n entries: 10 % of them in shapefile sets (.shp
// .shx .dbf .prj), 2 % GeoTIFFs, a drawing per 2 000, two subfolders, and
// other files for the rest. Returns the entries the dialog lists.
long MakeFolder(const std::string& dir, const std::string& t, long n) {
    const long sets = n / 40, tiffs = n / 50, drawings = std::max<long>(2, n / 2000);
    fs::create_directories(dir + "/sub1");
    fs::create_directories(dir + "/sub2");
    static const char* const kKinds[] = {"point", "line", "polygon"};
    for (long i = 0; i < sets; ++i)
        for (const char* ext : {".shp", ".shx", ".dbf", ".prj"})
            if (fs::exists(t + "/" + kKinds[i % 3] + ext)) Copy(t + "/" + kKinds[i % 3] + ext, dir + "/s" + std::to_string(i) + ext);
    for (long i = 0; i < tiffs; ++i) Copy(t + "/r.tif", dir + "/r" + std::to_string(i) + ".tif");
    for (long i = 0; i < drawings; ++i) Copy(t + "/d.dxf", dir + "/d" + std::to_string(i) + ".dxf");
    const long others = std::max<long>(0, n - sets * 4 - tiffs - drawings - 2);
    static const char* const kOther[] = {".txt", ".pdf", ".xlsx", ".docx", ".csv", ".html", ".zip", ".xml"};
    for (long i = 0; i < others; ++i) std::ofstream(dir + "/o" + std::to_string(i) + kOther[i % 8]) << "x";
    return 2 + sets + tiffs + drawings;
}

// ---- What a child measures ------------------------------------------------------------

// The dialog shown on the offscreen platform, at the root; the user types
// the folder's path and presses Enter.
int DialogChild(const std::string& dir) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "bench_dialog";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    gdal::InitGdal();
    auto gis = gdal::NewGdalGis();
    auto ui = qt::NewQtUi(&qt::MakeFormView);
    posix::PosixSystem system;
    Platform platform{*gis, *ui, system};
    frmOpenDialog form(platform);
    form.EnsureLoaded();
    gsCurDir.clear();
    std::string sde;
    form.InitDataList(sde);
    form.SetFilterType(0);
    (void)ui->HandleOf(form);
    QWidget* window = qt::FormWindow(*ui, form);
    window->resize(900, 620);
    window->show();
    qt::FlushForm(*ui, form);
    QApplication::processEvents();
    auto* view = window->findChild<QListView*>(QStringLiteral("LVDataList.list"));
    if (!view) Die("the dialog has no list");

    Clock::time_point t0, firstPaint, completePaint;
    bool listing = false, done = false;
    int expected = -1;
    struct PaintProbe final : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint && onPaint) onPaint();
            return false;
        }
    } probe;
    probe.onPaint = [&] {
        const int rows = view->model()->rowCount();
        const auto now = Clock::now();
        if (listing && firstPaint == Clock::time_point{} && rows > 0) firstPaint = now;
        if (done && completePaint == Clock::time_point{} && rows == expected) completePaint = now;
    };
    view->viewport()->installEventFilter(&probe);
    // A 5 ms timer: how late it fires is how long an event waited.
    double maxGap = 0;
    Clock::time_point last;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (listing) maxGap = std::max(maxGap, MsSince(last, now));
        last = now;
    });
    tick.start(5);

    t0 = last = Clock::now();
    listing = true;
    form.TxtDataName.SetText(dir);
    form.TxtDataName_KeyDown(frmOpenDialog::kKeyReturn, 0);
    done = true;
    expected = static_cast<int>(form.LVDataList.Count());
    QElapsedTimer wait;
    wait.start();
    while (completePaint == Clock::time_point{} && wait.elapsed() < 20000) {
        view->viewport()->update();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    listing = false;
    tick.stop();
    if (firstPaint == Clock::time_point{} || completePaint == Clock::time_point{}) Die("the list was never painted");
    std::printf("%.3f %.3f %.3f %d\n", MsSince(t0, firstPaint), MsSince(t0, completePaint), maxGap, expected);
    std::fflush(stdout);
    ui->UnloadForm(form);
    return 0;
}

// The folder enumerator alone, on the calling thread: how the dialog listed
// before, while its window waited.
int EnumeratorChild(const std::string& dir) {
    gdal::InitGdal();
    auto gis = gdal::NewGdalGis();
    headless::HeadlessUi ui;
    posix::PosixSystem system;
    Platform platform{*gis, ui, system};
    DataItems items;
    std::string folder = dir;
    const auto t0 = Clock::now();
    const long count = GetSubFolderFiles(platform, folder, items, 0);
    std::printf("%.3f %ld\n", MsSince(t0, Clock::now()), count);
    return 0;
}

// readdir over the folder, the names split into files and folders; with
// `sorted`, each group put in listing order too.
int ReaddirChild(const std::string& dir, bool sorted) {
    const auto t0 = Clock::now();
    std::vector<std::string> files, folders;
    DIR* d = ::opendir(dir.c_str());
    if (!d) Die("cannot list " + dir);
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        (e->d_type == DT_DIR ? folders : files).emplace_back(e->d_name);
    }
    ::closedir(d);
    if (sorted) {
        names::Sort(files);
        names::Sort(folders);
    }
    std::printf("%.3f %zu\n", MsSince(t0, Clock::now()), files.size() + folders.size());
    return 0;
}

int ChildMain(const std::string& what, const std::string& arg) {
    if (what == "dialog") return DialogChild(arg);
    if (what == "enumerator") return EnumeratorChild(arg);
    if (what == "readdir") return ReaddirChild(arg, false);
    if (what == "readdir-sorted") return ReaddirChild(arg, true);
    if (what == "templates") {
        GDALAllRegister();
        WriteTemplates(arg);
        return 0;
    }
    Die("unknown child " + what);
}

// ---- The parent -------------------------------------------------------------------------

std::string gSelf;

std::vector<double> RunChild(const std::string& what, const std::string& arg) {
    const std::string command = "'" + gSelf + "' --child " + what + " '" + arg + "'";
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) Die("cannot start " + what);
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, p) != nullptr;
    const int status = ::pclose(p);
    if (!read || status != 0) Die(what + " failed");
    std::vector<double> values;
    std::istringstream in(line);
    for (double v; in >> v;) values.push_back(v);
    return values;
}

} // namespace

int main(int argc, char** argv) {
    gSelf = fs::read_symlink("/proc/self/exe").string();
    if (argc >= 4 && std::string(argv[1]) == "--child") return ChildMain(argv[2], argv[3]);
    long n = 100000;
    int rounds = 5;
    bool keep = false, smoke = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--n" && i + 1 < argc) n = std::max(100L, std::atol(argv[++i]));
        else if (a == "--rounds" && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep") keep = true;
        else if (a == "--smoke") smoke = true, n = 2000, rounds = 1;
        else {
            std::cerr << "usage: bench_dialog [--n N] [--rounds R] [--smoke] [--keep]\n";
            return 2;
        }
    }
    std::string work = (fs::temp_directory_path() / "marbrook-bench-dialog-XXXXXX").string();
    if (const char* base = std::getenv("MARBROOK_BENCH_DIR")) work = std::string(base) + "/marbrook-bench-dialog-XXXXXX";
    if (::mkdtemp(work.data()) == nullptr) Die("cannot make a temporary folder");
    ::setenv("MARBROOK_HOME", (work + "/home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    fs::create_directories(work + "/home");
    fs::create_directories(work + "/config");
    if (std::system(("'" + gSelf + "' --child templates '" + work + "/templates'").c_str()) != 0) Die("cannot write the templates");
    const std::string dir = work + "/folder";
    std::cerr << "writing a folder of " << n << " entries ..." << std::endl;
    const long listed = MakeFolder(dir, work + "/templates", n);
    // A folder changed a moment ago is read afresh at every look, which a
    // user's folder is not: the data settles before it is timed.
    if (!smoke) std::this_thread::sleep_for(std::chrono::milliseconds(3500));

    std::map<std::string, std::vector<double>> figures;
    bool shortList = false;
    for (int r = 0; r < rounds; ++r) {
        // The contenders alternate, so that a busy moment falls on all.
        std::vector<std::string> order{"dialog", "enumerator", "readdir", "readdir-sorted"};
        if (r % 2) std::reverse(order.begin(), order.end());
        for (const auto& what : order) {
            const auto v = RunChild(what, dir);
            if (what == "dialog") {
                figures["first paint"].push_back(v.at(0));
                figures["complete list painted"].push_back(v.at(1));
                figures["longest event wait"].push_back(v.at(2));
                if (static_cast<long>(v.at(3)) != listed) shortList = true;
            } else if (what == "enumerator") {
                figures["enumerator alone"].push_back(v.at(0));
                if (static_cast<long>(v.at(1)) != listed) shortList = true;
            } else {
                figures[what].push_back(v.at(0));
            }
            std::cerr << "  round " << r + 1 << " " << what << ": " << v.at(0) << " ms" << std::endl;
        }
    }
    std::printf("\ndialog on a folder of %ld entries (%ld listed), %d rounds\n", n, listed, rounds);
    std::printf("%-28s %10s %10s  %s\n", "figure", "min ms", "median ms", "goal");
    const std::pair<const char*, const char*> rows[] = {
        {"first paint", "< 100"},           {"complete list painted", ""}, {"longest event wait", "< 50"},
        {"enumerator alone", "(before: the window waited this long)"}, {"readdir", "(bare loop)"},
        {"readdir-sorted", "(the same, names in listing order)"}};
    for (const auto& [name, goal] : rows)
        std::printf("%-28s %10.1f %10.1f  %s\n", name, Min(figures[name]), Median(figures[name]), goal);
    double load[3] = {};
    if (::getloadavg(load, 3) == 3) std::printf("load average: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    if (!keep) fs::remove_all(work);
    else std::cerr << "data kept in " << work << "\n";
    if (shortList) {
        std::cerr << "bench_dialog: a listing came back short\n";
        return 1;
    }
    return 0;
}
