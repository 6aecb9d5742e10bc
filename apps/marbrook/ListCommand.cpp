#include "ListCommand.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <limits>
#include <optional>
#include <vector>

#include "ConnectionCommand.h"
#include "interface/CLayerFunctionExport.h"
#include "platform/platform.h"
#include "support/ErrExport.h"
#include "support/Globals.h"
#include "support/Text.h"

namespace marbrook::cli {

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: marbrook list [--filter N] LOCATION\n"
           "  Lists LOCATION as the data browser would, one entry per line, fields separated by a TAB:\n"
           "  DataLocation, DataType, DataTypeDesc, DataName, DataFullName. Inside a field a backslash,\n"
           "  TAB, LF and CR are written as \\\\, \\t, \\n, \\r.\n"
           "  LOCATION  a folder, a .mdb file, a .dxf or .dwg file, FILE.sde, FILE.sde::DATASET,\n"
           "            FILE.mdb::DATASET, --root (drives) or --connections (the connection-file folder)\n"
           "  --filter N  the browser's filter code (0 all, 1 shapefiles, 2 rasters, 3 geodatabase\n"
           "            feature data, 4 geodatabase rasters); default 0\n"
           "  Exit status: 0 listed (no output when empty), 1 the location cannot be listed, 2 bad usage.\n";
}

std::optional<std::int16_t> ParseFilter(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

// The size of the error log, to tell a failed listing (which writes an
// entry) from an empty one.
long long LogSize(Platform& p) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(ErrLogPath(p), ec);
    return ec ? 0 : static_cast<long long>(size);
}

long ListRoot(Platform& p, DataItems& items) {
    long count = GetLocalDrives4Datalist(p, items);
    items.resize(static_cast<std::size_t>(std::max(count, 0L)) + 1);
    try {
        giDataSourceType = DataSourceTypeFromText(p.system.GetSetting("QM_VERDANTA", "QM_DataSource", "Type").value_or("0"));
    } catch (...) {
        giDataSourceType = 0; // an unreadable setting offers no database root, as in the library
    }
    if (giDataSourceType == 1) {
        items.push_back(DatabaseRootItem(InitSDEDataPath(p)));
        count = static_cast<long>(items.size()) - 1;
    }
    return count;
}

long ListLocation(Platform& p, const std::string& location, DataItems& items, std::int16_t filter) {
    if (location == "--root") return ListRoot(p, items);
    if (location == "--connections") return GetSDEDataFile(p, InitSDEDataPath(p), items);
    if (const auto n = ListDatabaseTarget(p, location, items, filter)) return *n;
    const std::string ext = text::UpperAscii(text::ExtensionPart(location));
    if (!p.system.FolderExists(location)) {
        items.assign(1, DataItem{});
        if (ext == "MDB") return GetPGMdbFiles(p, location, items, filter);
        if (ext == "DXF" || ext == "DWG") return GetCadFiles(p, location, items, filter);
    }
    std::string folder = location;
    return GetSubFolderFiles(p, folder, items, filter);
}

} // namespace

std::string EscapeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (const char c : field) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c; break;
        }
    }
    return out;
}

void PrintItems(std::ostream& out, const DataItems& items) {
    for (std::size_t i = 1; i < items.size(); ++i) {
        const DataItem& it = items[i];
        out << it.DataLocation << '\t' << it.DataType << '\t' << EscapeField(it.DataTypeDesc) << '\t'
            << EscapeField(it.DataName) << '\t' << EscapeField(it.DataFullName) << '\n';
    }
}

int List(int argc, char** argv) {
    std::int16_t filter = 0;
    std::optional<std::string> location;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(std::cout);
            return 0;
        }
        if (arg == "--filter") {
            const auto value = i + 1 < argc ? ParseFilter(argv[i + 1]) : std::nullopt;
            if (!value) {
                std::cerr << "marbrook list: --filter needs a whole number\n";
                return 2;
            }
            filter = *value;
            ++i;
        } else if (!location) {
            location = std::string(arg);
        } else {
            std::cerr << "marbrook list: one LOCATION only\n";
            PrintUsage(std::cerr);
            return 2;
        }
    }
    if (!location || location->empty()) {
        PrintUsage(std::cerr);
        return 2;
    }

    Platform& p = DefaultPlatform();
    const long long logBefore = LogSize(p);
    DataItems items(1);
    const long count = ListLocation(p, *location, items, filter);
    const long long logAfter = LogSize(p);
    // The listing routines report their failures in the error log and return
    // what they could list: a new entry means this location was not listed
    // (completely).
    const bool failed = logAfter != logBefore;
    items.resize(static_cast<std::size_t>(std::max(count, 0L)) + 1);
    PrintItems(std::cout, items);
    std::cout.flush();
    if (failed) {
        std::cerr << "marbrook list: " << EscapeField(text::SanitizeUtf8(*location))
                  << (count > 0 ? " was not listed completely" : " cannot be listed") << " (see the error log "
                  << EscapeField(ErrLogPath(p)) << ")\n";
        return 1;
    }
    return 0;
}

} // namespace marbrook::cli
