#include "ListCommand.h"

#include <charconv>
#include <iostream>
#include <limits>
#include <optional>

#include "LayerOutput.h"
#include "Locations.h"
#include "ProgramPlatform.h"
#include "support/Text.h"

namespace marbrook::cli {

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: marbrook list [--json] [--filter N] LOCATION\n"
           "  Lists LOCATION as the data browser would, one entry per line, fields separated by a TAB:\n"
           "  DataLocation, DataType, DataTypeDesc, DataName, DataFullName. Inside a field a backslash,\n"
           "  TAB, LF and CR are written as \\\\, \\t, \\n, \\r.\n"
           "  LOCATION  a folder, a .mdb file, a .dxf or .dwg file, FILE.sde, FILE.sde::DATASET,\n"
           "            FILE.mdb::DATASET, --root (drives) or --connections (the connection-file folder)\n"
           "  --filter N  the browser's filter code (0 all, 1 shapefiles, 2 rasters, 3 geodatabase\n"
           "            feature data, 4 geodatabase rasters); default 0\n"
           "  --json    one JSON array instead: an object per entry with the five fields by name and\n"
           "            \"datasource\", where GDAL finds the entry's data (null for folders and files\n"
           "            that are no dataset; never a password)\n"
           "  Exit status: 0 listed (no output when empty), 1 the location was not listed, or not\n"
           "  completely (the reason in one line on standard error; a database that cannot be reached\n"
           "  gives the server's reason, FILE.sde::NAME of no feature dataset \"no such dataset\"),\n"
           "  2 bad usage. No window is ever shown.\n";
}

std::optional<std::int16_t> ParseFilter(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(value);
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

nlohmann::json ItemsJson(const DataItems& items) {
    nlohmann::json array = nlohmann::json::array();
    for (std::size_t i = 1; i < items.size(); ++i) {
        const DataItem& it = items[i];
        nlohmann::json j = {{"DataLocation", it.DataLocation},
                            {"DataType", it.DataType},
                            {"DataTypeDesc", it.DataTypeDesc},
                            {"DataName", it.DataName},
                            {"DataFullName", it.DataFullName}};
        const gis::DatasetNamePtr name = it.pDataSetObj;
        AddSource(j, [&]() -> std::optional<gis::DataSourceInfo> {
            return name ? name->SourceInfo() : std::nullopt;
        });
        array.push_back(std::move(j));
    }
    return array;
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
    bool json = false;
    std::optional<std::string> location;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(std::cout);
            return 0;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg == "--filter") {
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

    ProgramPlatform program;
    DataItems items(1);
    const Listing listed = ListLocation(program, *location, items, filter);
    if (json) std::cout << ItemsJson(items).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    else PrintItems(std::cout, items);
    std::cout.flush();
    if (listed.failed) {
        std::cerr << "marbrook list: " << EscapeField(text::SanitizeUtf8(*location))
                  << (listed.count > 0 ? " was not listed completely: " : " cannot be listed: ")
                  << EscapeField(text::SanitizeUtf8(listed.reason)) << "\n";
        return 1;
    }
    return 0;
}

} // namespace marbrook::cli
