// marbrook: the library's command-line companion.
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "ConnectionCommand.h"
#include "LayersCommand.h"
#include "ListCommand.h"
#include "PickCommand.h"
#include "catalogue/basOpenDialogs.h"
#include "platform/assembly/DefaultPlatform.h"
#include "support/ErrExport.h"
#include "support/basSafe.h"

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: marbrook info | list [--json] [--filter N] LOCATION | layers [--json] ITEM...\n"
           "                | pick [--single] [--databases] [--json] [--parent WINDOW-ID]\n"
           "                | connection create ...\n"
           "  info   print the library's version and the folders it uses\n"
           "  list   list a location as the data browser would (see: marbrook list --help)\n"
           "  layers make layers from listed datasets as the dialog's Add does (see: marbrook layers --help)\n"
           "  pick   show the data dialog (above the X11 window WINDOW-ID) and print the chosen layers\n"
           "         (kind, name, source; tab-separated, or JSON as layers --json prints them)\n"
           "  connection create   write a spatial-database connection file (see: marbrook connection --help)\n";
}

// The shared library this program stands for: the installed one beside it,
// else the one of the build it comes from; none when neither is there (the
// program's own folder then serves as the library's).
void StandForTheSharedLibrary() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    const fs::path installed = program.parent_path().parent_path() / MARBROOK_LIBDIR / MARBROOK_LIBRARY_NAME;
    for (const fs::path& candidate : {installed, fs::path(MARBROOK_BUILD_LIBRARY)}) {
        if (!ec && fs::exists(candidate, ec)) {
            marbrook::SetLibraryFile(candidate.string());
            return;
        }
        ec.clear();
    }
}

// Read-only: reports the folders without creating any of them.
int Info() {
    marbrook::Platform& p = marbrook::DefaultPlatform();
    const auto lib = p.system.Library();
    const std::string connections = marbrook::SdeDataPathCandidate(p);
    std::cout << "Marbrook " << lib.major << "." << lib.minor << "." << lib.revision << "\n"
              << "library folder:         " << lib.folder << "\n"
              << "settings file:          " << marbrook::SettingsFilePath(p) << "\n"
              << "error log:              " << marbrook::ErrLogPath(p) << "\n"
              << "connection-file folder: " << connections
              << (p.system.FolderExists(connections) ? "" : " (created when first needed)") << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 2 : 0;
    }
    StandForTheSharedLibrary();
    const std::string command = argv[1];
    if (command == "info") return Info();
    if (command == "list") return marbrook::cli::List(argc, argv);
    if (command == "layers") return marbrook::cli::Layers(argc, argv);
    if (command == "pick") return marbrook::cli::Pick(argc, argv);
    if (command == "connection") return marbrook::cli::Connection(argc, argv);
    std::cerr << "marbrook: unknown command '" << command << "'\n";
    PrintUsage(std::cerr);
    return 2;
}
