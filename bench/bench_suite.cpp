// Every listing and layer-building path of the library against a plain
// baseline measured in the same run, with the peak memory of each.
//
//   bench_suite [--smoke] [--rounds N] [--only CASE[,CASE...]] [--keep]
//
// CASE: process, folder, today, root, cad, reader, postgis, layers, repoint,
// dialog, paint, and million (run only when named: a folder of a million
// entries, made once under MARBROOK_BENCH_DIR and kept). The postgis case needs a server: run through scripts/with-pg.sh
// (scripts/bench.sh does). The reader case times what the reader program
// adds to opening a database or a drawing: the same call, once through the
// reader and once read in the measuring process itself; it prints the
// minimum and the median of every round.
//
// Each measurement runs in a fresh child process (suite/Processes.h). Every
// child loads GDAL and registers its drivers before it starts the clock, the
// baselines included, so the figures differ only by what is measured; the
// "process" row shows what such an idle child holds. Times are the best of
// the rounds (the machine is shared); ours and the baseline alternate.
//
// Generated data (suite/Data.h) lives in a temporary folder removed at the
// end (--keep leaves it). --smoke runs the smallest size of each case once
// and fails when a listing comes back short: a quick check that the
// benchmarks still work.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "bench/suite/Cases.h"
#include "bench/suite/Measures.h"

namespace {

namespace fs = std::filesystem;
using namespace marbrook::bench;

// A fresh work folder whose home/ and config/ the children use as the
// library folder and the configuration home.
std::string MakeWorkFolder() {
    std::string work = Env("MARBROOK_BENCH_DIR");
    if (work.empty()) work = (fs::temp_directory_path() / "marbrook-bench-XXXXXX").string();
    else work += "/marbrook-bench-XXXXXX";
    if (::mkdtemp(work.data()) == nullptr) Die("cannot make a temporary folder");
    ::setenv("MARBROOK_HOME", (work + "/home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    fs::create_directories(work + "/home");
    fs::create_directories(work + "/config");
    return work;
}

int ParentMain(const Options& o) {
    if (o.smoke) SettleNever();
    PrintLoad("at the start");
    Suite s;
    s.o = o;
    s.work = MakeWorkFolder();
    s.templates = s.work + "/templates";
    if (!Child("templates", s.templates).ok) Die("cannot write the template files");

    const std::pair<const char*, void (*)(Suite&)> cases[] = {
        {"process", &ProcessCase}, {"folder", &FolderCase}, {"today", &TodayCase}, {"root", &RootCase},
        {"cad", &CadCase},         {"reader", &ReaderCase},   {"postgis", &PostgisCase}, {"layers", &LayersCase},
        {"repoint", &RepointCase}, {"dialog", &DialogCase},   {"paint", &PaintCase},     {"million", &MillionCase},
    };
    for (const auto& [name, run] : cases) {
        const std::string c = name;
        // A smoke run needs no server; the million-entry folder is made and
        // listed only when asked for by name.
        if (c == "million" ? o.Names(c) && !o.smoke : o.Wants(c) && !(o.smoke && c == "postgis")) run(s);
    }

    // Anything the library logged while measuring.
    const std::string log = s.work + "/home/libmarbrook.err";
    std::error_code ec;
    const auto logSize = fs::file_size(log, ec);
    const bool logged = !ec && logSize > 0;

    PrintTable(s.rows);
    std::fflush(stdout);
    PrintGrowth(s.folderRows, s.idleKiB);
    PrintSpread("folder listing in process", s.folderRows);
    PrintSpread("dialog", s.paintRows);
    PrintSpread("reader program, cost per file opened", s.readerRows);
    PrintMachine();
    if (logged) {
        std::printf("the library logged failures while measuring (%s):\n", log.c_str());
        std::ifstream in(log);
        std::cout << in.rdbuf() << std::endl;
    }
    std::fflush(stdout);
    if (!o.keep) fs::remove_all(s.work, ec);
    else std::printf("data kept in %s\n", s.work.c_str());
    return s.shortListing || logged ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    SetSelf(fs::read_symlink("/proc/self/exe").string());
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
                         "CASE: process, folder, today, root, cad, reader, postgis, layers, repoint, dialog, paint,\n"
                         "      million (only when named; needs MARBROOK_BENCH_DIR)\n";
            return 2;
        }
    }
    return ParentMain(o);
}
