#include "SampleCatalogue.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

namespace marbrook::host {

namespace {

namespace fs = std::filesystem;

struct DatasetCloser {
    void operator()(void* ds) const noexcept { GDALClose(ds); }
};
using DatasetPtr = std::unique_ptr<void, DatasetCloser>;

[[noreturn]] void Fail(const std::string& what) {
    const char* msg = CPLGetLastErrorMsg();
    throw std::runtime_error(what + (msg && *msg ? std::string(": ") + msg : std::string()));
}

// Keeps GDAL's messages off the terminal while the catalogue is written.
struct QuietGdal {
    QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietGdal() { CPLPopErrorHandler(); }
};

OGRSpatialReferenceH Wgs84() {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 4326);
    OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

void WriteVector(const std::string& driverName, const std::string& path, OGRwkbGeometryType type,
                 const std::vector<std::pair<std::string, std::string>>& features /* name, WKT */) {
    GDALDriverH driver = GDALGetDriverByName(driverName.c_str());
    if (!driver) Fail("no GDAL driver " + driverName);
    DatasetPtr ds(GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!ds) Fail("cannot create " + path);
    OGRSpatialReferenceH srs = driverName == "DXF" ? nullptr : Wgs84();
    OGRLayerH layer = GDALDatasetCreateLayer(ds.get(), fs::path(path).stem().c_str(), srs, type, nullptr);
    if (srs) OSRDestroySpatialReference(srs);
    if (!layer) Fail("cannot create a layer in " + path);
    const bool named = driverName != "DXF";
    if (named) {
        OGRFieldDefnH field = OGR_Fld_Create("NAME", OFTString);
        OGR_Fld_SetWidth(field, 40);
        OGR_L_CreateField(layer, field, TRUE);
        OGR_Fld_Destroy(field);
    }
    for (const auto& [name, wkt] : features) {
        OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
        if (named) OGR_F_SetFieldString(f, 0, name.c_str());
        OGRGeometryH g = nullptr;
        char* text = const_cast<char*>(wkt.c_str());
        if (OGR_G_CreateFromWkt(&text, nullptr, &g) != OGRERR_NONE) {
            OGR_F_Destroy(f);
            Fail("bad sample geometry");
        }
        OGR_F_SetGeometryDirectly(f, g);
        const OGRErr err = OGR_L_CreateFeature(layer, f);
        OGR_F_Destroy(f);
        if (err != OGRERR_NONE) Fail("cannot write a feature to " + path);
    }
}

void WriteGeoTiff(const std::string& path) {
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (!driver) Fail("no GDAL driver GTiff");
    constexpr int size = 64;
    DatasetPtr ds(GDALCreate(driver, path.c_str(), size, size, 1, GDT_Byte, nullptr));
    if (!ds) Fail("cannot create " + path);
    double transform[6] = {116.30, 0.01 / size * 10, 0, 39.95, 0, -0.01 / size * 10};
    GDALSetGeoTransform(ds.get(), transform);
    OGRSpatialReferenceH srs = Wgs84();
    GDALSetSpatialRef(ds.get(), srs);
    OSRDestroySpatialReference(srs);
    std::vector<unsigned char> pixels(size * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            pixels[static_cast<std::size_t>(y * size + x)] =
                static_cast<unsigned char>(127 + 120 * std::sin(x / 9.0) * std::cos(y / 11.0));
    if (GDALRasterIO(GDALGetRasterBand(ds.get(), 1), GF_Write, 0, 0, size, size, pixels.data(), size, size, GDT_Byte, 0,
                     0) != CE_None)
        Fail("cannot write " + path);
}

} // namespace

std::vector<std::string> WriteSampleCatalogue(const std::string& folder) {
    GDALAllRegister();
    QuietGdal quiet;
    std::vector<std::string> written;
    fs::create_directories(fs::path(folder) / "nested" / "rivers");
    auto want = [&](const fs::path& p) {
        if (fs::exists(p)) return false;
        written.push_back(p.string());
        return true;
    };
    const fs::path root(folder);
    if (want(root / "points.shp"))
        WriteVector("ESRI Shapefile", (root / "points.shp").string(), wkbPoint,
                    {{"well", "POINT (116.31 39.94)"}, {"school", "POINT (116.33 39.93)"}, {"clinic", "POINT (116.35 39.92)"}});
    if (want(root / "roads.shp"))
        WriteVector("ESRI Shapefile", (root / "roads.shp").string(), wkbLineString,
                    {{"ring road", "LINESTRING (116.30 39.90,116.34 39.93,116.39 39.94)"},
                     {"river road", "LINESTRING (116.31 39.96,116.36 39.91)"}});
    if (want(root / "parcels.shp"))
        WriteVector("ESRI Shapefile", (root / "parcels.shp").string(), wkbPolygon,
                    {{"north lot", "POLYGON ((116.30 39.95,116.32 39.95,116.32 39.97,116.30 39.97,116.30 39.95))"},
                     {"south lot", "POLYGON ((116.33 39.90,116.36 39.90,116.36 39.92,116.33 39.90))"}});
    if (want(root / "elevation.tif")) WriteGeoTiff((root / "elevation.tif").string());
    if (want(root / "site-plan.dxf"))
        WriteVector("DXF", (root / "site-plan.dxf").string(), wkbUnknown,
                    {{"", "LINESTRING (0 0,100 0,100 60,0 60,0 0)"}, {"", "POINT (50 30)"},
                     {"", "LINESTRING (10 10,90 50)"}});
    if (want(root / "nested" / "rivers" / "rivers.shp"))
        WriteVector("ESRI Shapefile", (root / "nested" / "rivers" / "rivers.shp").string(), wkbLineString,
                    {{"east river", "LINESTRING (116.40 39.80,116.42 39.99)"}});
    return written;
}

} // namespace marbrook::host
