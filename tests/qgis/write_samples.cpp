// Writes the demo host's sample catalogue into a folder, for the QGIS test.
#include <exception>
#include <iostream>

#include "SampleCatalogue.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: write_samples FOLDER\n";
        return 2;
    }
    try {
        for (const std::string& path : marbrook::host::WriteSampleCatalogue(argv[1])) std::cout << path << "\n";
    } catch (const std::exception& e) {
        std::cerr << "write_samples: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
