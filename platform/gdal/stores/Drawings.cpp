// CAD workspaces: a folder, one feature dataset per drawing (.dxf, .dwg),
// whose classes are filtered views of the drawing's mixed-geometry layers.
#include "platform/gdal/detail/FileStores.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "platform/gdal/detail/FileStore.h"
#include "platform/gdal/detail/FolderReader.h"
#include "platform/gdal/reader/ReaderClient.h"

namespace marbrook::gdal {

namespace fs = std::filesystem;

namespace {

class GdalCadDrawing final : public gis::CadDrawingDataset {
public:
    GdalCadDrawing(SharedDatasetHandle ds, std::string name, std::string path)
        : ds_(std::move(ds)), name_(std::move(name)), path_(std::move(path)) {}
    std::string Name() const override { return name_; }
    std::string FilePath() const override { return path_; }
    std::optional<gis::DataSourceInfo> SourceInfo() const override;

private:
    SharedDatasetHandle ds_;
    std::string name_;
    std::string path_;
};

const char* const kCadDrivers[] = {"DXF", "CAD", nullptr};

bool IsDrawing(std::string_view file) { return HasExtensionCi(file, "DXF") || HasExtensionCi(file, "DWG"); }

// The last `n` bytes of a regular file (fewer when it is shorter; "" when
// it cannot be read, which the reading itself then reports).
std::string ReadTail(const std::string& path, std::size_t n) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {};
    std::string out;
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const auto size = static_cast<std::size_t>(st.st_size);
        const std::size_t take = std::min(size, n);
        out.resize(take);
        ssize_t got;
        do got = ::pread(fd, out.data(), take, static_cast<off_t>(size - take));
        while (got < 0 && errno == EINTR);
        out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    ::close(fd);
    return out;
}

} // namespace

bool EndsAsDxf(std::string_view tail) noexcept {
    // ASCII and binary DXF alike end with the value EOF, perhaps followed by
    // line ends, blanks, NUL bytes or old DOS end-of-file marks.
    while (!tail.empty()) {
        const char c = tail.back();
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\0' && c != '\x1a') break;
        tail.remove_suffix(1);
    }
    if (tail.size() < 3) return false;
    const std::string_view last = tail.substr(tail.size() - 3);
    return UpperAscii(last[0]) == 'E' && UpperAscii(last[1]) == 'O' && UpperAscii(last[2]) == 'F';
}

namespace {

// GDAL reads DWG in release R2000 only; any other release is refused before
// GDAL sees it, with a description that says so. A drawing of a release it
// reads is read whole by the reader program first: a damaged one crashes
// or floods there, not in the host.
void RequireReadableDrawing(const std::string& path) {
    const std::string code = ReadPrefixOrThrow(path, 6, "drawing");
    const bool dwg = UpperExt(path) == "DWG";
    if (dwg && code != kReadableDwgVersion)
        throw PlatformError(errnum::kNotSupported, kGdalSource,
                            "the drawing " + path + " is a DWG of release " + DwgRelease(code) +
                                "; only DWG R2000 (AC1015) drawings can be read");
    // GDAL reads a DXF cut short inside its entities as a smaller drawing;
    // every DXF ends with its end-of-file marker.
    if (!dwg && !EndsAsDxf(ReadTail(path, 64)))
        throw PlatformError(errnum::kInvalidFileFormat, kGdalSource,
                            "the drawing " + path + " is cut short: it does not end with the DXF end-of-file marker");
    if (!reader::ReadingHere()) reader::CheckDrawing(path);
}

SharedDatasetHandle OpenDrawing(const std::string& path) {
    RequireReadableDrawing(path);
    return OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kCadDrivers);
}

std::string FieldText(OGRFeature& f, const char* field) {
    const int i = f.GetFieldIndex(field);
    if (i < 0 || !f.IsFieldSetAndNotNull(i)) return {};
    return f.GetFieldAsString(i);
}

OGRwkbGeometryType FlatType(OGRFeature& f) {
    const OGRGeometry* g = f.GetGeometryRef();
    return g ? wkbFlatten(g->getGeometryType()) : wkbNone;
}

// Texts are points that carry a text (hatches carry their pattern name there).
bool IsText(OGRFeature& f) {
    const auto t = FlatType(f);
    return (t == wkbPoint || t == wkbMultiPoint) && !FieldText(f, "Text").empty();
}

bool IsFace(OGRFeature& f, OGRwkbGeometryType flat) {
    if (flat == wkbTIN || flat == wkbPolyhedralSurface) return true;
    const std::string sub = FieldText(f, "SubClasses");
    return sub.find("AcDbFace") != std::string::npos || sub.find("AcDbPolyFaceMesh") != std::string::npos;
}

// The fields the classes' conditions read, as a drawing's layers have them
// (the DXF driver gives "Text" and "SubClasses", the DWG driver "text" only).
struct DrawingFields {
    bool text = false;
    bool subClasses = false;
};

// The same tests as OGR SQL conditions, for hosts that read the drawing
// themselves: each selects exactly the features its class accepts.
constexpr const char* kPointTypes = "OGR_GEOMETRY IN ('POINT','MULTIPOINT')";
std::string TextCondition(const DrawingFields& f) {
    return f.text ? "(\"Text\" IS NOT NULL AND \"Text\" <> '')" : "1 = 0";
}
std::string FaceCondition(const DrawingFields& f) {
    std::string c = "(OGR_GEOMETRY IN ('TIN','POLYHEDRALSURFACE')";
    if (f.subClasses) c += " OR \"SubClasses\" LIKE '%AcDbFace%' OR \"SubClasses\" LIKE '%AcDbPolyFaceMesh%'";
    return c + ")";
}

// The classes a drawing offers, as filters over its mixed-geometry layers.
struct CadClass {
    const char* name;
    int featureKind;
    int shapeKind;
    bool (*accepts)(OGRFeature&);
    std::string (*condition)(const DrawingFields&);
};

const std::array<CadClass, 5> kCadClasses = {{
    {"Annotation", gis::feature::kCoverageAnnotation, gis::shape::kPoint, [](OGRFeature& f) { return IsText(f); },
     [](const DrawingFields& f) { return std::string(kPointTypes) + " AND " + TextCondition(f); }},
    {"Point", gis::feature::kSimple, gis::shape::kPoint,
     [](OGRFeature& f) {
         const auto t = FlatType(f);
         return (t == wkbPoint || t == wkbMultiPoint) && !IsText(f);
     },
     [](const DrawingFields& f) { return std::string(kPointTypes) + " AND NOT " + TextCondition(f); }},
    {"Polyline", gis::feature::kSimple, gis::shape::kPolyline,
     [](OGRFeature& f) {
         const auto t = FlatType(f);
         return t == wkbLineString || t == wkbMultiLineString || t == wkbCircularString || t == wkbCompoundCurve ||
                t == wkbMultiCurve;
     },
     [](const DrawingFields&) {
         return std::string("OGR_GEOMETRY IN ('LINESTRING','MULTILINESTRING','CIRCULARSTRING','COMPOUNDCURVE',"
                            "'MULTICURVE')");
     }},
    {"Polygon", gis::feature::kSimple, gis::shape::kPolygon,
     [](OGRFeature& f) {
         const auto t = FlatType(f);
         return (t == wkbPolygon || t == wkbMultiPolygon || t == wkbCurvePolygon || t == wkbMultiSurface) && !IsFace(f, t);
     },
     [](const DrawingFields& f) {
         return "OGR_GEOMETRY IN ('POLYGON','MULTIPOLYGON','CURVEPOLYGON','MULTISURFACE') AND NOT " + FaceCondition(f);
     }},
    {"MultiPatch", gis::feature::kSimple, gis::shape::kMultiPatch,
     [](OGRFeature& f) {
         const auto t = FlatType(f);
         return t != wkbNone && IsFace(f, t);
     },
     [](const DrawingFields& f) { return "OGR_GEOMETRY IS NOT NULL AND " + FaceCondition(f); }},
}};

const char* DrawingDriver(const std::string& path) { return UpperExt(path) == "DWG" ? "CAD" : "DXF"; }

// A whole drawing: the file and the driver that reads it.
gis::DataSourceInfo DrawingSource(const std::string& path) {
    gis::DataSourceInfo source;
    source.driver = DrawingDriver(path);
    source.path = path;
    return source;
}

// A class of a drawing: every layer of the drawing, and the condition of the
// class over the fields those layers have.
gis::DataSourceInfo ClassSource(const std::string& path, const CadClass& c) {
    gis::DataSourceInfo source = DrawingSource(path);
    const SharedDatasetHandle ds = OpenDrawing(path);
    int withText = 0;
    int withSubClasses = 0;
    for (int i = 0; i < ds->GetLayerCount(); ++i) {
        OGRLayer* layer = ds->GetLayer(i);
        source.layers.push_back(layer->GetName());
        // Field names are found as the library's tests find them: in any case.
        withText += layer->GetLayerDefn()->GetFieldIndex("Text") >= 0;
        withSubClasses += layer->GetLayerDefn()->GetFieldIndex("SubClasses") >= 0;
    }
    const int n = ds->GetLayerCount();
    // One condition serves every layer only when they all have the fields it
    // reads or none has: a condition naming a field a layer lacks is refused
    // by GDAL on that layer.
    if ((withText != 0 && withText != n) || (withSubClasses != 0 && withSubClasses != n))
        throw PlatformError(errnum::kNotSupported, kGdalSource,
                            "the layers of the drawing " + path + " differ in their fields: no one condition selects its " +
                                c.name + " class in all of them");
    source.filter = c.condition({withText > 0, withSubClasses > 0});
    return source;
}

std::optional<gis::DataSourceInfo> GdalCadDrawing::SourceInfo() const { return DrawingSource(path_); }

gis::CadDrawingDatasetPtr DrawingDataset(const std::string& path, const std::string& name) {
    return std::make_shared<GdalCadDrawing>(OpenDrawing(path), name, path);
}

std::vector<DatasetNamePtr> DrawingMembers(const std::string& path, const std::string& file, const WorkspaceNamePtr& ws) {
    RequireReadableDrawing(path);
    std::vector<DatasetNamePtr> out;
    for (const CadClass& c : kCadClasses) {
        const auto accepts = c.accepts;
        auto member = std::make_shared<FileName>(
            c.name, gis::kind::kFeatureClass, ws, FeatureClassDetails{c.featureKind, c.shapeKind},
            [path, accepts](const FileName& name) -> gis::DatasetPtr {
                auto ds = OpenDrawing(path);
                std::vector<OGRLayer*> layers;
                for (int i = 0; i < ds->GetLayerCount(); ++i) layers.push_back(ds->GetLayer(i));
                return std::make_shared<OgrFeatureClass>(ds, std::move(layers), name, FeatureFilter(accepts));
            });
        member->SetSourceText(path + ": " + c.name);
        member->Described([path, &c](const FileName&) { return ClassSource(path, c); });
        out.push_back(std::move(member));
    }
    out.push_back(std::make_shared<FileName>(file, gis::kind::kCadDrawing, ws, std::nullopt,
                                             [path](const FileName& n) { return DrawingDataset(path, n.Name()); })
                      ->Described([path](const FileName&) { return DrawingSource(path); }));
    return out;
}

std::vector<DatasetNamePtr> ListDrawings(const std::string& folder, int kind) {
    std::vector<DatasetNamePtr> out;
    if (!ListsKind(kind, gis::kind::kFeatureDataset)) return out;
    const auto ws = WsName(FactoryKind::Cad, folder);
    const FolderNamesPtr names = ReadFolder(folder);
    const sys::FolderContents& entries = names->contents;
    for (const std::string& file : entries.files) {
        if (!IsDrawing(file)) continue;
        const std::string path = Join(folder, file);
        out.push_back(std::make_shared<FileName>(
                          file, gis::kind::kFeatureDataset, ws, std::nullopt,
                          [path](const FileName& n) { return DrawingDataset(path, n.Name()); },
                          [path, file, ws] { return DrawingMembers(path, file, ws); })
                          ->Described([path](const FileName&) { return DrawingSource(path); }));
    }
    return out;
}

} // namespace

std::string DwgRelease(std::string_view code) {
    static const std::map<std::string, std::string, std::less<>> releases = {
        {"AC1012", "R13"},   {"AC1014", "R14"},   {"AC1015", "R2000"}, {"AC1018", "R2004"},
        {"AC1021", "R2007"}, {"AC1024", "R2010"}, {"AC1027", "R2013"}, {"AC1032", "R2018"},
    };
    const auto it = releases.find(code);
    if (it != releases.end()) return it->second + " (" + it->first + ")";
    std::string shown;
    for (char c : code) shown += (c >= 0x20 && c < 0x7f) ? c : '?';
    return shown.empty() ? std::string("unknown") : "unknown (" + shown + ")";
}

gis::WorkspaceFactoryPtr NewCadFactory() { return FolderFactory(FactoryKind::Cad, &ListDrawings); }

long long ReadDrawingHere(const std::string& path) {
    InitGdal();
    RequireReadableDrawing(path);
    const SharedDatasetHandle ds = OpenShared(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, kCadDrivers);
    std::vector<OGRLayer*> layers;
    for (int i = 0; i < ds->GetLayerCount(); ++i) layers.push_back(ds->GetLayer(i));
    return ReadEveryFeature(layers, path, false);
}

gis::CadDrawingDatasetPtr OpenCadDrawing(gis::Workspace& cadWorkspace, const std::string& name) {
    InitGdal();
    const auto ws = cadWorkspace.Name();
    if (!ws || ws->Factory() != FactoryKind::Cad)
        throw PlatformError(errnum::kTypeMismatch, kGdalSource, "the workspace is not a CAD workspace");
    const std::string path = Join(ws->PathName(), name);
    std::error_code ec;
    if (!IsDrawing(name) || !fs::is_regular_file(path, ec))
        throw PlatformError(errnum::kFileNotFound, kGdalSource, "no drawing " + path);
    return DrawingDataset(path, name);
}

} // namespace marbrook::gdal
