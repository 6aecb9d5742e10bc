#include "bench/suite/Cases.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "bench/suite/Data.h"
#include "bench/suite/Postgis.h"

namespace marbrook::bench {

namespace fs = std::filesystem;

void Suite::Expect(Row& row, long ours, long base) {
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
}

const std::string& Suite::FolderOf(long n) { return Folder("f" + std::to_string(n), "", MixFor(n)); }

const std::string& Suite::NamedOnlyFolderOf(long n) {
    return Folder("named" + std::to_string(n), " without .tif or .csv files", NamedOnlyMixFor(n));
}

const std::string& Suite::Folder(const std::string& name, const char* what, const FolderMix& mix) {
    auto& dir = folders_[name];
    if (dir.empty()) {
        dir = work + "/" + name;
        std::cerr << "generating a folder of " << mix.Entries() << " entries" << what << " ..." << std::endl;
        MakeFolder(dir, templates, mix);
        Generated();
    }
    return dir;
}

void ProcessCase(Suite& s) {
    Row row{"process (GDAL loaded)", 0, {}, {}, "idle child: the floor of every peak", {}, {}};
    row.ours.seconds = 0;
    row.base.seconds = 1e100;
    for (int i = 0; i < (s.o.smoke ? 1 : 2); ++i) row.ours.peakKiB = std::max(row.ours.peakKiB, Child("process", "").peakKiB);
    s.idleKiB = row.ours.peakKiB;
    s.rows.push_back(row);
}

namespace {

// The `marbrook` program the whole-program rows run; "" when there is none.
std::string Cli() {
    std::string cli = Env("MARBROOK_CLI");
    if (cli.empty()) cli = (fs::path(Self()).parent_path().parent_path() / "apps" / "marbrook").string();
    return fs::exists(cli) ? cli : std::string();
}

// Whether a program of this name is on the PATH.
bool OnPath(const std::string& program) {
    const std::string path = Env("PATH");
    std::size_t from = 0;
    while (from <= path.size()) {
        const std::size_t colon = std::min(path.find(':', from), path.size());
        if (colon > from && ::access((path.substr(from, colon - from) + "/" + program).c_str(), X_OK) == 0) return true;
        from = colon + 1;
    }
    return false;
}

void FolderInProcess(Suite& s, const std::string& dir, long n, const FolderMix& mix) {
    // The floor under the memory per entry, when the process case did not run.
    if (s.idleKiB == 0) s.idleKiB = Child("process", "").peakKiB;
    Row row = Compare("folder listing", n, s.o, [&] { return Child("folder-ours", dir); },
                      [&] { return Child("folder-base", dir); });
    s.Expect(row, mix.Listed(), mix.Entries());
    s.rows.push_back(row);
    s.folderRows.push_back(row);
    // Against the least the listing itself must read, on one thread: how far
    // the listing is from its own floor rather than the bare loop's.
    Row own = Compare("folder listing, own reads", n, s.o, [&] { return Child("folder-ours", dir); },
                      [&] { return Child("folder-reads", dir); });
    own.note = "baseline: readdir + first bytes of every .shp, .tif, .csv";
    s.Expect(own, mix.Listed(), mix.Entries());
    s.rows.push_back(own);
}

// A folder whose files the listing tells by their names, or reads as the
// bare loop does (each .shp's header): how far the listing is from the bare
// loop when both must read the same.
void FolderNamedOnly(Suite& s, long n) {
    const std::string& dir = s.NamedOnlyFolderOf(n);
    const FolderMix mix = NamedOnlyMixFor(n);
    Row row = Compare("folder listing, no .tif or .csv", n, s.o, [&] { return Child("folder-ours", dir); },
                      [&] { return Child("folder-base", dir); });
    row.note = "the listing reads what the bare loop reads";
    s.Expect(row, mix.Listed(), mix.Entries());
    s.rows.push_back(row);
}

// Whole programs, started and ended: what a user of the command line waits.
void FolderWholeProcess(Suite& s, const std::string& dir, long n, bool withOgrinfo) {
    const std::string cli = Cli();
    const auto bareLoop = [&] { return Spawn({Self(), "--child", "folder-base", dir}, false); };
    if (!cli.empty()) {
        Row row = Compare("folder listing, programs", n, s.o, [&] { return Spawn({cli, "list", dir}, false); }, bareLoop);
        row.note = "whole processes: marbrook list vs the bare loop's";
        s.Expect(row, -1, -1);
        s.rows.push_back(row);
    }
    if (withOgrinfo && OnPath("ogrinfo")) {
        Row row = Compare("folder, ogrinfo -q", n, s.o, [&] { return Spawn({"ogrinfo", "-ro", "-q", "-so", dir}, false); },
                          bareLoop);
        row.note = "whole processes: ogrinfo -ro -q -so vs the bare loop's";
        s.Expect(row, -1, -1);
        s.rows.push_back(row);
    }
}

} // namespace

void FolderCase(Suite& s) {
    const std::vector<long> sizes = s.o.smoke ? std::vector<long>{1000} : std::vector<long>{1000, 10000, 100000};
    for (long n : sizes) FolderInProcess(s, s.FolderOf(n), n, MixFor(n));
    FolderNamedOnly(s, sizes.front());
    for (long n : sizes) FolderWholeProcess(s, s.FolderOf(n), n, n == sizes.back() && !s.o.smoke);
}

void MillionCase(Suite& s) {
    constexpr long n = 1000000;
    const std::string base = Env("MARBROOK_BENCH_DIR");
    if (base.empty()) {
        s.rows.push_back(Row{"folder listing", n, {}, {}, "skipped: set MARBROOK_BENCH_DIR (about 4.5 GB, made once)", {}, {}});
        s.rows.back().base.seconds = 1e100;
        return;
    }
    // Made once and kept: writing a million files takes minutes. The mark
    // is written last, so a folder left half made is made again.
    const std::string dir = base + "/marbrook-bench-million";
    const std::string done = base + "/marbrook-bench-million.done";
    const FolderMix mix = MixFor(n);
    if (!fs::exists(done)) {
        std::error_code ec;
        fs::remove_all(dir, ec);
        std::cerr << "generating a folder of " << n << " entries in " << dir << " (kept for later runs) ..." << std::endl;
        MakeFolder(dir, s.templates, mix);
        std::ofstream(done) << "complete\n";
        Generated();
    }
    FolderInProcess(s, dir, n, mix);
}
void TodayCase(Suite& s) {
    const std::vector<long> sizes = s.o.smoke ? std::vector<long>{1000} : std::vector<long>{1000, 10000};
    for (long n : sizes) {
        const std::string dir = s.work + "/t" + std::to_string(n);
        if (!fs::exists(dir)) {
            std::cerr << "generating a folder of today's data of " << n << " entries ..." << std::endl;
            MakeTodaysFolder(dir, s.templates, TodaysMixFor(n));
            Generated();
        }
        const TodaysMix mix = TodaysMixFor(n);
        Row row = Compare("today's data listing", n, s.o, [&] { return Child("today-ours", dir); },
                          [&] { return Child("today-base", dir); });
        row.note += " GeoPackage, GeoJSON, netCDF, COG, shapefiles, documents";
        s.Expect(row, mix.Listed(), mix.Entries());
        s.rows.push_back(row);
    }
}

void RootCase(Suite& s) {
    Row row = Compare("root listing (per call)", 0, s.o, [&] { return Child("root-ours", ""); },
                      [&] { return Child("root-base", ""); });
    row.n = row.ours.count;
    s.Expect(row, -1, -1);
    if (row.ours.count < 1) {
        row.note += " no drive listed";
        s.shortListing = true;
    }
    s.rows.push_back(row);
}

void CadCase(Suite& s) {
    const long entities = s.o.smoke ? 1000 : 100000;
    const std::string dir = s.work + "/cad";
    fs::create_directories(dir);
    const std::string drawing = dir + "/big.dxf";
    ::setenv("MARBROOK_BENCH_ENTITIES", std::to_string(entities).c_str(), 1);
    if (!Child("drawing", drawing).ok) Die("cannot write the drawing");
    Generated();
    Row row = Compare("CAD drawing classes", entities, s.o, [&] { return Child("cad-ours", drawing); },
                      [&] { return Child("cad-base", drawing); });
    // Annotation, Point, Polyline, Polygon (the multipatch class is not
    // offered); GDAL counts every entity.
    s.Expect(row, 4, entities);
    s.rows.push_back(row);
}

void ReaderCase(Suite& s) {
    const std::string dir = s.work + "/reader";
    fs::create_directories(dir);
    const std::string drawing = dir + "/small.dxf";
    fs::copy_file(s.templates + "/d.dxf", drawing, fs::copy_options::overwrite_existing);
    // GDAL cannot write a personal geodatabase: the sample of the shared folder.
    const std::string sample = std::string(MARBROOK_SHARED_DIR) + "/testdata/pgeo/sample.mdb";
    const std::string mdb = dir + "/sample.mdb";
    const bool haveMdb = fs::exists(sample);
    if (haveMdb) fs::copy_file(sample, mdb, fs::copy_options::overwrite_existing);
    Generated();
    const auto compareHere = [&](const std::string& name, const std::string& job, const std::string& file, long expected) {
        Row row = Compare(name, 1, s.o, [&] { return Child(job, file); }, [&] { return Child(job + "-here", file); });
        row.note = "baseline: read in the same process";
        s.Expect(row, expected, expected);
        s.rows.push_back(row);
        s.readerRows.push_back(row);
    };
    if (haveMdb) {
        compareHere("reader: database listed", "reader-mdb", mdb, 3);
        compareHere("reader: database class opened", "reader-class", mdb, -1);
    } else {
        s.rows.push_back(Row{"reader: database listed", 1, {}, {}, "skipped: no " + sample, {}, {}});
        s.rows.back().base.seconds = 1e100;
    }
    compareHere("reader: drawing listed (20 entities)", "reader-drawing", drawing, 4);
}

void PostgisCase(Suite& s) {
    const std::string sdeFolder = s.work + "/sde";
    if (!Child("postgis-prepare", sdeFolder).ok) {
        s.rows.push_back(
            Row{"PostGIS connection listing", 2000, {}, {}, "skipped: no server (run through scripts/with-pg.sh)", {}, {}});
        s.rows.back().base.seconds = 1e100;
        return;
    }
    const std::string sde = sdeFolder + "/bench.sde";
    Row row = Compare("PostGIS connection listing", 2000, s.o, [&] { return Child("postgis-ours", sde); },
                      [&] { return Child("postgis-base", sde); });
    row.note = "baseline: GDAL connect + 2 catalogue queries";
    s.Expect(row, -1, -1);
    s.rows.push_back(row);
    Row dataset = Compare("PostGIS feature dataset", 500, s.o, [&] { return Child("dataset-ours", sde); },
                          [&] { return Child("dataset-base", sde); });
    dataset.note = "the 500 tables of one schema; baseline: its 2 catalogue queries";
    s.Expect(dataset, -1, -1);
    s.rows.push_back(dataset);
    // The same listing as a role that reads through granted privileges: the
    // server checks the privilege on each table. It sees every table the
    // server's own user sees.
    const std::string readerSde = sdeFolder + "/bench-reader.sde";
    Row reader = Compare("PostGIS reader listing", 2000, s.o, [&] { return Child("postgis-ours", readerSde); },
                         [&] { return Child("postgis-reader-base", readerSde); });
    reader.note = "granted SELECT, no ownership; baseline: GDAL connect + 2 catalogue queries as that role";
    s.Expect(reader, row.ours.count, -1);
    s.rows.push_back(reader);

    const std::string cli = Cli();
    if (cli.empty()) return;
    ::setenv("PGPASSWORD", Env("MARBROOK_PG_PASSWORD").c_str(), 1);
    Row prog = Compare("PostGIS listing, programs", 2000, s.o, [&] { return Spawn({cli, "list", sde}, false); },
                       [&] {
                           return Spawn({"ogrinfo", "-ro", "-q", "-so", "-oo", "LIST_ALL_TABLES=YES", PgConnectionString()},
                                        false);
                       });
    prog.note = "whole processes: marbrook list vs ogrinfo -ro -q -so";
    s.Expect(prog, -1, -1);
    s.rows.push_back(prog);
}

namespace {

// n copies of the template shapefiles in `dir`.
std::string ShapefileFolder(Suite& s, const std::string& dir, long n) {
    fs::create_directories(dir);
    for (long i = 0; i < n; ++i) CopyShapefile(s.templates, static_cast<int>(i % 3), dir + "/l" + std::to_string(i));
    Generated();
    return dir;
}

} // namespace

void LayersCase(Suite& s) {
    const long n = s.o.smoke ? 100 : 1000;
    const std::string dir = ShapefileFolder(s, s.work + "/layers", n);
    Row row = Compare("AddLayersBySort", n, s.o, [&] { return Child("layers-ours", dir); },
                      [&] { return Child("layers-base", dir); });
    s.Expect(row, n, n);
    s.rows.push_back(row);
}

void RepointCase(Suite& s) {
    const long n = s.o.smoke ? 100 : 1000;
    const std::string dir = ShapefileFolder(s, s.work + "/repoint", n);
    ShapefileFolder(s, dir + "-copy", n);
    Row row = Compare("ResetLayerSource, each layer", n, s.o, [&] { return Child("repoint-ours", dir); },
                      [&] { return Child("repoint-base", dir); });
    row.note = "baseline: GDAL opens each new source";
    s.Expect(row, n, n);
    s.rows.push_back(row);
}

void DialogCase(Suite& s) {
    const long n = s.o.smoke ? 1000 : 10000;
    const std::string dir = s.FolderOf(n);
    Row row = Compare("DoModalOpen to filled list", n, s.o, [&] { return Child("dialog-ours", dir); },
                      [&] { return Child("dialog-base", dir); });
    const long listed = MixFor(n).Listed();
    s.Expect(row, listed, listed);
    row.note += " baseline: the folder listing alone";
    s.rows.push_back(row);
}

} // namespace marbrook::bench

namespace marbrook::bench {

void PaintCase(Suite& s) {
    const long n = s.o.smoke ? 1000 : 10000;
    const std::string program = (fs::path(Self()).parent_path() / "bench_dialog").string();
    if (!fs::exists(program)) {
        s.rows.push_back(Row{"dialog: first entries painted", n, {}, {}, "skipped: no bench_dialog (built with Qt)", {}, {}});
        s.rows.back().base.seconds = 1e100;
        return;
    }
    const std::string dir = s.FolderOf(n);
    const long listed = MixFor(n).Listed();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // One run of the dialog gives both paints; the whole list's are kept
    // for a second row against the same rounds of the listing alone.
    std::vector<double> wholeRounds;
    const auto dialog = [&] {
        std::vector<double> figures;
        ChildRun r = SpawnFigures({program, "--child", "dialog", dir}, figures);
        if (figures.size() < 4) {
            r.ok = false;
            return r;
        }
        r.seconds = figures[0] / 1e3;
        r.count = static_cast<long>(figures[3]);
        wholeRounds.push_back(figures[1] / 1e3);
        return r;
    };
    Row first = Compare("dialog: first entries painted", n, s.o, dialog, [&] { return Child("folder-ours", dir); });
    first.note = "Qt offscreen; baseline: the folder listing alone";
    s.Expect(first, listed, listed);
    Row whole = first;
    whole.name = "dialog: whole list painted";
    whole.oursRounds = wholeRounds;
    whole.ours.seconds = wholeRounds.empty() ? 0 : *std::min_element(wholeRounds.begin(), wholeRounds.end());
    s.rows.push_back(first);
    s.rows.push_back(whole);
    s.paintRows.push_back(first);
    s.paintRows.push_back(whole);
}

} // namespace marbrook::bench
