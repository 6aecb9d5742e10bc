#pragma once
// The GDAL world of a test, the data it writes with GDAL into temporary
// folders (GdalWriters.h), and the real files GDAL cannot write.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/gdal/GdalGis.h"
#include "platform/platform.h"
#include "tests/doubles/FakeSystem.h"
#include "tests/doubles/TestPlatform.h"
#include "tests/gdal/GdalWriters.h"

namespace marbrook::testing {

// The sample files GDAL cannot write (.dwg and .mdb files, an Arc/Info grid)
// stay with their sources in <shared>/testdata, where <shared> is the folder
// ../shared beside the sources (the CMake cache variable MARBROOK_SHARED_DIR;
// the environment variable of that name overrides it). That folder is absent
// only from a clone on its own: a test that needs a sample then skips,
// naming it. When it is there, a missing sample fails the test.
inline std::string SharedDir() {
    const char* given = std::getenv("MARBROOK_SHARED_DIR");
    return given && *given ? given : MARBROOK_SHARED_DIR;
}
inline bool HaveSharedDir() { return std::filesystem::is_directory(SharedDir()); }
inline std::string NoSharedDir() {
    return SharedDir() + " is absent: the samples GDAL cannot write (.dwg, .mdb, grids) live in its testdata folder";
}
// The path of the sample `relative` of <shared>/testdata; a failure of the
// calling test when the shared folder is there and the sample is not.
inline std::string Sample(const std::string& relative) {
    const std::string path = SharedDir() + "/testdata/" + relative;
    if (!std::filesystem::exists(path)) ADD_FAILURE() << "the sample " << path << " is missing";
    return path;
}

// The test world with the real GDAL back end in place of the in-memory one.
struct GdalWorld {
    TestPlatform t;
    std::unique_ptr<gis::GisService> gis = gdal::NewGdalGis();
    Platform p{*gis, t.ui, t.system};
};

} // namespace marbrook::testing
