// The first bytes of files that a folder listing reads without GDAL: the
// 100-byte shapefile header, the raster signatures, the DWG version code and
// the data-file stores' checks (GeoPackage, SQLite, netCDF/HDF, vector files).
// The first input byte picks the extension the bytes are judged for.
//
// Properties: a shapefile header yields only the known shape kinds and is
// judged on its first 100 bytes; bytes recognised as a raster are accepted
// by that GDAL driver too (the listing then skips GDAL's own judgement, so
// a wrong yes would list a file that cannot be opened); a DWG release text
// is printable.
#include <gdal.h>
#include <cpl_vsi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/gdal/detail/DataFiles.h"
#include "platform/gdal/detail/FileStores.h"
#include "platform/gdal/GdalGis.h"

namespace gdal = marbrook::gdal;
namespace shape = marbrook::gis::shape;

namespace {

constexpr const char* kExtensions[] = {"TIF", "TIFF", "IMG", "ASC", "JPG", "PNG", "VRT", ""};
constexpr const char* kLowerExtensions[] = {"tif", "tiff", "img", "asc", "jpg", "png", "vrt", "bin"};

// Whether GDAL's own driver `driver` takes a file that holds exactly `head`.
bool DriverAccepts(const char* driver, std::string_view head, const char* lowerExt) {
    const std::string path = std::string("/vsimem/fuzz_head.") + lowerExt;
    VSILFILE* f = VSIFileFromMemBuffer(path.c_str(), reinterpret_cast<GByte*>(const_cast<char*>(head.data())),
                                       static_cast<vsi_l_offset>(head.size()), FALSE);
    if (!f) return false;
    VSIFCloseL(f);
    const char* const drivers[] = {driver, nullptr};
    const bool accepted = GDALIdentifyDriverEx(path.c_str(), GDAL_OF_RASTER, drivers, nullptr) != nullptr;
    VSIUnlink(path.c_str());
    return accepted;
}

// Whether GDAL's own vector driver `driver` takes a file that holds exactly `head`.
bool VectorDriverAccepts(const char* driver, std::string_view head, const char* lowerExt) {
    const std::string path = std::string("/vsimem/fuzz_vector_head.") + lowerExt;
    VSILFILE* f = VSIFileFromMemBuffer(path.c_str(), reinterpret_cast<GByte*>(const_cast<char*>(head.data())),
                                       static_cast<vsi_l_offset>(head.size()), FALSE);
    if (!f) return false;
    VSIFCloseL(f);
    const char* const drivers[] = {driver, nullptr};
    const bool accepted = GDALIdentifyDriverEx(path.c_str(), GDAL_OF_VECTOR, drivers, nullptr) != nullptr;
    VSIUnlink(path.c_str());
    return accepted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);

    // The shapefile header.
    const auto kind = gdal::ParseShpHeader(all);
    const auto spanKind = gdal::ParseShpHeader(std::as_bytes(std::span(data, size)));
    FUZZ_CHECK(kind == spanKind);
    if (kind) {
        FUZZ_CHECK(*kind == 0 || *kind == shape::kPoint || *kind == shape::kMultipoint || *kind == shape::kPolyline ||
                   *kind == shape::kPolygon || *kind == shape::kMultiPatch);
        FUZZ_CHECK(size >= 100);
    }
    if (size > 100) FUZZ_CHECK(gdal::ParseShpHeader(all.substr(0, 100)) == kind);

    // The raster signatures: the listing hands over at most 64 bytes.
    if (size > 0) {
        const std::size_t pick = data[0] % std::size(kExtensions);
        const std::string_view head = all.substr(1, 64);
        const char* driver = gdal::RasterDriverByHead(kExtensions[pick], head);
        if (driver) {
            gdal::InitGdal();
            if (GDALGetDriverByName(driver)) FUZZ_CHECK(DriverAccepts(driver, head, kLowerExtensions[pick]));
        }
    }

    // The data-file stores' byte checks: the first byte picks the extension,
    // the rest is the head a folder listing hands over.
    if (size > 0) {
        static const char* const kDataExtensions[] = {"GEOJSON", "JSON", "FGB", "KML", "KMZ", "GML", "XML",
                                                      "GPX", "TAB", "MIF", "CSV", "GPKG", "DB", "NC"};
        const char* ext = kDataExtensions[data[0] % std::size(kDataExtensions)];
        const std::string_view head = all.substr(1, gdal::kProbeHeadSize);
        if (gdal::IsGeoPackageHead(head)) FUZZ_CHECK(gdal::IsSqliteHead(head));
        if (gdal::IsSqliteHead(head)) FUZZ_CHECK(!gdal::IsMultiGridHead(head));
        const char* driver = gdal::VectorDriverByHead(ext, head);
        if (driver) {
            static const char* const kKnown[] = {"GeoJSON", "FlatGeobuf", "KML", "LIBKML", "GML", "GPX", "MapInfo File", "CSV"};
            FUZZ_CHECK(std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char* k) { return std::strcmp(k, driver) == 0; }));
            // A head taken for FlatGeobuf is one GDAL's own driver takes.
            gdal::InitGdal();
            if (std::strcmp(driver, "FlatGeobuf") == 0 && GDALGetDriverByName(driver))
                FUZZ_CHECK(VectorDriverAccepts(driver, head, "fgb"));
        }
        // A GeoJSON text's kinds are known shape kinds, the same every time.
        const auto jsonKind = gdal::GeoJsonSingleKind(head);
        if (jsonKind) FUZZ_CHECK(*jsonKind == 0 || *jsonKind == shape::kPoint || *jsonKind == shape::kPolyline || *jsonKind == shape::kPolygon);
        FUZZ_CHECK(jsonKind == gdal::GeoJsonSingleKind(head));
        // The same bytes are judged the same way every time.
        FUZZ_CHECK(driver == gdal::VectorDriverByHead(ext, head));
    }

    // The DWG release of a version code (the first six bytes of the file).
    const std::string release = gdal::DwgRelease(all.substr(0, 6));
    FUZZ_CHECK(!release.empty());
    for (const char c : release) FUZZ_CHECK(c >= 0x20 && c < 0x7f);
    return 0;
}
