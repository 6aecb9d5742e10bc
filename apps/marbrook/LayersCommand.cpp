#include "LayersCommand.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "LayerOutput.h"
#include "ListCommand.h"
#include "Locations.h"
#include "ProgramPlatform.h"
#include "catalogue/basOpenDialogs.h"
#include "catalogue/CLayerObj.h"
#include "support/Failure.h"
#include "support/Text.h"

namespace marbrook::cli {

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: marbrook layers [--json] ITEM...\n"
           "  Makes layers from the items as the data dialog's Add does (the same layers, in the same\n"
           "  group order: annotation, point, line, polygon and CAD, raster) and prints one line per\n"
           "  layer, fields separated by a TAB: kind, name, data source, and the feature count or the\n"
           "  raster's size (WIDTHxHEIGHT). --json prints one JSON array of layer objects instead.\n"
           "  ITEM  LOCATION::NAME, with NAME as \"marbrook list LOCATION\" prints it (DataName):\n"
           "        FOLDER::roads.shp, FILE.dwg::Polyline, FILE.sde::NAME, FILE.sde::DATASET/NAME,\n"
           "        FILE.mdb::DATASET/NAME (or DATASET::NAME); or the path of a dataset in a folder.\n"
           "  Exit status: 0 every item gave layers, 1 some item gave none (one line each on standard\n"
           "  error, with the reason; the layers of the others are printed), 2 bad usage.\n";
}

// The chosen item the dialog hands on for a listed entry.
std::shared_ptr<CLayerObj> Chosen(const DataItem& entry) {
    auto obj = std::make_shared<CLayerObj>();
    if (entry.pDataSetObj) obj->pDataSetObj(entry.pDataSetObj);
    obj->DataFullName(entry.DataFullName);
    obj->DataLocation(entry.DataLocation);
    obj->DataName(entry.DataName);
    obj->DataTypeDesc(entry.DataTypeDesc);
    if (const auto layerType = LayerTypeOf(entry.DataType)) obj->DataType(*layerType);
    return obj;
}

// Makes the layers of `items` as Add does; "" when it went well, else why not.
std::string MakeLayers(ProgramPlatform& program, Collection& items) {
    program.Forget();
    FailureWatch watch;
    const bool made = AddLayersBySort(program.Get(), items);
    if (made && !watch.Failed()) return {};
    std::string why = watch.First() ? watch.First()->error.description : program.Told();
    return why.empty() ? "the layers could not be made" : why;
}

// Why one entry gives no layer, "" when it gives some.
std::string WhyNoLayer(ProgramPlatform& program, const DataItem& entry) {
    Collection alone;
    alone.Add(Chosen(entry));
    if (std::string why = MakeLayers(program, alone); !why.empty()) return why;
    if (alone.Count() > 0) return {};
    if (!LayerTypeOf(entry.DataType)) return "a " + entry.DataTypeDesc + " makes no layer";
    return "no layer group takes it (a " + entry.DataTypeDesc + " of this kind makes no layer)";
}

} // namespace

int Layers(int argc, char** argv) {
    bool json = false;
    bool options = true;
    std::vector<std::string> items;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && (arg == "--help" || arg == "-h")) {
            PrintUsage(std::cout);
            return 0;
        }
        if (options && arg == "--json") {
            json = true;
        } else if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            std::cerr << "marbrook layers: unknown option '" << EscapeField(arg) << "'\n";
            PrintUsage(std::cerr);
            return 2;
        } else {
            items.push_back(arg);
        }
    }
    if (items.empty()) {
        PrintUsage(std::cerr);
        return 2;
    }

    ProgramPlatform program;
    bool someFailed = false;
    auto fail = [&](const std::string& item, const std::string& why) {
        someFailed = true;
        std::cerr << "marbrook layers: " << EscapeField(text::SanitizeUtf8(item)) << ": "
                  << EscapeField(text::SanitizeUtf8(why)) << "\n";
    };
    // Add makes nothing when one item fails: each item is tried alone first,
    // so that the others still give their layers and each failure is named.
    Collection chosen;
    for (const std::string& item : items) {
        const ResolvedItem resolved = ResolveItem(program, item);
        if (!resolved.entry) {
            fail(item, resolved.error);
            continue;
        }
        if (std::string why = WhyNoLayer(program, *resolved.entry); !why.empty()) {
            fail(item, why);
            continue;
        }
        chosen.Add(Chosen(*resolved.entry));
    }
    if (chosen.Count() > 0) {
        if (std::string why = MakeLayers(program, chosen); !why.empty()) {
            fail("(all items together)", why);
            return 1;
        }
    }

    nlohmann::json array = nlohmann::json::array();
    for (long i = 1; i <= chosen.Count(); ++i) {
        const auto layer = chosen.ItemAs<gis::Layer>(i);
        if (!layer) continue;
        if (json) array.push_back(LayerJson(*layer));
        else std::cout << LayerLine(*layer) << '\n';
    }
    if (json) std::cout << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    std::cout.flush();
    return someFailed ? 1 : 0;
}

} // namespace marbrook::cli
