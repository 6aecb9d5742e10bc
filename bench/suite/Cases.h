#pragma once
// The cases of the suite. Each generates its data in the run's work folder,
// times ours against the baseline and adds its rows, noting a listing that
// comes back short.
#include <map>
#include <string>
#include <vector>

#include "bench/suite/Common.h"
#include "bench/suite/Report.h"

namespace marbrook::bench {

struct Suite {
    Options o;
    std::string work;      // the run's folder; the children's library folder is work/home
    std::string templates; // the template files
    std::vector<Row> rows;
    std::vector<Row> folderRows;
    std::vector<Row> readerRows;
    bool shortListing = false;

    // Notes on `row` a failed child and counts other than the expected ones
    // (-1: any).
    void Expect(Row& row, long ours, long base);
    // A generated folder of about n entries, made once per run.
    const std::string& FolderOf(long n);

private:
    std::map<long, std::string> folders_;
};

void ProcessCase(Suite& s); // an idle child: the floor of every peak
void FolderCase(Suite& s);
// Listing a folder of today's data against the bare loop over its names and headers.
void TodayCase(Suite& s);
void RootCase(Suite& s);
void CadCase(Suite& s);
void ReaderCase(Suite& s); // what the reader program adds to opening a database or a drawing
void PostgisCase(Suite& s); // needs a server
void LayersCase(Suite& s);
void RepointCase(Suite& s);
void DialogCase(Suite& s);

} // namespace marbrook::bench
