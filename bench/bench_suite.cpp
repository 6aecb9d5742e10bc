// Every listing and layer-building path of the library against a plain
// baseline measured in the same run, with the peak memory of each.
//
//   bench_suite [--smoke] [--rounds N] [--only CASE[,CASE...]] [--keep]
//
// CASE: process, folder, root, cad, postgis, layers, dialog. The postgis
// case needs a server: run through scripts/with-pg.sh (scripts/bench.sh does).
//
// Each measurement runs in a fresh child process (this program started again
// with --child), so that no cache of one measurement helps another, and the
// child's peak resident set (ru_maxrss from wait4) is its peak memory. Every
// child loads GDAL and registers its drivers before it starts the clock, the
// baselines included, so the figures differ only by what is measured; the
// "process" row shows what such an idle child holds. Times are the best of
// the rounds (the machine is shared); ours and the baseline alternate.
//
// Generated data lives in a temporary folder removed at the end (--keep
// leaves it). --smoke runs the smallest size of each case once and fails when
// a listing comes back short: a quick check that the benchmarks still work.
#include <dirent.h>
#include <fcntl.h>
#include <mntent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
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

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "platform/headless/HeadlessUi.h"
#include "bench/PostgisFixture.h"
#include "browser/frmOpenDialog.h"
#include "catalogue/basOpenDialogs.h"
#include "connections/DatabaseListings.h"
#include "interface/COpenLayerDlg.h"
#include "catalogue/CLayerObj.h"
#include "platform/gdal/GdalGis.h"
#include "platform/platform.h"
#include "platform/posix/PosixSystem.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace marbrook;
using headless::HeadlessUi;
using bench::FixtureSql;
using bench::kBenchDatabase;

namespace {

// ---- Small helpers -------------------------------------------------------------

[[noreturn]] void Die(const std::string& what) {
    std::cerr << "bench_suite: " << what << "\n";
    std::exit(1);
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

double SecondsOf(const std::function<void()>& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool EndsWithCi(const std::string& s, const char* ext) {
    const std::size_t n = std::strlen(ext);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(s[s.size() - n + i])) != std::toupper(static_cast<unsigned char>(ext[i])))
            return false;
    return true;
}

// The real back ends (GDAL, POSIX) with a user interface that shows nothing;
// its modal show stands for the user looking at the filled dialog.
struct RealPlatform {
    RealPlatform() : gis(gdal::NewGdalGis()), platform{*gis, ui, system} {
        gdal::InitGdal();
        ui.onModalShow = [](ui::Form&) {};
    }
    std::unique_ptr<gis::GisService> gis;
    HeadlessUi ui;
    posix::PosixSystem system;
    Platform platform;
};

// ---- Generated data --------------------------------------------------------------

// Template files, written with GDAL once per run and then copied.
void WriteShapefile(const std::string& path, OGRwkbGeometryType type) {
    GDALDriver* drv = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    if (!drv) Die("no shapefile driver");
    GDALDataset* ds = drv->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    if (!ds) Die("cannot write " + path);
    OGRSpatialReference srs;
    srs.importFromEPSG(4326);
    OGRLayer* layer = ds->CreateLayer(fs::path(path).stem().c_str(), &srs, type, nullptr);
    OGRFieldDefn field("id", OFTInteger);
    layer->CreateField(&field);
    for (int i = 0; i < 3; ++i) {
        OGRFeature f(layer->GetLayerDefn());
        f.SetField("id", i);
        if (type == wkbPoint) {
            OGRPoint g(i, i);
            f.SetGeometry(&g);
        } else if (type == wkbLineString) {
            OGRLineString g;
            g.addPoint(i, 0);
            g.addPoint(i + 1, 1);
            f.SetGeometry(&g);
        } else {
            OGRLinearRing ring;
            ring.addPoint(i, 0);
            ring.addPoint(i + 1, 0);
            ring.addPoint(i + 1, 1);
            ring.addPoint(i, 0);
            OGRPolygon g;
            g.addRing(&ring);
            f.SetGeometry(&g);
        }
        if (layer->CreateFeature(&f) != OGRERR_NONE) Die("cannot write a feature to " + path);
    }
    GDALClose(ds);
}

void WriteGeoTiff(const std::string& path) {
    GDALDriver* drv = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!drv) Die("no GeoTIFF driver");
    GDALDataset* ds = drv->Create(path.c_str(), 8, 8, 1, GDT_Byte, nullptr);
    if (!ds) Die("cannot write " + path);
    double gt[6] = {0, 1, 0, 8, 0, -1};
    ds->SetGeoTransform(gt);
    OGRSpatialReference srs;
    srs.importFromEPSG(4326);
    ds->SetSpatialRef(&srs);
    GDALClose(ds);
}

// A drawing of `entities` entities: points, lines, polylines, texts and a
// few 3D faces, as a drafting program would leave them on a few layers.
void WriteDrawing(const std::string& path, long entities) {
    std::ofstream out(path);
    if (!out) Die("cannot write " + path);
    out << "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
    for (long i = 0; i < entities; ++i) {
        const double x = static_cast<double>(i % 1000);
        const double y = static_cast<double>(i / 1000);
        const char* layer = i % 7 == 0 ? "ROADS" : i % 5 == 0 ? "TEXT" : "0";
        switch (i % 10) {
        case 0: case 1: case 2:
            out << "0\nPOINT\n8\n" << layer << "\n10\n" << x << "\n20\n" << y << "\n30\n0.0\n";
            break;
        case 3: case 4: case 5:
            out << "0\nLINE\n8\n" << layer << "\n10\n" << x << "\n20\n" << y << "\n30\n0.0\n11\n" << x + 1 << "\n21\n"
                << y + 1 << "\n31\n0.0\n";
            break;
        case 6: case 7:
            out << "0\nPOLYLINE\n8\n" << layer << "\n66\n1\n70\n0\n";
            for (int v = 0; v < 4; ++v)
                out << "0\nVERTEX\n8\n" << layer << "\n10\n" << x + v * 0.25 << "\n20\n" << y + (v % 2) * 0.5 << "\n30\n0.0\n";
            out << "0\nSEQEND\n8\n" << layer << "\n";
            break;
        case 8:
            out << "0\nTEXT\n8\nTEXT\n10\n" << x << "\n20\n" << y << "\n30\n0.0\n40\n1.0\n1\nT" << i << "\n";
            break;
        default:
            out << "0\n3DFACE\n8\n" << layer << "\n10\n" << x << "\n20\n" << y << "\n30\n0.0\n11\n" << x + 1 << "\n21\n" << y
                << "\n31\n0.0\n12\n" << x + 1 << "\n22\n" << y + 1 << "\n32\n1.0\n13\n" << x << "\n23\n" << y + 1
                << "\n33\n1.0\n";
            break;
        }
    }
    out << "0\nENDSEC\n0\nEOF\n";
}

const char* const kShapeKinds[] = {"point", "line", "polygon"};

void MakeTemplates(const std::string& t) {
    fs::create_directories(t);
    WriteShapefile(t + "/point.shp", wkbPoint);
    WriteShapefile(t + "/line.shp", wkbLineString);
    WriteShapefile(t + "/polygon.shp", wkbPolygon);
    WriteGeoTiff(t + "/r.tif");
    WriteDrawing(t + "/d.dxf", 20);
}

void CopyAs(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec)) Die("cannot copy to " + to + ": " + ec.message());
}

void CopyShapefile(const std::string& t, int kind, const std::string& base) {
    for (const char* ext : {".shp", ".shx", ".dbf", ".prj"})
        CopyAs(t + "/" + kShapeKinds[kind] + ext, base + ext);
}

// A folder of about `n` entries as a project folder holds them: shapefiles
// (.shp .shx .dbf .prj; 10 % of the entries are shapefile sets), GeoTIFFs
// (2 %), a few drawings, two subfolders and other files for the rest.
// Returns the number of datasets a listing shows besides the files.
struct FolderMix {
    long shapefiles = 0, tiffs = 0, drawings = 0, others = 0, folders = 2;
    [[nodiscard]] long Entries() const { return shapefiles * 4 + tiffs + drawings + others + folders; }
};

FolderMix MixFor(long n) {
    FolderMix m;
    m.shapefiles = n / 10;
    m.tiffs = n / 50;
    m.drawings = std::max<long>(2, n / 2000);
    m.others = n - m.Entries();
    return m;
}

void MakeFolder(const std::string& dir, const std::string& t, const FolderMix& m) {
    fs::create_directories(dir + "/sub1");
    fs::create_directories(dir + "/sub2");
    for (long i = 0; i < m.shapefiles; ++i) CopyShapefile(t, static_cast<int>(i % 3), dir + "/s" + std::to_string(i));
    for (long i = 0; i < m.tiffs; ++i) CopyAs(t + "/r.tif", dir + "/r" + std::to_string(i) + ".tif");
    for (long i = 0; i < m.drawings; ++i) CopyAs(t + "/d.dxf", dir + "/d" + std::to_string(i) + ".dxf");
    static const char* const kOther[] = {".txt", ".pdf", ".xlsx", ".docx", ".csv", ".html", ".zip", ".xml"};
    for (long i = 0; i < m.others; ++i) {
        std::ofstream f(dir + "/o" + std::to_string(i) + kOther[i % 8]);
        f << "x";
    }
}

// ---- PostGIS ---------------------------------------------------------------------------


std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}


std::string PgConnectionString() {
    return "PG:host=" + Env("MARBROOK_PG_HOST") + " port=" + Env("MARBROOK_PG_PORT") + " dbname=" + kBenchDatabase +
           " user=" + Env("MARBROOK_PG_USER");
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
    RealPlatform rp;
    auto props = rp.platform.gis.CreatePropertySet();
    props->SetProperty("SERVER", Env("MARBROOK_PG_HOST"));
    props->SetProperty("USER", Env("MARBROOK_PG_USER"));
    props->SetProperty("INSTANCE", Env("MARBROOK_PG_PORT"));
    props->SetProperty("DATABASE", kBenchDatabase);
    props->SetProperty("PASSWORD", Env("MARBROOK_PG_PASSWORD"));
    fs::remove(sdeFolder + "/bench.sde");
    return rp.platform.gis.CreateWorkspaceFactory(gis::FactoryKind::SpatialDatabase)
        ->CreateConnectionFile(sdeFolder, "bench.sde", *props, 0) != nullptr;
}

// ---- What a child measures ----------------------------------------------------------

struct Measured {
    double seconds = 0;
    long count = 0;
};

// The floor of the folder listing: read the folder and the 100-byte header
// of every .shp, as the shape kinds are known from it.
Measured HeaderReadLoop(const std::string& dir) {
    Measured m;
    m.seconds = SecondsOf([&] {
        DIR* d = ::opendir(dir.c_str());
        if (!d) Die("cannot list " + dir);
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            ++m.count;
            if (!EndsWithCi(name, ".shp")) continue;
            char header[100];
            const int fd = ::open((dir + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            if (::read(fd, header, sizeof header) != static_cast<ssize_t>(sizeof header)) --m.count;
            ::close(fd);
        }
        ::closedir(d);
    });
    return m;
}

constexpr int kRootCalls = 2000;

Measured RootOurs() {
    RealPlatform rp;
    DataItems items;
    Measured m;
    m.count = GetLocalDrives4Datalist(rp.platform, items); // warm
    m.seconds = SecondsOf([&] {
                    for (int i = 0; i < kRootCalls; ++i) m.count = GetLocalDrives4Datalist(rp.platform, items);
                }) / kRootCalls;
    return m;
}

// The floor of the root listing: the mount table read with getmntent,
// keeping the mount points of block devices.
Measured RootBaseline() {
    gdal::InitGdal();
    Measured m;
    std::vector<std::string> roots;
    const auto once = [&] {
        roots.clear();
        FILE* f = ::setmntent("/proc/self/mounts", "r");
        if (!f) Die("cannot read the mount table");
        mntent entry{};
        char buf[4096];
        while (::getmntent_r(f, &entry, buf, sizeof buf))
            if (std::strncmp(entry.mnt_fsname, "/dev/", 5) == 0 || std::strcmp(entry.mnt_dir, "/") == 0)
                roots.emplace_back(entry.mnt_dir);
        ::endmntent(f);
    };
    once();
    m.seconds = SecondsOf([&] {
                    for (int i = 0; i < kRootCalls; ++i) once();
                }) / kRootCalls;
    m.count = static_cast<long>(roots.size());
    return m;
}

Measured CadOurs(const std::string& drawing) {
    RealPlatform rp;
    DataItems items;
    Measured m;
    m.seconds = SecondsOf([&] { m.count = GetCadFiles(rp.platform, drawing, items, 0); });
    return m;
}

Measured CadBaseline(const std::string& drawing) {
    gdal::InitGdal();
    Measured m;
    m.seconds = SecondsOf([&] {
        const char* const drivers[] = {"DXF", nullptr};
        GDALDataset* ds = GDALDataset::Open(drawing.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers);
        if (!ds) Die("GDAL cannot open " + drawing);
        for (int i = 0; i < ds->GetLayerCount(); ++i) m.count += static_cast<long>(ds->GetLayer(i)->GetFeatureCount(TRUE));
        GDALClose(ds);
    });
    return m;
}

Measured PostgisOurs(const std::string& sde) {
    RealPlatform rp;
    DataItems items;
    Measured m;
    m.seconds = SecondsOf([&] { m.count = OpenSdeConnectionEx(rp.platform, sde, items, 0); });
    return m;
}

// The floor of the database listing: one GDAL connection and the two
// catalogue queries every listing of it needs (all tables, spatial columns).
Measured PostgisBaseline() {
    gdal::InitGdal();
    ::setenv("PGPASSWORD", Env("MARBROOK_PG_PASSWORD").c_str(), 1);
    Measured m;
    m.seconds = SecondsOf([&] {
        const char* const drivers[] = {"PostgreSQL", nullptr};
        const char* const options[] = {"LIST_ALL_TABLES=NO", nullptr};
        GDALDataset* ds =
            GDALDataset::Open(PgConnectionString().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, options);
        if (!ds) Die("GDAL cannot connect to the bench database");
        for (const char* sql :
             {"SELECT table_schema, table_name, table_type FROM information_schema.tables WHERE table_schema NOT IN "
              "('pg_catalog', 'information_schema')",
              "SELECT f_table_schema, f_table_name, f_geometry_column, type, srid FROM geometry_columns"}) {
            OGRLayer* rows = ds->ExecuteSQL(sql, nullptr, nullptr);
            if (!rows) Die(std::string("query fails: ") + sql);
            while (OGRFeature* f = rows->GetNextFeature()) {
                ++m.count;
                OGRFeature::DestroyFeature(f);
            }
            ds->ReleaseResultSet(rows);
        }
        GDALClose(ds);
    });
    return m;
}

Measured LayersOurs(const std::string& dir) {
    RealPlatform rp;
    Platform& p = rp.platform;
    auto factory = p.gis.CreateWorkspaceFactory(gis::FactoryKind::Shapefile);
    const auto names = factory->OpenWorkspaceFromFile(dir, gis::kNoWindow)->ListDatasetNames(gis::kind::kFeatureClass);
    Collection items;
    for (const auto& name : names) {
        auto item = std::make_shared<CLayerObj>();
        item->pDataSetObj(name);
        item->DataType(ltFeatureClass);
        items.Add(item);
    }
    Measured m;
    bool built = false;
    m.seconds = SecondsOf([&] { built = AddLayersBySort(p, items); });
    m.count = built ? items.Count() : 0;
    return m;
}

// The floor of building layers: GDAL opens every shapefile and reads its
// geometry kind; the datasets stay open, as the layers keep theirs.
Measured LayersBaseline(const std::string& dir) {
    gdal::InitGdal();
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (EndsWithCi(e.path().filename().string(), ".shp")) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    std::vector<GDALDataset*> open;
    Measured m;
    m.seconds = SecondsOf([&] {
        const char* const drivers[] = {"ESRI Shapefile", nullptr};
        for (const auto& file : files) {
            GDALDataset* ds = GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers);
            if (!ds) Die("GDAL cannot open " + file);
            if (ds->GetLayerCount() > 0 && ds->GetLayer(0)->GetGeomType() != wkbUnknown) ++m.count;
            open.push_back(ds);
        }
    });
    for (GDALDataset* ds : open) GDALClose(ds);
    return m;
}

// From the host's call to the moment the dialog shows its filled list. The
// dialog opens at the remembered folder, as it does for a returning user.
Measured DialogOurs(const std::string& dir) {
    RealPlatform rp;
    rp.platform.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", dir);
    COpenLayerDlg dlg(rp.platform);
    Measured m;
    Clock::time_point shown{};
    rp.ui.onModalShow = [&](ui::Form& form) {
        shown = Clock::now();
        if (auto* f = dynamic_cast<frmOpenDialog*>(&form)) m.count = f->LVDataList.Count();
    };
    Collection chosen;
    const auto start = Clock::now();
    if (dlg.DoModalOpen(0, chosen)) Die("the dialog was confirmed, not cancelled");
    if (shown == Clock::time_point{}) Die("the dialog was never shown");
    m.seconds = std::chrono::duration<double>(shown - start).count();
    return m;
}

Measured FolderOurs(const std::string& dir) {
    RealPlatform rp;
    DataItems items;
    Measured m;
    std::string folder = dir;
    m.seconds = SecondsOf([&] { m.count = GetSubFolderFiles(rp.platform, folder, items, 0); });
    return m;
}

Measured ProcessIdle() {
    RealPlatform rp;
    return {};
}

int ChildMain(const std::string& what, const std::string& arg) {
    Measured m;
    if (what == "process") m = ProcessIdle();
    else if (what == "folder-ours") m = FolderOurs(arg);
    else if (what == "folder-base") { gdal::InitGdal(); m = HeaderReadLoop(arg); }
    else if (what == "root-ours") m = RootOurs();
    else if (what == "root-base") m = RootBaseline();
    else if (what == "cad-ours") m = CadOurs(arg);
    else if (what == "cad-base") m = CadBaseline(arg);
    else if (what == "postgis-ours") m = PostgisOurs(arg);
    else if (what == "postgis-base") m = PostgisBaseline();
    else if (what == "layers-ours") m = LayersOurs(arg);
    else if (what == "layers-base") m = LayersBaseline(arg);
    else if (what == "dialog-ours") m = DialogOurs(arg);
    else if (what == "dialog-base") m = FolderOurs(arg);
    else if (what == "templates") { gdal::InitGdal(); MakeTemplates(arg); }
    else if (what == "drawing") { gdal::InitGdal(); WriteDrawing(arg, std::atol(Env("MARBROOK_BENCH_ENTITIES").c_str())); }
    else if (what == "postgis-prepare") { if (!PreparePostgis(arg)) return 3; }
    else Die("unknown child " + what);
    std::printf("RESULT %.9f %ld\n", m.seconds, m.count);
    return 0;
}

// ---- The parent: runs the children and prints the table ----------------------------

struct ChildRun {
    double seconds = 0; // measured inside the child, or around it for a program
    long count = 0;
    long peakKiB = 0;
    bool ok = false;
};

std::string gSelf;

// Runs argv with stdout captured; the RESULT line (when `inProcess`) gives
// the time, else the wall time of the whole program is taken.
ChildRun Spawn(const std::vector<std::string>& argv, bool inProcess) {
    ChildRun r;
    int fds[2];
    if (::pipe(fds) != 0) Die("pipe");
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) Die("fork");
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        if (!inProcess) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::_Exit(127);
    }
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    r.peakKiB = usage.ru_maxrss;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!inProcess) {
        r.seconds = wall;
        return r;
    }
    const auto at = out.find("RESULT ");
    if (at == std::string::npos) {
        r.ok = false;
        return r;
    }
    std::istringstream(out.substr(at + 7)) >> r.seconds >> r.count;
    return r;
}

ChildRun Child(const std::string& what, const std::string& arg) { return Spawn({gSelf, "--child", what, arg}, true); }

struct Row {
    std::string name;
    long n = 0;
    ChildRun ours, base;
    std::string note;
};

struct Options {
    bool smoke = false;
    bool keep = false;
    int rounds = 3;
    std::vector<std::string> only;
    [[nodiscard]] bool Wants(const std::string& c) const {
        return only.empty() || std::find(only.begin(), only.end(), c) != only.end();
    }
};

// A folder changed in the last seconds is read afresh at every look (its
// times cannot yet tell a later change), which a user's folder, changed
// long before it is browsed, is not: the data settles before it is timed.
// A smoke run times nothing worth the wait.
Clock::time_point gLastGenerated{};
bool gNoSettling = false;
void Generated() { gLastGenerated = Clock::now(); }
void Settle() {
    if (gNoSettling) return;
    const auto ready = gLastGenerated + std::chrono::milliseconds(3500);
    if (Clock::now() < ready) std::this_thread::sleep_until(ready);
}

// Best time and highest peak over the rounds, ours and the baseline
// alternating so that a busy moment of the machine falls on both.
Row Compare(const std::string& name, long n, const Options& o, const std::function<ChildRun()>& ours,
            const std::function<ChildRun()>& base) {
    Settle();
    Row row{name, n, {}, {}, {}};
    row.ours.seconds = row.base.seconds = 1e100;
    row.ours.ok = row.base.ok = true;
    const auto fold = [](ChildRun& into, const ChildRun& r) {
        into.ok = into.ok && r.ok;
        into.seconds = std::min(into.seconds, r.seconds);
        into.peakKiB = std::max(into.peakKiB, r.peakKiB);
        into.count = r.count;
    };
    // Short cases are what a busy moment spoils most: they get three times
    // the rounds, which cost little.
    int rounds = o.rounds;
    for (int i = 0; i < rounds; ++i) {
        if (i % 2 == 0) {
            fold(row.ours, ours());
            fold(row.base, base());
        } else {
            fold(row.base, base());
            fold(row.ours, ours());
        }
        if (i + 1 == o.rounds && !o.smoke && row.ours.seconds < 0.05 && row.base.seconds < 0.05) rounds = 3 * o.rounds;
    }
    std::cerr << "  " << name << " n=" << n << ": ours " << row.ours.seconds * 1e3 << " ms, baseline "
              << row.base.seconds * 1e3 << " ms" << std::endl;
    return row;
}

std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string Ms(double seconds) {
    const double ms = seconds * 1e3;
    return Fixed(ms, ms < 1 ? 4 : ms < 100 ? 2 : 0);
}

std::string MiB(long kib) { return Fixed(static_cast<double>(kib) / 1024.0, 1); }

long OwnPeakKiB() {
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    return self.ru_maxrss;
}

void PrintTable(const std::vector<Row>& rows) {
    std::printf("\n%-28s %8s %12s %12s %9s %10s %10s  %s\n", "case", "n", "ours ms", "baseline ms", "ratio",
                "ours MiB", "base MiB", "note");
    for (const Row& r : rows) {
        const bool hasBase = r.base.seconds < 1e99;
        std::printf("%-28s %8ld %12s %12s %9s %10s %10s  %s\n", r.name.c_str(), r.n, Ms(r.ours.seconds).c_str(),
                    hasBase ? Ms(r.base.seconds).c_str() : "-",
                    hasBase && r.base.seconds > 0 ? Fixed(r.ours.seconds / r.base.seconds, 2).c_str() : "-",
                    MiB(r.ours.peakKiB).c_str(), hasBase ? MiB(r.base.peakKiB).c_str() : "-", r.note.c_str());
    }
}

int ParentMain(const Options& o) {
    gNoSettling = o.smoke;
    std::string work = Env("MARBROOK_BENCH_DIR");
    if (work.empty()) work = (fs::temp_directory_path() / "marbrook-bench-XXXXXX").string();
    else work += "/marbrook-bench-XXXXXX";
    if (::mkdtemp(work.data()) == nullptr) Die("cannot make a temporary folder");
    // The children keep their error log and settings here.
    ::setenv("MARBROOK_HOME", (work + "/home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    fs::create_directories(work + "/home");
    fs::create_directories(work + "/config");
    const std::string t = work + "/templates";
    if (!Child("templates", t).ok) Die("cannot write the template files");

    std::vector<Row> rows;
    bool shortListing = false;
    const auto expect = [&](Row& row, long ours, long base) {
        if (!row.ours.ok || !row.base.ok) {
            row.note += " FAILED";
            shortListing = true;
        }
        if (ours >= 0 && row.ours.count != ours) {
            row.note += " ours listed " + std::to_string(row.ours.count) + ", expected " + std::to_string(ours);
            shortListing = true;
        }
        if (base >= 0 && row.base.count != base) {
            row.note += " baseline counted " + std::to_string(row.base.count) + ", expected " + std::to_string(base);
            shortListing = true;
        }
    };

    if (o.Wants("process")) {
        Row row{"process (GDAL loaded)", 0, {}, {}, "idle child: the floor of every peak"};
        row.ours.seconds = 0;
        row.base.seconds = 1e100;
        for (int i = 0; i < (o.smoke ? 1 : 2); ++i) row.ours.peakKiB = std::max(row.ours.peakKiB, Child("process", "").peakKiB);
        rows.push_back(row);
    }

    // ---- 1. folders ----
    const std::vector<long> sizes = o.smoke ? std::vector<long>{1000} : std::vector<long>{1000, 10000, 100000};
    std::map<long, std::string> folders;
    const auto folderOf = [&](long n) {
        auto& dir = folders[n];
        if (dir.empty()) {
            dir = work + "/f" + std::to_string(n);
            std::cerr << "generating a folder of " << n << " entries ..." << std::endl;
            MakeFolder(dir, t, MixFor(n));
            Generated();
        }
        return dir;
    };
    std::vector<Row> folderRows;
    if (o.Wants("folder")) {
        for (long n : sizes) {
            const std::string dir = folderOf(n);
            const FolderMix mix = MixFor(n);
            Row row = Compare("folder listing", n, o, [&] { return Child("folder-ours", dir); },
                              [&] { return Child("folder-base", dir); });
            // Drawings and subfolders, then one dataset per shapefile and GeoTIFF.
            expect(row, mix.drawings + mix.folders + mix.shapefiles + mix.tiffs, mix.Entries());
            rows.push_back(row);
            folderRows.push_back(row);
        }
    }

    // ---- 2. root ----
    if (o.Wants("root")) {
        Row row = Compare("root listing (per call)", 0, o, [&] { return Child("root-ours", ""); },
                          [&] { return Child("root-base", ""); });
        row.n = row.ours.count;
        expect(row, -1, -1);
        if (row.ours.count < 1) {
            row.note += " no drive listed";
            shortListing = true;
        }
        rows.push_back(row);
    }

    // ---- 3. CAD drawing ----
    if (o.Wants("cad")) {
        const long entities = o.smoke ? 1000 : 100000;
        const std::string dir = work + "/cad";
        fs::create_directories(dir);
        const std::string drawing = dir + "/big.dxf";
        ::setenv("MARBROOK_BENCH_ENTITIES", std::to_string(entities).c_str(), 1);
        if (!Child("drawing", drawing).ok) Die("cannot write the drawing");
        Generated();
        Row row = Compare("CAD drawing classes", entities, o, [&] { return Child("cad-ours", drawing); },
                          [&] { return Child("cad-base", drawing); });
        // Annotation, Point, Polyline, Polygon (the multipatch class is not
        // offered); GDAL counts every entity.
        expect(row, 4, entities);
        rows.push_back(row);
    }

    // ---- 4. PostGIS ----
    if (o.Wants("postgis") && !o.smoke) {
        const std::string sdeFolder = work + "/sde";
        if (Child("postgis-prepare", sdeFolder).ok) {
            const std::string sde = sdeFolder + "/bench.sde";
            Row row = Compare("PostGIS connection listing", 2000, o, [&] { return Child("postgis-ours", sde); },
                              [&] { return Child("postgis-base", sde); });
            row.note = "baseline: GDAL connect + 2 catalogue queries";
            expect(row, -1, -1);
            rows.push_back(row);
            std::string cli = Env("MARBROOK_CLI");
            if (cli.empty()) cli = (fs::path(gSelf).parent_path().parent_path() / "apps" / "marbrook").string();
            if (fs::exists(cli)) {
                ::setenv("PGPASSWORD", Env("MARBROOK_PG_PASSWORD").c_str(), 1);
                Row prog = Compare("PostGIS listing, programs", 2000, o,
                                   [&] { return Spawn({cli, "list", sde}, false); },
                                   [&] {
                                       return Spawn({"ogrinfo", "-ro", "-so", "-oo", "LIST_ALL_TABLES=YES",
                                                     PgConnectionString()},
                                                    false);
                                   });
                prog.note = "whole processes: marbrook list vs ogrinfo -ro -so";
                expect(prog, -1, -1);
                rows.push_back(prog);
            }
        } else {
            rows.push_back(Row{"PostGIS connection listing", 2000, {}, {}, "skipped: no server (run through scripts/with-pg.sh)"});
            rows.back().base.seconds = 1e100;
        }
    }

    // ---- 5. layers ----
    if (o.Wants("layers")) {
        const long n = o.smoke ? 100 : 1000;
        const std::string dir = work + "/layers";
        fs::create_directories(dir);
        for (long i = 0; i < n; ++i) CopyShapefile(t, static_cast<int>(i % 3), dir + "/l" + std::to_string(i));
        Generated();
        Row row = Compare("AddLayersBySort", n, o, [&] { return Child("layers-ours", dir); },
                          [&] { return Child("layers-base", dir); });
        expect(row, n, n);
        rows.push_back(row);
    }

    // ---- 6. the dialog ----
    if (o.Wants("dialog")) {
        const long n = o.smoke ? 1000 : 10000;
        const std::string dir = folderOf(n);
        const FolderMix mix = MixFor(n);
        Row row = Compare("DoModalOpen to filled list", n, o, [&] { return Child("dialog-ours", dir); },
                          [&] { return Child("dialog-base", dir); });
        const long listed = mix.drawings + mix.folders + mix.shapefiles + mix.tiffs;
        expect(row, listed, listed);
        row.note += " baseline: the folder listing alone";
        rows.push_back(row);
    }

    // Anything the library logged while measuring.
    const std::string log = work + "/home/libmarbrook.err";
    std::error_code ec;
    const auto logSize = fs::file_size(log, ec);
    const bool logged = !ec && logSize > 0;

    PrintTable(rows);
    std::fflush(stdout);
    if (folderRows.size() > 1) {
        std::printf("\nfolder listing, cost per entry (us): n, ours, baseline, ours growth vs previous n\n");
        double previous = 0;
        for (const Row& r : folderRows) {
            const double per = r.ours.seconds / static_cast<double>(r.n) * 1e6;
            std::printf("  %7ld %9.3f %9.3f %9s\n", r.n, per, r.base.seconds / static_cast<double>(r.n) * 1e6,
                        previous > 0 ? (Fixed(per / previous, 2) + "x").c_str() : "-");
            previous = per;
        }
    }
    // A child starts as a copy of this process: its peak counts only when
    // this one stays below every child's.
    std::printf("\nthis process's own peak: %s MiB\n", MiB(OwnPeakKiB()).c_str());
    double load[3] = {};
    if (::getloadavg(load, 3) == 3) std::printf("\nload average at the end: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    if (logged) {
        std::printf("the library logged failures while measuring (%s):\n", log.c_str());
        std::ifstream in(log);
        std::cout << in.rdbuf() << std::endl;
    }
    std::fflush(stdout);
    if (!o.keep) fs::remove_all(work, ec);
    else std::printf("data kept in %s\n", work.c_str());
    return shortListing || logged ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    gSelf = fs::read_symlink("/proc/self/exe").string();
    if (argc >= 3 && std::string(argv[1]) == "--child") return ChildMain(argv[2], argc > 3 ? argv[3] : "");
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--smoke") {
            o.smoke = true;
            o.rounds = 1;
        } else if (a == "--keep") {
            o.keep = true;
        } else if (a == "--rounds" && i + 1 < argc) {
            o.rounds = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--only" && i + 1 < argc) {
            std::stringstream list(argv[++i]);
            for (std::string c; std::getline(list, c, ',');) o.only.push_back(c);
        } else {
            std::cerr << "usage: bench_suite [--smoke] [--rounds N] [--only CASE[,CASE...]] [--keep]\n"
                         "CASE: process, folder, root, cad, postgis, layers, dialog\n";
            return 2;
        }
    }
    return ParentMain(o);
}
