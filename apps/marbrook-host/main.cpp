// marbrook-host: a small GIS host that loads Marbrook in-process.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <QApplication>

#include "ComponentLoader.h"
#include "FirstStart.h"
#include "HostWindow.h"
#include "SampleCatalogue.h"
#include "platform/qt/DisplayCheck.h"

namespace {

void PrepareFirstStart() {
    const std::string samples = marbrook::host::SampleFolder();
    try {
        const bool first = !std::filesystem::exists(samples);
        const auto written = marbrook::host::WriteSampleCatalogue(samples);
        if (first || !written.empty()) std::cout << "marbrook-host: sample data written to " << samples << "\n";
        if (marbrook::host::RememberLocationIfUnset(marbrook::host::RememberedLocationFile(), samples))
            std::cout << "marbrook-host: the dialog opens in " << samples << "\n";
    } catch (const std::exception& e) {
        std::cerr << "marbrook-host: could not write the sample data: " << e.what() << "\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << "usage: marbrook-host\n"
                         "  A small GIS host window that loads libmarbrook.so in-process.\n"
                         "  MARBROOK_LIBRARY=<path> picks the library to load.\n";
            return 0;
        }
    if (!marbrook::qt::DisplayAvailable()) {
        std::cerr << "marbrook-host: no display found (DISPLAY and WAYLAND_DISPLAY name no running display).\n"
                     "  Start it from a desktop session, or on a machine without one under a virtual display:\n"
                     "    xvfb-run -a "
                  << argv[0] << "\n";
        return 2;
    }
    PrepareFirstStart();
    QApplication app(argc, argv);
    marbrook::host::ComponentLoader loader;
    if (!loader.Loaded()) std::cerr << "marbrook-host: " << loader.Error() << "\n";
    int rc = 0;
    {
        marbrook::host::HostWindow window(loader);
        window.show();
        rc = app.exec();
    }
    return loader.Loaded() ? rc : 1;
}
