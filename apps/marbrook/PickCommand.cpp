// marbrook pick [--single]: shows the data browser over no parent window and
// prints the chosen layers, one per line: layer kind, name, data source,
// separated by tabs, in group order. Exit 1 when the user cancels.
#include "PickCommand.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "interface/CLayerFunctionExport.h"
#include "platform/qt/DisplayCheck.h"
#include "platform/gis.h"
#include "platform/object.h"

namespace marbrook::cli {

namespace {

const char* KindName(gis::LayerKind kind) {
    switch (kind) {
    case gis::LayerKind::Feature: return "feature";
    case gis::LayerKind::Annotation: return "annotation";
    case gis::LayerKind::CoverageAnnotation: return "coverage-annotation";
    case gis::LayerKind::Raster: return "raster";
    case gis::LayerKind::Cad: return "cad";
    }
    return "layer";
}

// Tabs and line breaks inside a field would break the one-line format.
std::string Field(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}

} // namespace

int Pick(int argc, char** argv) {
    bool multi = true;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--single") == 0) {
            multi = false;
        } else {
            std::cerr << "marbrook pick: unknown option '" << argv[i] << "'\n"
                      << "usage: marbrook pick [--single]\n";
            return 2;
        }
    }
    if (!marbrook::qt::DisplayAvailable()) {
        std::cerr << "marbrook pick: no display found (DISPLAY and WAYLAND_DISPLAY name no running display);\n"
                     "  run it in a desktop session, or under a virtual display: xvfb-run -a marbrook pick\n";
        return 3;
    }
    CLayerFunctionExport layers;
    const std::optional<Collection> got = layers.GetLayersByDlg(gis::kNoWindow, multi);
    if (!got) return 1;
    for (long i = 1; i <= got->Count(); ++i) {
        auto layer = got->ItemAs<gis::Layer>(i);
        if (!layer) continue;
        std::cout << KindName(layer->Kind()) << '\t' << Field(layer->Name()) << '\t' << Field(layer->DataSourceText())
                  << '\n';
    }
    std::cout.flush();
    return 0;
}

} // namespace marbrook::cli
