// Single-file vector formats: GeoJSON, FlatGeobuf, KML/KMZ, GML, GPX,
// MapInfo and CSV with a geometry column. A file of one layer of one
// geometry kind is one feature class, listed in its folder as a shapefile
// is; any other file is a store of its layers, one class per geometry kind
// of a mixed layer (as a drawing's classes are).
#include <sys/stat.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gdal/detail/DataFiles.h"
#include "platform/gdal/detail/FolderReader.h"

namespace marbrook::gdal {

namespace {

// A file larger than this is not read while its folder is listed: it is
// listed as a store, and its classes are found when it is entered.
constexpr off_t kSurveyLimit = 8 * 1024 * 1024;
// A GeoJSON file up to this size is judged from its bytes, read at once,
// without GDAL: its geometries name their kinds.
constexpr off_t kGeoJsonReadLimit = 256 * 1024;

struct Format {
    const char* driver;
    const char* name;
};

std::string_view SkipBlanks(std::string_view s) {
    if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
    return s;
}

bool Contains(std::string_view s, std::string_view what) { return s.find(what) != std::string_view::npos; }

bool ContainsCi(std::string_view s, std::string_view upper) {
    if (upper.size() > s.size()) return false;
    for (std::size_t i = 0; i + upper.size() <= s.size(); ++i) {
        std::size_t j = 0;
        while (j < upper.size() && UpperAscii(s[i + j]) == upper[j]) ++j;
        if (j == upper.size()) return true;
    }
    return false;
}

// Whether the first line of a CSV text names a column WKT, which GDAL reads
// as the geometry without being told to guess.
bool CsvNamesWkt(std::string_view head) {
    head = SkipBlanks(head);
    const auto end = head.find_first_of("\r\n");
    if (end == std::string_view::npos) return false; // the first line is cut: not judged
    std::string_view line = head.substr(0, end);
    while (!line.empty()) {
        const auto comma = line.find_first_of(",;\t");
        std::string_view field = line.substr(0, comma);
        while (!field.empty() && (field.front() == ' ' || field.front() == '"')) field.remove_prefix(1);
        while (!field.empty() && (field.back() == ' ' || field.back() == '"')) field.remove_suffix(1);
        if (field.size() == 3 && UpperAscii(field[0]) == 'W' && UpperAscii(field[1]) == 'K' && UpperAscii(field[2]) == 'T')
            return true;
        if (comma == std::string_view::npos) break;
        line.remove_prefix(comma + 1);
    }
    return false;
}

std::optional<Format> FormatOf(std::string_view upperExt, std::string_view head) {
    const char* driver = VectorDriverByHead(upperExt, head);
    if (!driver || !GDALGetDriverByName(driver)) return std::nullopt;
    static const std::array<Format, 8> names = {{{"GeoJSON", "GeoJSON"},
                                                 {"FlatGeobuf", "FlatGeobuf"},
                                                 {"KML", "KML"},
                                                 {"LIBKML", "KML"},
                                                 {"GML", "GML"},
                                                 {"GPX", "GPX"},
                                                 {"MapInfo File", "MapInfo"},
                                                 {"CSV", "CSV"}}};
    for (const Format& f : names)
        if (std::strcmp(f.driver, driver) == 0) return f;
    return std::nullopt;
}

SharedDatasetHandle OpenVector(const std::string& path, const char* driver) {
    const char* const drivers[] = {driver, nullptr};
    // GML would write its schema (.gfs) beside the file: nothing is written.
    const char* const gmlOptions[] = {"WRITE_GFS=NO", nullptr};
    return OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers,
                      std::strcmp(driver, "GML") == 0 ? gmlOptions : nullptr);
}

// One class of a vector file: a layer, or the features of one geometry kind
// of a mixed layer.
struct VectorClass {
    std::string layer;
    int shapeKind = 0;
    bool mixed = false;
};

constexpr std::array kClassOrder = {gis::shape::kPoint, gis::shape::kPolyline, gis::shape::kPolygon, gis::shape::kMultiPatch};

const char* ClassName(int shapeKind) {
    switch (shapeKind) {
    case gis::shape::kPoint: return "Point";
    case gis::shape::kPolyline: return "Polyline";
    case gis::shape::kPolygon: return "Polygon";
    default: return "MultiPatch";
    }
}

std::vector<VectorClass> Survey(GDALDataset& ds) {
    std::vector<VectorClass> out;
    ErrorCapture quiet;
    for (int i = 0; i < ds.GetLayerCount(); ++i) {
        OGRLayer* layer = ds.GetLayer(i);
        const OGRwkbGeometryType declared = layer->GetGeomType();
        if (declared == wkbNone) continue; // no geometry: nothing to draw
        const int shape = ShapeOfGeometry(declared);
        if (shape != 0) {
            // Empty layers of a fixed set (the routes of a GPX of tracks) are left out.
            if (layer->GetFeatureCount(TRUE) != 0) out.push_back({layer->GetName(), shape, false});
            continue;
        }
        bool seen[std::size(kClassOrder)] = {};
        layer->ResetReading();
        while (std::unique_ptr<OGRFeature> f{layer->GetNextFeature()}) {
            const OGRGeometry* g = f->GetGeometryRef();
            if (!g) continue;
            const int kind = ShapeOfGeometry(g->getGeometryType());
            for (std::size_t k = 0; k < kClassOrder.size(); ++k)
                if (kClassOrder[k] == kind) seen[k] = true;
        }
        std::size_t kinds = 0;
        for (bool s : seen) kinds += s ? 1 : 0;
        for (std::size_t k = 0; k < kClassOrder.size(); ++k)
            if (seen[k]) out.push_back({layer->GetName(), kClassOrder[k], kinds > 1});
    }
    return out;
}

// The OGR SQL condition that selects the features of one geometry kind, the
// same kinds ShapeOfGeometry counts as it (GDAL names a geometry's type in
// upper case, without its Z or M).
std::string KindCondition(int shapeKind) {
    switch (shapeKind) {
    case gis::shape::kPoint: return "OGR_GEOMETRY IN ('POINT','MULTIPOINT')";
    case gis::shape::kPolyline:
        return "OGR_GEOMETRY IN ('LINESTRING','MULTILINESTRING','CIRCULARSTRING','COMPOUNDCURVE','MULTICURVE')";
    case gis::shape::kPolygon:
        return "OGR_GEOMETRY IN ('POLYGON','MULTIPOLYGON','CURVEPOLYGON','MULTISURFACE','TRIANGLE')";
    default: return "OGR_GEOMETRY IN ('TIN','POLYHEDRALSURFACE')";
    }
}

std::optional<Format> FormatOfFile(const std::string& path) {
    return FormatOf(UpperExt(path), ReadStart(path, kProbeHeadSize));
}

} // namespace

std::optional<int> GeoJsonSingleKind(std::string_view text) noexcept {
    // An escaped name or value could hide a kind: GDAL judges such files.
    if (text.find('\\') != std::string_view::npos) return std::nullopt;
    struct Kind {
        std::string_view name;
        int shape;
    };
    static constexpr Kind kKinds[] = {{"Point", gis::shape::kPoint},           {"MultiPoint", gis::shape::kPoint},
                                      {"LineString", gis::shape::kPolyline},   {"MultiLineString", gis::shape::kPolyline},
                                      {"Polygon", gis::shape::kPolygon},       {"MultiPolygon", gis::shape::kPolygon},
                                      {"GeometryCollection", -1}};
    int found = 0;
    for (auto at = text.find("\"type\""); at != std::string_view::npos; at = text.find("\"type\"", at + 6)) {
        std::size_t i = at + 6;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
        if (i >= text.size() || text[i] != ':') continue;
        ++i;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
        if (i >= text.size() || text[i] != '"') continue;
        const auto end = text.find('"', i + 1);
        if (end == std::string_view::npos) return std::nullopt; // cut short
        const std::string_view value = text.substr(i + 1, end - i - 1);
        for (const Kind& k : kKinds) {
            if (value != k.name) continue;
            // A collection of geometries, or a second kind: not one class.
            if (k.shape < 0 || (found != 0 && found != k.shape)) return 0;
            found = k.shape;
        }
    }
    return found;
}

const char* VectorDriverByHead(std::string_view upperExt, std::string_view head) noexcept {
    const std::string_view text = SkipBlanks(head);
    if (upperExt == "GEOJSON" || upperExt == "JSON") {
        if (text.empty() || text.front() != '{') return nullptr;
        // Any JSON file is no GeoJSON: its features or geometry say so.
        if (Contains(text, "\"FeatureCollection\"") || Contains(text, "\"Feature\"")) return "GeoJSON";
        if (upperExt == "GEOJSON" && Contains(text, "\"type\"")) return "GeoJSON";
        return nullptr;
    }
    if (upperExt == "FGB") return head.size() >= 8 && head.substr(0, 3) == "fgb" && head[3] == 3 ? "FlatGeobuf" : nullptr;
    if (upperExt == "KML") return !text.empty() && text.front() == '<' && Contains(text, "<kml") ? "KML" : nullptr;
    if (upperExt == "KMZ") return head.substr(0, 4) == std::string_view("PK\x03\x04", 4) ? "LIBKML" : nullptr;
    if (upperExt == "GPX") return !text.empty() && text.front() == '<' && Contains(text, "<gpx") ? "GPX" : nullptr;
    if (upperExt == "GML" || upperExt == "XML") {
        if (text.empty() || text.front() != '<') return nullptr;
        if (upperExt == "XML" && !Contains(text, "opengis.net/gml")) return nullptr;
        return Contains(text, "gml") ? "GML" : nullptr;
    }
    if (upperExt == "TAB") {
        // A raster's .tab describes a picture beside it: the raster listing's.
        if (!ContainsCi(text.substr(0, 6), "!TABLE") || ContainsCi(text, "RASTER")) return nullptr;
        return "MapInfo File";
    }
    if (upperExt == "MIF") return ContainsCi(text.substr(0, 7), "VERSION") ? "MapInfo File" : nullptr;
    if (upperExt == "CSV") return CsvNamesWkt(head) ? "CSV" : nullptr;
    return nullptr;
}

std::optional<Identified> IdentifyVectorFile(const Probe& probe) {
    if (probe.folder) return std::nullopt;
    const auto format = FormatOf(probe.upperExt, probe.head);
    if (!format) return std::nullopt;
    Identified found{gis::store::kVectorFile, format->name, std::nullopt, format->driver};
    struct stat st{};
    if (!StatusOf(probe, st) || st.st_size > kSurveyLimit) return found;
    if (std::strcmp(format->driver, "GeoJSON") == 0 && st.st_size <= kGeoJsonReadLimit) {
        const std::string whole = static_cast<off_t>(probe.head.size()) >= st.st_size
                                      ? std::string(probe.head)
                                      : ReadStart(probe, static_cast<std::size_t>(st.st_size));
        if (const auto kind = GeoJsonSingleKind(whole)) {
            if (*kind != 0) {
                found.storeKind = gis::store::kNone;
                found.details = FeatureClassDetails{gis::feature::kSimple, *kind};
            }
            return found;
        }
    }
    try {
        const auto ds = OpenVector(*probe.path, format->driver);
        const std::vector<VectorClass> classes = Survey(*ds);
        if (classes.size() == 1) {
            found.storeKind = gis::store::kNone;
            found.details = FeatureClassDetails{gis::feature::kSimple, classes.front().shapeKind};
        }
    } catch (const PlatformError&) {
        // It says it is ours but cannot be read: listed as a store, whose
        // opening reports why.
    }
    return found;
}

gis::WorkspacePtr OpenVectorFile(const std::string& path) {
    const auto format = FormatOfFile(path);
    if (!format) throw PlatformError(errnum::kFileNotFound, kGdalSource, path + " is not a vector file this platform reads");
    const char* driver = format->driver;
    const auto ds = OpenVector(path, driver);
    const std::vector<VectorClass> classes = Survey(*ds);
    const bool singleLayer = ds->GetLayerCount() == 1;
    std::vector<StoreItem> items;
    for (const VectorClass& c : classes) {
        StoreItem item;
        item.kind = gis::kind::kFeatureClass;
        item.details = FeatureClassDetails{gis::feature::kSimple, c.shapeKind};
        // A mixed layer's classes are named by their kind, as a drawing's
        // are; in a file of several layers after their layer too.
        item.name = !c.mixed ? c.layer : singleLayer ? std::string(ClassName(c.shapeKind)) : c.layer + " " + ClassName(c.shapeKind);
        const std::string layerName = c.layer;
        const int shapeKind = c.shapeKind;
        const bool mixed = c.mixed;
        item.opener = [path, driver, layerName, shapeKind, mixed](const FileName& n) -> gis::DatasetPtr {
            auto opened = OpenVector(path, driver);
            ErrorCapture capture;
            OGRLayer* layer = opened->GetLayerByName(layerName.c_str());
            if (!layer) capture.Throw(errnum::kFileNotFound, "no layer " + layerName + " in " + path);
            FeatureFilter filter;
            if (mixed)
                filter = [shapeKind](OGRFeature& f) {
                    const OGRGeometry* g = f.GetGeometryRef();
                    return g && ShapeOfGeometry(g->getGeometryType()) == shapeKind;
                };
            return std::make_shared<OgrFeatureClass>(opened, std::vector<OGRLayer*>{layer}, n, std::move(filter));
        };
        gis::DataSourceInfo source;
        source.driver = driver;
        source.path = path;
        source.layers = {layerName};
        if (mixed) source.filter = KindCondition(shapeKind);
        item.describe = [source](const FileName&) { return source; };
        items.push_back(std::move(item));
    }
    return CatalogueWorkspace(path, std::move(items));
}

// A single-file dataset listed in its folder opens as its one class.
gis::DatasetPtr OpenSingleVectorFile(const std::string& path, const FileName& name) {
    const auto format = FormatOfFile(path);
    if (!format) throw PlatformError(errnum::kFileNotFound, kGdalSource, path + " is not a vector file this platform reads");
    auto ds = OpenVector(path, format->driver);
    const std::vector<VectorClass> classes = Survey(*ds);
    ErrorCapture capture;
    OGRLayer* layer = classes.empty() ? nullptr : ds->GetLayerByName(classes.front().layer.c_str());
    if (!layer) capture.Throw(errnum::kFileNotFound, path + " holds no features to draw");
    return std::make_shared<OgrFeatureClass>(ds, std::vector<OGRLayer*>{layer}, name, FeatureFilter{});
}

gis::DataSourceInfo SingleVectorFileSource(const std::string& path) {
    const auto format = FormatOfFile(path);
    if (!format) throw PlatformError(errnum::kFileNotFound, kGdalSource, path + " is not a vector file this platform reads");
    gis::DataSourceInfo source;
    source.driver = format->driver;
    source.path = path;
    // The layer the dataset opens as: the first that has features to draw.
    const auto ds = OpenVector(path, format->driver);
    const std::vector<VectorClass> classes = Survey(*ds);
    if (!classes.empty()) source.layers = {classes.front().layer};
    return source;
}

} // namespace marbrook::gdal
