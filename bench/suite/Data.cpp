#include "bench/suite/Data.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "bench/suite/Common.h"
#include "tests/gdal/GdalWriters.h"

namespace marbrook::bench {

namespace fs = std::filesystem;

namespace {

const char* const kShapeKinds[] = {"point", "line", "polygon"};

std::string Coordinates(int i, int kind) {
    const std::string x = std::to_string(i), x1 = std::to_string(i + 1);
    if (kind == 0) return "POINT (" + x + " " + x + ")";
    if (kind == 1) return "LINESTRING (" + x + " 0," + x1 + " 1)";
    return "POLYGON ((" + x + " 0," + x1 + " 0," + x1 + " 1," + x + " 0))";
}

void CopyAs(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec)) Die("cannot copy to " + to + ": " + ec.message());
}

} // namespace

void CopyShapefile(const std::string& t, int kind, const std::string& base) {
    for (const char* ext : {".shp", ".shx", ".dbf", ".prj"})
        CopyAs(t + "/" + kShapeKinds[kind] + ext, base + ext);
}

void MakeTemplates(const std::string& t) {
    fs::create_directories(t);
    const OGRwkbGeometryType types[] = {wkbPoint, wkbLineString, wkbPolygon};
    try {
        for (int kind = 0; kind < 3; ++kind) {
            std::vector<std::string> features;
            for (int i = 0; i < 3; ++i) features.push_back(Coordinates(i, kind));
            testing::WriteShapefile(t, kShapeKinds[kind], types[kind], features, nullptr, 4326);
        }
        testing::WriteRaster("GTiff", t + "/r.tif", 8, 8, 4326);
        testing::WriteRaster("COG", t + "/c.tif", 8, 8, 4326);
        {
            auto gpkg = testing::CreateVector("GPKG", t + "/g.gpkg");
            const auto srs = testing::SpatialReference(4326);
            OGRLayer* layer = gpkg->CreateLayer("parcels", srs.get(), wkbPolygon, nullptr);
            for (int i = 0; i < 3; ++i) testing::AddFeature(*layer, Coordinates(i, 2));
        }
        {
            auto json = testing::CreateVector("GeoJSON", t + "/j.geojson");
            OGRLayer* layer = json->CreateLayer("trails", nullptr, wkbLineString, nullptr);
            for (int i = 0; i < 3; ++i) testing::AddFeature(*layer, Coordinates(i, 1));
        }
        if (GetGDALDriverManager()->GetDriverByName("netCDF")) testing::WriteRaster("netCDF", t + "/n.nc", 8, 8, 4326);
    } catch (const std::exception& e) {
        Die(e.what());
    }
    WriteDrawing(t + "/d.dxf", 20);
}

void WriteDrawing(const std::string& path, long entities) {
    std::ofstream out(path);
    if (!out) Die("cannot write " + path);
    out << "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
    for (long i = 0; i < entities; ++i) {
        const double x = static_cast<double>(i % 1000);
        const double y = static_cast<double>(i / 1000);
        const char* layer = i % 7 == 0 ? "ROADS" : i % 5 == 0 ? "TEXT" : "0";
        switch (i % 10) {
        case 0: case 1: case 2:
            out << "0\nPOINT\n8\n" << layer << "\n10\n" << x << "\n20\n" << y << "\n30\n0.0\n";
            break;
        case 3: case 4: case 5:
            out << "0\nLINE\n8\n" << layer << "\n10\n" << x << "\n20\n" << y << "\n30\n0.0\n11\n" << x + 1 << "\n21\n"
                << y + 1 << "\n31\n0.0\n";
            break;
        case 6: case 7:
            out << "0\nPOLYLINE\n8\n" << layer << "\n66\n1\n70\n0\n";
            for (int v = 0; v < 4; ++v)
                out << "0\nVERTEX\n8\n" << layer << "\n10\n" << x + v * 0.25 << "\n20\n" << y + (v % 2) * 0.5 << "\n30\n0.0\n";
            out << "0\nSEQEND\n8\n" << layer << "\n";
            break;
        case 8:
            out << "0\nTEXT\n8\nTEXT\n10\n" << x << "\n20\n" << y << "\n30\n0.0\n40\n1.0\n1\nT" << i << "\n";
            break;
        default:
            out << "0\n3DFACE\n8\n" << layer << "\n10\n" << x << "\n20\n" << y << "\n30\n0.0\n11\n" << x + 1 << "\n21\n" << y
                << "\n31\n0.0\n12\n" << x + 1 << "\n22\n" << y + 1 << "\n32\n1.0\n13\n" << x << "\n23\n" << y + 1
                << "\n33\n1.0\n";
            break;
        }
    }
    out << "0\nENDSEC\n0\nEOF\n";
}

FolderMix MixFor(long n) {
    FolderMix m;
    m.shapefiles = n / 10;
    m.tiffs = n / 50;
    m.drawings = std::max<long>(2, n / 2000);
    m.others = n - m.Entries();
    return m;
}

FolderMix NamedOnlyMixFor(long n) {
    FolderMix m = MixFor(n);
    m.others += m.tiffs;
    m.tiffs = 0;
    m.csv = false;
    return m;
}

void MakeFolder(const std::string& dir, const std::string& t, const FolderMix& m) {
    fs::create_directories(dir + "/sub1");
    fs::create_directories(dir + "/sub2");
    for (long i = 0; i < m.shapefiles; ++i) CopyShapefile(t, static_cast<int>(i % 3), dir + "/s" + std::to_string(i));
    for (long i = 0; i < m.tiffs; ++i) CopyAs(t + "/r.tif", dir + "/r" + std::to_string(i) + ".tif");
    for (long i = 0; i < m.drawings; ++i) CopyAs(t + "/d.dxf", dir + "/d" + std::to_string(i) + ".dxf");
    static const char* const kOther[] = {".txt", ".pdf", ".xlsx", ".docx", ".csv", ".html", ".zip", ".xml"};
    for (long i = 0; i < m.others; ++i) {
        const char* kind = kOther[i % 8];
        if (!m.csv && kind == std::string_view(".csv")) kind = ".doc";
        std::ofstream f(dir + "/o" + std::to_string(i) + kind);
        f << "x";
    }
}

TodaysMix TodaysMixFor(long n) {
    TodaysMix m;
    m.shapefiles = n / 10;
    m.cogs = n / 50;
    m.geopackages = n / 50;
    m.geojsons = n * 3 / 100;
    m.netcdfs = n / 100;
    m.drawings = std::max<long>(2, n / 2000);
    m.others = n - m.Entries();
    return m;
}

void MakeTodaysFolder(const std::string& dir, const std::string& t, const TodaysMix& m) {
    fs::create_directories(dir + "/sub1");
    fs::create_directories(dir + "/sub2");
    for (long i = 0; i < m.shapefiles; ++i) CopyShapefile(t, static_cast<int>(i % 3), dir + "/s" + std::to_string(i));
    for (long i = 0; i < m.cogs; ++i) CopyAs(t + "/c.tif", dir + "/c" + std::to_string(i) + ".tif");
    for (long i = 0; i < m.geopackages; ++i) CopyAs(t + "/g.gpkg", dir + "/g" + std::to_string(i) + ".gpkg");
    for (long i = 0; i < m.geojsons; ++i) CopyAs(t + "/j.geojson", dir + "/j" + std::to_string(i) + ".geojson");
    if (!fs::exists(t + "/n.nc")) Die("this GDAL has no netCDF driver: the netCDF template was not written");
    for (long i = 0; i < m.netcdfs; ++i) CopyAs(t + "/n.nc", dir + "/n" + std::to_string(i) + ".nc");
    for (long i = 0; i < m.drawings; ++i) CopyAs(t + "/d.dxf", dir + "/d" + std::to_string(i) + ".dxf");
    static const char* const kOther[] = {".txt", ".pdf", ".xlsx", ".docx", ".csv", ".html", ".zip", ".xml"};
    for (long i = 0; i < m.others; ++i) {
        std::ofstream f(dir + "/o" + std::to_string(i) + kOther[i % 8]);
        f << "x";
    }
}

} // namespace marbrook::bench
