#pragma once
// The GDAL world of a test, the data it writes with GDAL into temporary
// folders (GdalWriters.h), and the real files GDAL cannot write.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdal/GdalGis.h"
#include "platform/platform.h"
#include "tests/doubles/FakeSystem.h"
#include "tests/doubles/TestPlatform.h"
#include "tests/gdal/GdalWriters.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

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

// The features plain GDAL reads from a source: each of its layers (the first
// when it names none) under its filter, through its driver only.
inline long long CountWithGdal(const gis::DataSourceInfo& source) {
#if defined(__SANITIZE_ADDRESS__)
    // The installed GDAL's drawing driver never frees what it reads past under
    // an attribute filter; that is plain GDAL's reading, not the library's, so
    // the leak checker leaves it out.
    __lsan::ScopedDisabler gdalReadsHere;
#endif
    const char* drivers[] = {source.driver.c_str(), nullptr};
    OwnedDataset ds(GDALDataset::FromHandle(GDALOpenEx(source.path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY,
                                                                source.driver.empty() ? nullptr : drivers, nullptr,
                                                                nullptr)));
    if (!ds) {
        ADD_FAILURE() << "GDAL cannot open " << source.path << " with " << source.driver;
        return -1;
    }
    std::vector<OGRLayer*> layers;
    for (const std::string& name : source.layers) layers.push_back(ds->GetLayerByName(name.c_str()));
    if (source.layers.empty()) layers.push_back(ds->GetLayer(0));
    long long n = 0;
    for (OGRLayer* layer : layers) {
        if (!layer) {
            ADD_FAILURE() << "a layer of " << source.path << " is missing";
            return -1;
        }
        if (!source.filter.empty() && layer->SetAttributeFilter(source.filter.c_str()) != OGRERR_NONE) {
            ADD_FAILURE() << "GDAL refuses the filter " << source.filter;
            return -1;
        }
        n += layer->GetFeatureCount(TRUE);
    }
    return n;
}

} // namespace marbrook::testing
