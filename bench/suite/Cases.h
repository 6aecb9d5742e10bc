#pragma once
// The cases of the suite. Each generates its data in the run's work folder,
// times ours against the baseline and adds its rows, noting a listing that
// comes back short.
#include <map>
#include <string>
#include <vector>

#include "bench/suite/Common.h"
#include "bench/suite/Data.h"
#include "bench/suite/Report.h"

namespace marbrook::bench {

struct Suite {
    Options o;
    std::string work;      // the run's folder; the children's library folder is work/home
    std::string templates; // the template files
    std::vector<Row> rows;
    std::vector<Row> folderRows;
    long idleKiB = 0; // the idle child's peak: the floor under every memory figure
    std::vector<Row> readerRows;
    std::vector<Row> paintRows;
    bool shortListing = false;

    // Notes on `row` a failed child and counts other than the expected ones
    // (-1: any).
    void Expect(Row& row, long ours, long base);
    // A generated folder of about n entries, made once per run.
    const std::string& FolderOf(long n);
    // The same without the files the bare loop does not read (NamedOnlyMixFor).
    const std::string& NamedOnlyFolderOf(long n);

private:
    // The folder `name` of the work folder, made of `mix` once per run.
    const std::string& Folder(const std::string& name, const char* what, const FolderMix& mix);
    std::map<std::string, std::string> folders_;
};

void ProcessCase(Suite& s); // an idle child: the floor of every peak
// The folder listing in process at 1 000, 10 000 and 100 000 entries (and
// at 1 000 in a folder of only what the bare loop reads too); the same as
// whole programs (`marbrook list` against the bare loop's process,
// and ogrinfo -q at the largest size).
void FolderCase(Suite& s);
// The folder listing at 1 000 000 entries: run only when named (--only
// million), on a folder made once under MARBROOK_BENCH_DIR and reused.
void MillionCase(Suite& s);
// Listing a folder of today's data against the bare loop over its names and headers.
void TodayCase(Suite& s);
void RootCase(Suite& s);
void CadCase(Suite& s);
void ReaderCase(Suite& s); // what the reader program adds to opening a database or a drawing
void PostgisCase(Suite& s); // needs a server
void LayersCase(Suite& s);
void RepointCase(Suite& s);
void DialogCase(Suite& s);
// The dialog on Qt's offscreen platform (the bench_dialog program beside
// this one): from a folder of 10 000 entries being opened to its first
// entries painted, and to the whole list painted.
void PaintCase(Suite& s);

} // namespace marbrook::bench
