#pragma once
// Data written with GDAL: shapefiles, rasters and drawings, for tests and
// benchmarks alike (free of the test framework). Failures throw
// std::runtime_error.
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/gdal/GdalGis.h"

namespace marbrook::testing {

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

// The spatial reference of an EPSG code; none for 0.
inline std::unique_ptr<OGRSpatialReference> SpatialReference(int epsg) {
    if (epsg == 0) return nullptr;
    auto srs = std::make_unique<OGRSpatialReference>();
    if (srs->importFromEPSG(epsg) != OGRERR_NONE) throw std::runtime_error("no EPSG:" + std::to_string(epsg));
    return srs;
}

// One shapefile `folder`/`name`.shp of `type` holding the given geometries,
// with a .prj when `epsg` names a spatial reference.
inline void WriteShapefile(const std::string& folder, const std::string& name, OGRwkbGeometryType type,
                           const std::vector<std::string>& wkts, const char* shpt = nullptr, int epsg = 0) {
    auto ds = CreateVector("ESRI Shapefile", folder + "/" + name + ".shp");
    char** options = shpt ? CSLSetNameValue(nullptr, "SHPT", shpt) : nullptr;
    const auto srs = SpatialReference(epsg);
    OGRLayer* layer = ds->CreateLayer(name.c_str(), srs.get(), type, options);
    CSLDestroy(options);
    if (!layer) throw std::runtime_error("cannot create layer " + name);
    for (const auto& wkt : wkts) AddFeature(*layer, wkt);
}

inline void WriteRaster(const char* driver, const std::string& path, int width, int height, int epsg = 0) {
    gdal::InitGdal();
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    OwnedDataset src(mem->Create("", width, height, 1, GDT_Byte, nullptr));
    double gt[6] = {100, 1, 0, 200, 0, -1};
    src->SetGeoTransform(gt);
    if (const auto srs = SpatialReference(epsg)) src->SetSpatialRef(srs.get());
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
