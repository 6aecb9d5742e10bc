#pragma once
// Test data written with GDAL into temporary folders, and the real
// files GDAL cannot write (../shared/testdata).
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdal/GdalGis.h"
#include "platform/platform.h"
#include "tests/doubles/FakeSystem.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook::testing {

inline std::string TestData(const std::string& relative) { return std::string(MARBROOK_TESTDATA) + "/" + relative; }

inline bool HasTestData(const std::string& relative) { return std::filesystem::exists(TestData(relative)); }

// The test world with the real GDAL back end in place of the in-memory one.
struct GdalWorld {
    TestPlatform t;
    std::unique_ptr<gis::GisService> gis = gdal::NewGdalGis();
    Platform p{*gis, t.ui, t.system};
};

struct GdalDatasetCloser {
    void operator()(GDALDataset* ds) const { GDALClose(GDALDataset::ToHandle(ds)); }
};
using OwnedDataset = std::unique_ptr<GDALDataset, GdalDatasetCloser>;

inline OwnedDataset CreateVector(const char* driver, const std::string& path) {
    gdal::InitGdal();
    GDALDriver* drv = GetGDALDriverManager()->GetDriverByName(driver);
    if (!drv) throw std::runtime_error(std::string("no driver ") + driver);
    OwnedDataset ds(drv->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!ds) throw std::runtime_error("cannot create " + path);
    return ds;
}

inline void AddFeature(OGRLayer& layer, const std::string& wkt, const char* style = nullptr) {
    OGRFeature f(layer.GetLayerDefn());
    OGRGeometry* g = nullptr;
    if (OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &g) != OGRERR_NONE) throw std::runtime_error("bad WKT " + wkt);
    f.SetGeometryDirectly(g);
    if (style) f.SetStyleString(style);
    if (layer.CreateFeature(&f) != OGRERR_NONE) throw std::runtime_error("cannot write a feature");
}

// One shapefile `folder`/`name`.shp of `type` holding the given geometries.
inline void WriteShapefile(const std::string& folder, const std::string& name, OGRwkbGeometryType type,
                           const std::vector<std::string>& wkts, const char* shpt = nullptr) {
    auto ds = CreateVector("ESRI Shapefile", folder + "/" + name + ".shp");
    char** options = shpt ? CSLSetNameValue(nullptr, "SHPT", shpt) : nullptr;
    OGRLayer* layer = ds->CreateLayer(name.c_str(), nullptr, type, options);
    CSLDestroy(options);
    if (!layer) throw std::runtime_error("cannot create layer " + name);
    for (const auto& wkt : wkts) AddFeature(*layer, wkt);
}

inline void WriteRaster(const char* driver, const std::string& path, int width, int height) {
    gdal::InitGdal();
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    OwnedDataset src(mem->Create("", width, height, 1, GDT_Byte, nullptr));
    double gt[6] = {100, 1, 0, 200, 0, -1};
    src->SetGeoTransform(gt);
    GDALDriver* drv = GetGDALDriverManager()->GetDriverByName(driver);
    if (!drv) throw std::runtime_error(std::string("no driver ") + driver);
    OwnedDataset out(drv->CreateCopy(path.c_str(), src.get(), FALSE, nullptr, nullptr, nullptr));
    if (!out) throw std::runtime_error("cannot write " + path);
}

// A drawing with one point, one line, one polygon and one text.
inline void WriteDxf(const std::string& path) {
    auto ds = CreateVector("DXF", path);
    OGRLayer* layer = ds->CreateLayer("entities", nullptr, wkbUnknown, nullptr);
    AddFeature(*layer, "POINT (1 2)");
    AddFeature(*layer, "LINESTRING (0 0,5 5,10 0)");
    AddFeature(*layer, "POLYGON ((0 0,0 10,10 10,10 0,0 0))");
    AddFeature(*layer, "POINT (3 3)", "LABEL(f:\"Arial\",t:\"Hello\",s:2g)");
}

// GDAL cannot write 3D faces: this small drawing holds two and one line.
inline std::string FacesDxf() {
    std::string s = "0\nSECTION\n2\nENTITIES\n";
    for (int i = 0; i < 2; ++i) {
        s += "0\n3DFACE\n100\nAcDbEntity\n8\n0\n100\nAcDbFace\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n1\n12\n1\n22\n1\n32\n2\n13\n0\n23\n1\n33\n1\n";
    }
    s += "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n4\n21\n4\n31\n0\n";
    s += "0\nENDSEC\n0\nEOF\n";
    return s;
}

} // namespace marbrook::testing
