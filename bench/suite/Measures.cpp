#include "bench/suite/Measures.h"

#include <dirent.h>
#include <fcntl.h>
#include <mntent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <vector>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "bench/suite/Common.h"
#include "bench/suite/Data.h"
#include "bench/suite/Postgis.h"
#include "browser/frmOpenDialog.h"
#include "catalogue/CLayerObj.h"
#include "catalogue/basOpenDialogs.h"
#include "connections/DatabaseListings.h"
#include "interface/CLayerFunctionExport.h"
#include "interface/COpenLayerDlg.h"
#include "platform/gdal/GdalGis.h"
#include "platform/gdal/reader/ReaderClient.h"

namespace marbrook::bench {

namespace fs = std::filesystem;

RealPlatform::RealPlatform() : gis(gdal::NewGdalGis()), platform{*gis, ui, system} {
    gdal::InitGdal();
    ui.onModalShow = [](ui::Form&) {};
}

namespace {

struct Measured {
    double seconds = 0;
    long count = 0;
};

// A bare loop over the folder `dir`: its names, and one read of the first
// 100 bytes of every file whose name ends in one of `extensions` (any case).
// A file that gives fewer than `least` bytes is not counted.
Measured HeadReadLoop(const std::string& dir, std::initializer_list<const char*> extensions, ssize_t least) {
    Measured m;
    m.seconds = SecondsOf([&] {
        DIR* d = ::opendir(dir.c_str());
        if (!d) Die("cannot list " + dir);
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            ++m.count;
            if (std::none_of(extensions.begin(), extensions.end(), [&](const char* x) { return EndsWithCi(name, x); }))
                continue;
            char header[100];
            const int fd = ::open((dir + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            if (::read(fd, header, sizeof header) < least) --m.count;
            ::close(fd);
        }
        ::closedir(d);
    });
    return m;
}

// The floor of the folder listing: the folder and the 100-byte header of
// every .shp, as the shape kinds are known from it.
Measured HeaderReadLoop(const std::string& dir) { return HeadReadLoop(dir, {".shp"}, 100); }

// The floor of what the folder listing itself must read, on one thread:
// besides the shapefiles' headers, the first bytes of every .tif (one that
// is no TIFF is not listed) and every .csv (one that names no WKT column in
// its first line is not listed).
Measured ListingReadLoop(const std::string& dir) { return HeadReadLoop(dir, {".shp", ".tif", ".csv"}, 1); }

// The bare loop for today's data: also the first bytes of every file of a
// format that is told by its first bytes, as the least any listing of them
// must do.
Measured TodaysHeaderLoop(const std::string& dir) {
    return HeadReadLoop(dir, {".shp", ".tif", ".gpkg", ".geojson", ".nc", ".csv"}, 1);
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

// One listing of the library on the real platform, timed.
Measured ListingOurs(const std::function<long(Platform&, DataItems&)>& list) {
    RealPlatform rp;
    DataItems items;
    Measured m;
    m.seconds = SecondsOf([&] { m.count = list(rp.platform, items); });
    return m;
}

Measured CadOurs(const std::string& drawing) {
    return ListingOurs([&](Platform& p, DataItems& items) { return GetCadFiles(p, drawing, items, 0); });
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

// What the reader program costs. Each runs a call that reads a damage-prone
// file; with `here` the file is read in this process, as before the reader
// program existed.

Measured ReaderDatabase(const std::string& mdb, bool here) {
    RealPlatform rp;
    if (here) gdal::reader::ReadHere();
    DataItems items;
    Measured m;
    m.seconds = SecondsOf([&] { m.count = GetPGMdbFiles(rp.platform, mdb, items, 0); });
    return m;
}

// Opening the first feature class of a database (listed beforehand, not timed).
Measured ReaderClassOpened(const std::string& mdb, bool here) {
    RealPlatform rp;
    if (here) gdal::reader::ReadHere();
    DataItems items;
    GetPGMdbFiles(rp.platform, mdb, items, 0);
    const DataItem* first = nullptr;
    for (std::size_t i = 1; i < items.size() && !first; ++i)
        if (items[i].pDataSetObj && items[i].DataType >= dtPointFeatureClass && items[i].DataType <= dtPolygonFeatureClass)
            first = &items[i];
    if (!first) Die("no feature class listed in " + mdb);
    Measured m;
    m.seconds = SecondsOf([&] {
        m.count = static_cast<long>(gis::AsFeatureClass(rp.gis->OpenName(*first->pDataSetObj))->FeatureCount());
    });
    return m;
}

Measured ReaderDrawing(const std::string& drawing, bool here) {
    RealPlatform rp;
    if (here) gdal::reader::ReadHere();
    DataItems items;
    Measured m;
    m.seconds = SecondsOf([&] { m.count = GetCadFiles(rp.platform, drawing, items, 0); });
    return m;
}

Measured PostgisOurs(const std::string& sde) {
    return ListingOurs([&](Platform& p, DataItems& items) { return OpenSdeConnectionEx(p, sde, items, 0); });
}

Measured FeatureDatasetOurs(const std::string& sde) {
    return ListingOurs(
        [&](Platform& p, DataItems& items) { return OpenFeatureDatasetFromSDEEx(p, sde, kBigSchema, items, 0); });
}

// The floor of the database listing: one GDAL connection and the two
// catalogue queries every listing of it needs (all tables, spatial columns),
// for the whole database or for the one schema of a feature dataset, as the
// server's own user or as the ordinary reader.
Measured PostgisBaseline(const std::string& schema, bool reader = false) {
    gdal::InitGdal();
    ::setenv("PGPASSWORD", reader ? kBenchReaderPassword : Env("MARBROOK_PG_PASSWORD").c_str(), 1);
    Measured m;
    m.seconds = SecondsOf([&] {
        const char* const drivers[] = {"PostgreSQL", nullptr};
        const char* const options[] = {"LIST_ALL_TABLES=NO", nullptr};
        GDALDataset* ds =
            GDALDataset::Open(PgConnectionString(reader ? kBenchReader : "").c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY,
                              drivers, options);
        if (!ds) Die("GDAL cannot connect to the bench database");
        const std::string where = schema.empty() ? "table_schema NOT IN ('pg_catalog', 'information_schema')"
                                                 : "table_schema = '" + schema + "'";
        const std::string spatialWhere = schema.empty() ? "" : " WHERE f_table_schema = '" + schema + "'";
        for (const std::string& sql :
             {"SELECT table_schema, table_name, table_type FROM information_schema.tables WHERE " + where,
              "SELECT f_table_schema, f_table_name, f_geometry_column, type, srid FROM geometry_columns" + spatialWhere}) {
            OGRLayer* rows = ds->ExecuteSQL(sql.c_str(), nullptr, nullptr);
            if (!rows) Die("query fails: " + sql);
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

std::vector<gis::DatasetNamePtr> ShapefileNames(Platform& p, const std::string& dir) {
    auto factory = p.gis.CreateWorkspaceFactory(gis::FactoryKind::Shapefile);
    auto names = factory->OpenWorkspaceFromFile(dir, gis::kNoWindow)->ListDatasetNames(gis::kind::kFeatureClass);
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a->Name() < b->Name(); });
    return names;
}

// The chosen items of every shapefile of `dir`, made into layers.
Collection ChosenShapefiles(Platform& p, const std::string& dir) {
    Collection items;
    for (const auto& name : ShapefileNames(p, dir)) {
        auto item = std::make_shared<CLayerObj>();
        item->pDataSetObj(name);
        item->DataType(ltFeatureClass);
        items.Add(item);
    }
    return items;
}

Measured LayersOurs(const std::string& dir) {
    RealPlatform rp;
    Collection items = ChosenShapefiles(rp.platform, dir);
    Measured m;
    bool built = false;
    m.seconds = SecondsOf([&] { built = AddLayersBySort(rp.platform, items); });
    m.count = built ? items.Count() : 0;
    return m;
}

// Layers of the shapefiles of `from`, re-pointed one by one to the
// shapefiles of the same names in the folder beside it, "<from>-copy".
Measured RepointOurs(const std::string& from) {
    RealPlatform rp;
    Collection layers = ChosenShapefiles(rp.platform, from);
    if (!AddLayersBySort(rp.platform, layers)) Die("cannot build the layers of " + from);
    const auto targets = ShapefileNames(rp.platform, from + "-copy");
    if (static_cast<long>(targets.size()) != layers.Count()) Die("the copy of " + from + " differs");
    // Group order sorts the layers by kind; each finds its target by name.
    std::map<std::string, gis::DatasetNamePtr> byName;
    for (const auto& t : targets) byName[t->Name()] = t;
    CLayerFunctionExport api(rp.platform);
    Measured m;
    m.seconds = SecondsOf([&] {
        for (long i = 1; i <= layers.Count(); ++i) {
            const auto layer = layers.ItemAs<gis::Layer>(i);
            if (api.ResetLayerSource(layer, byName.at(layer->Name()))) ++m.count;
        }
    });
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
    return ListingOurs([&](Platform& p, DataItems& items) {
        std::string folder = dir;
        return GetSubFolderFiles(p, folder, items, 0);
    });
}

Measured ProcessIdle() {
    RealPlatform rp;
    return {};
}

} // namespace

int ChildMain(const std::string& what, const std::string& arg) {
    Measured m;
    if (what == "process") m = ProcessIdle();
    else if (what == "folder-ours") m = FolderOurs(arg);
    else if (what == "folder-base") { gdal::InitGdal(); m = HeaderReadLoop(arg); }
    else if (what == "folder-reads") { gdal::InitGdal(); m = ListingReadLoop(arg); }
    else if (what == "today-ours") m = FolderOurs(arg);
    else if (what == "today-base") { gdal::InitGdal(); m = TodaysHeaderLoop(arg); }
    else if (what == "root-ours") m = RootOurs();
    else if (what == "root-base") m = RootBaseline();
    else if (what == "cad-ours") m = CadOurs(arg);
    else if (what == "cad-base") m = CadBaseline(arg);
    else if (what == "reader-mdb") m = ReaderDatabase(arg, false);
    else if (what == "reader-mdb-here") m = ReaderDatabase(arg, true);
    else if (what == "reader-class") m = ReaderClassOpened(arg, false);
    else if (what == "reader-class-here") m = ReaderClassOpened(arg, true);
    else if (what == "reader-drawing") m = ReaderDrawing(arg, false);
    else if (what == "reader-drawing-here") m = ReaderDrawing(arg, true);
    else if (what == "postgis-ours") m = PostgisOurs(arg);
    else if (what == "postgis-base") m = PostgisBaseline("");
    else if (what == "postgis-reader-base") m = PostgisBaseline("", true);
    else if (what == "dataset-ours") m = FeatureDatasetOurs(arg);
    else if (what == "dataset-base") m = PostgisBaseline(kBigSchema);
    else if (what == "layers-ours") m = LayersOurs(arg);
    else if (what == "layers-base") m = LayersBaseline(arg);
    else if (what == "repoint-ours") m = RepointOurs(arg);
    else if (what == "repoint-base") m = LayersBaseline(arg + "-copy");
    else if (what == "dialog-ours") m = DialogOurs(arg);
    else if (what == "dialog-base") m = FolderOurs(arg);
    else if (what == "templates") { gdal::InitGdal(); MakeTemplates(arg); }
    else if (what == "folder-data") {
        // The folder case's data for another program to time (scripts/bench-compare.sh):
        // MARBROOK_BENCH_ENTRIES entries from the templates in MARBROOK_BENCH_TEMPLATES.
        const long n = std::atol(Env("MARBROOK_BENCH_ENTRIES").c_str());
        MakeFolder(arg, Env("MARBROOK_BENCH_TEMPLATES"), MixFor(n));
        m.count = MixFor(n).Listed();
    }
    else if (what == "drawing") { gdal::InitGdal(); WriteDrawing(arg, std::atol(Env("MARBROOK_BENCH_ENTITIES").c_str())); }
    else if (what == "postgis-prepare") { if (!PreparePostgis(arg)) return 3; }
    else Die("unknown child " + what);
    std::printf("RESULT %.9f %ld\n", m.seconds, m.count);
    return 0;
}

} // namespace marbrook::bench
