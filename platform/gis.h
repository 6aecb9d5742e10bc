#pragma once
// The GIS services the library asks of its platform: property sets, workspace
// factories, workspaces, dataset names, datasets, layers, maps and versions.
//
// Every operation throws PlatformError on failure unless it says otherwise.
// "Returns none" (a null pointer) is a result, not a failure: callers treat
// the two differently.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/object.h"

namespace marbrook::gis {

// An opaque window handle; kNoWindow (0) means "no parent window", kNoParent
// (-1) the screen as the reference of a placement.
using WindowHandle = std::intptr_t;
inline constexpr WindowHandle kNoWindow = 0;

// Dataset kinds, as listed and as reported by a dataset name.
namespace kind {
inline constexpr int kAny = 1;           // listing: every kind
inline constexpr int kGeo = 3;           // listing: geographic datasets
inline constexpr int kFeatureDataset = 4;
inline constexpr int kFeatureClass = 5;
inline constexpr int kTable = 10;
inline constexpr int kRasterDataset = 12;
inline constexpr int kRasterCatalog = 16;
inline constexpr int kCadDrawing = 17;   // a drawing as one dataset, for the CAD layer
// A store of its own found in a folder (a database file or folder, a file of
// several layers or subdatasets): it is entered and listed like a personal
// geodatabase, its path given as "DATABASE" to the personal-geodatabase
// factory.
inline constexpr int kStore = 18;
} // namespace kind

// What a store of kind::kStore is.
namespace store {
inline constexpr int kNone = 0;
inline constexpr int kFileGeodatabase = 1; // a folder *.gdb
inline constexpr int kGeoPackage = 2;
inline constexpr int kSpatiaLite = 3;      // an SQLite database with geometry
inline constexpr int kVectorFile = 4;      // a vector file of several layers or geometry kinds
inline constexpr int kRasterFile = 5;      // a raster file that may hold subdatasets
} // namespace store

// Feature kinds and shape kinds of a feature class.
namespace feature {
inline constexpr int kSimple = 1;
inline constexpr int kAnnotation = 11;
inline constexpr int kCoverageAnnotation = 12;
} // namespace feature
namespace shape {
inline constexpr int kPoint = 1;
inline constexpr int kMultipoint = 2;
inline constexpr int kPolyline = 3;
inline constexpr int kPolygon = 4;
inline constexpr int kMultiPatch = 9;
inline constexpr int kLine = 13;
} // namespace shape

// An ordered name-to-value set. Names compare case-insensitively; setting a
// name again replaces its value in place.
class PropertySet : public Object {
public:
    void SetProperty(const std::string& name, const std::string& value);
    [[nodiscard]] std::optional<std::string> GetProperty(const std::string& name) const;
    [[nodiscard]] const std::vector<std::pair<std::string, std::string>>& Properties() const noexcept { return items_; }
    [[nodiscard]] std::size_t Count() const noexcept { return items_.size(); }

private:
    std::vector<std::pair<std::string, std::string>> items_;
};
using PropertySetPtr = std::shared_ptr<PropertySet>;

// DataFile: a folder whose workspace lists the stores (kind::kStore) and the
// single-file vector datasets (kind::kFeatureClass: GeoJSON, FlatGeobuf,
// MapInfo ...) that it holds besides shapefiles, rasters and drawings.
enum class FactoryKind { SpatialDatabase, PersonalGeodatabase, Shapefile, Raster, Cad, DataFile };

class WorkspaceName;
class DatasetName;
class Workspace;
using WorkspaceNamePtr = std::shared_ptr<WorkspaceName>;
using DatasetNamePtr = std::shared_ptr<DatasetName>;
using WorkspacePtr = std::shared_ptr<Workspace>;

// Where a workspace lives: its factory kind, its path (folder, database file
// or connection file) and, for a spatial database, its connection properties.
class WorkspaceName : public Object {
public:
    WorkspaceName(FactoryKind factory, std::string path, PropertySet properties = {})
        : factory_(factory), path_(std::move(path)), properties_(std::move(properties)) {}
    [[nodiscard]] FactoryKind Factory() const noexcept { return factory_; }
    [[nodiscard]] const std::string& PathName() const noexcept { return path_; }
    [[nodiscard]] const PropertySet& ConnectionProperties() const noexcept { return properties_; }

private:
    FactoryKind factory_;
    std::string path_;
    PropertySet properties_;
};

// Feature-class details of a feature-class name.
struct FeatureClassDetails {
    int featureKind = feature::kSimple;
    int shapeKind = 0;
};

// Where a dataset of a spatial database lives: schema, table and geometry (or
// raster) column, carried apart. Names are data: they are never joined into
// one string that something would have to split again.
struct TablePath {
    std::string schema;
    std::string table;
    std::string column;
    bool operator==(const TablePath&) const = default;
};

// "schema.table (column)" for people, each name written as SQL reads it back
// (quoted when it is not a plain lower-case name): public."hydro.r" (geom).
std::string DescribeTable(const TablePath& table);

// Where the data of a dataset or a layer is, for programs: what a host that
// reads data with GDAL (or a GIS built on it) needs to open exactly that data.
// DataSourceText is the same for people. Never holds a password: that stays in
// the connection file, or in PostgreSQL's password file or service file.
struct DataSourceInfo {
    // The GDAL driver that reads it ("ESRI Shapefile", "GTiff", "DXF", "CAD",
    // "PGeo", "PostgreSQL", "PostGISRaster"); empty when GDAL finds it by
    // itself from the file.
    std::string driver;
    // The file or folder GDAL opens; empty for a table of a database.
    std::string path;
    // The layers of that file the data is read from, in GDAL's order (a
    // drawing's class spans all of them); empty when the data is the whole
    // file (a raster, a drawing).
    std::vector<std::string> layers;
    // For one grid of a file of several (a netCDF variable, a GeoPackage's
    // tile table): the name GDAL opens that grid by ("NETCDF:\"/d/f.nc\":t",
    // "GPKG:/d/f.gpkg:tiles"); empty for every other dataset.
    std::string subdataset;
    // An OGR SQL condition, as an attribute filter reads it, that selects the
    // data's features among the features of those layers (a drawing's class);
    // empty: every feature.
    std::string filter;
    // libpq's connection parameters in a fixed order (host, port, dbname,
    // user, sslmode, connect_timeout), never the password; empty for files.
    std::vector<std::pair<std::string, std::string>> connection;
    // For a database: the schema, the table and its geometry or raster
    // column (the table is empty for a schema).
    std::optional<TablePath> table;
    bool operator==(const DataSourceInfo&) const = default;
};

// A dataset name: a cheap reference to a dataset that has not been opened.
class DatasetName : public Object {
public:
    [[nodiscard]] virtual std::string Name() const = 0;
    virtual void SetName(const std::string& name) = 0;
    // One of the kind:: codes (never kAny or kGeo).
    [[nodiscard]] virtual int Kind() const = 0;
    // Members of a feature dataset or a drawing, in the platform's order;
    // empty for every other kind.
    [[nodiscard]] virtual std::vector<DatasetNamePtr> SubsetNames() const = 0;
    [[nodiscard]] virtual WorkspaceNamePtr GetWorkspaceName() const = 0;
    virtual void SetWorkspaceName(WorkspaceNamePtr name) = 0;
    // The feature-class details; none for a name that is not a feature class.
    [[nodiscard]] virtual std::optional<FeatureClassDetails> Details() const = 0;
    // For a dataset that is one file named by its stem (a shapefile): the
    // file's extension with its dot, as the file spells it (".shp", ".SHP");
    // empty when the platform does not say.
    [[nodiscard]] virtual std::string FileExtension() const { return {}; }
    // For a name of a data-file workspace: what store it is (store:: codes;
    // kNone for a single-file dataset) and the short name of its format
    // ("GeoJSON", "GeoPackage"); kNone and "" for every other name.
    [[nodiscard]] virtual int StoreKind() const { return store::kNone; }
    [[nodiscard]] virtual std::string FormatName() const { return {}; }
    // For a table of a spatial database: its schema, table and column; none
    // for every other dataset.
    [[nodiscard]] virtual std::optional<TablePath> Table() const { return std::nullopt; }
    // Where the data is, for programs; none when the platform cannot say
    // (a name of a kind that holds no data of its own may still tell its file).
    [[nodiscard]] virtual std::optional<DataSourceInfo> SourceInfo() const { return std::nullopt; }
};

// A version of a versioned spatial database.
struct VersionInfo {
    std::string name;
    std::string description;
    std::optional<std::string> parent;
};

class Workspace : public Object {
public:
    [[nodiscard]] virtual WorkspaceNamePtr Name() const = 0;
    // Dataset names of the given kind (kind::kAny and kind::kGeo included),
    // in the platform's order.
    [[nodiscard]] virtual std::vector<DatasetNamePtr> ListDatasetNames(int datasetKind) = 0;
    // The feature datasets named exactly `name`, as ListDatasetNames
    // (kind::kFeatureDataset) gives them (the default: from that list); a
    // workspace that can read one feature dataset for less than all of them
    // does so.
    [[nodiscard]] virtual std::vector<DatasetNamePtr> FeatureDatasetsNamed(const std::string& name);
    // Versions of a versioned workspace; PlatformError when it is not versioned.
    [[nodiscard]] virtual std::vector<VersionInfo> ListVersions() = 0;
};

class WorkspaceFactory : public Object {
public:
    [[nodiscard]] virtual FactoryKind Kind() const noexcept = 0;
    // Opens the workspace the properties describe ("DATABASE" for files;
    // SERVER, INSTANCE, DATABASE, USER, PASSWORD, VERSION for a spatial
    // database). Returns none when nothing could be opened without a
    // platform error to report.
    [[nodiscard]] virtual WorkspacePtr OpenWorkspace(const PropertySet& properties, WindowHandle parent) = 0;
    [[nodiscard]] virtual WorkspacePtr OpenWorkspaceFromFile(const std::string& path, WindowHandle parent) = 0;
    // Connection files (spatial-database factory only).
    [[nodiscard]] virtual PropertySet ReadConnectionProperties(const std::string& path) = 0;
    // Writes a connection file `folder`/`fileName`; returns the new file's
    // workspace name, or none when nothing was written.
    [[nodiscard]] virtual WorkspaceNamePtr CreateConnectionFile(const std::string& folder, const std::string& fileName,
                                                                const PropertySet& properties, WindowHandle parent) = 0;
    // Why the last OpenWorkspace gave none, or the last CreateConnectionFile
    // wrote nothing, for a one-line report ("" when unknown). Never holds a
    // password.
    [[nodiscard]] virtual std::string LastOpenFailure() const { return {}; }
};
using WorkspaceFactoryPtr = std::shared_ptr<WorkspaceFactory>;

// ---- Datasets ---------------------------------------------------------------

// A rectangle in the coordinates of a dataset's spatial reference.
struct Envelope {
    double xMin = 0;
    double yMin = 0;
    double xMax = 0;
    double yMax = 0;
    bool operator==(const Envelope&) const = default;
};

class Dataset : public Object {
public:
    [[nodiscard]] virtual std::string Name() const = 0;
    [[nodiscard]] virtual int Kind() const = 0;
    // The rectangle the data covers (a class of a drawing: its own
    // features'); none when it holds nothing or the platform cannot say.
    [[nodiscard]] virtual std::optional<Envelope> Extent() const { return std::nullopt; }
    // The spatial reference as "AUTHORITY:CODE" ("EPSG:4326") when it has
    // one, else as WKT; "" when the data has none.
    [[nodiscard]] virtual std::string SpatialReference() const { return {}; }
    // Where the opened data is, for programs; none when the platform cannot say.
    [[nodiscard]] virtual std::optional<DataSourceInfo> SourceInfo() const { return std::nullopt; }
};
using DatasetPtr = std::shared_ptr<Dataset>;

class FeatureClass : public Dataset {
public:
    [[nodiscard]] int Kind() const override { return kind::kFeatureClass; }
    [[nodiscard]] virtual std::string AliasName() const = 0;
    [[nodiscard]] virtual int FeatureKind() const = 0;
    [[nodiscard]] virtual int ShapeKind() const = 0;
    // Number of features, read from the data (-1 when it cannot be counted).
    [[nodiscard]] virtual long long FeatureCount() const = 0;
    [[nodiscard]] virtual DatasetNamePtr FullName() const = 0;
};
using FeatureClassPtr = std::shared_ptr<FeatureClass>;

class RasterDataset : public Dataset {
public:
    [[nodiscard]] int Kind() const override { return kind::kRasterDataset; }
    [[nodiscard]] virtual int Width() const = 0;
    [[nodiscard]] virtual int Height() const = 0;
    [[nodiscard]] virtual int BandCount() const = 0;
};
using RasterDatasetPtr = std::shared_ptr<RasterDataset>;

class CadDrawingDataset : public Dataset {
public:
    [[nodiscard]] int Kind() const override { return kind::kCadDrawing; }
    [[nodiscard]] virtual std::string FilePath() const = 0;
};
using CadDrawingDatasetPtr = std::shared_ptr<CadDrawingDataset>;

// ---- Layers -----------------------------------------------------------------

enum class LayerKind { Feature, Annotation, CoverageAnnotation, Raster, Cad };

class Layer : public Object {
public:
    [[nodiscard]] virtual LayerKind Kind() const noexcept = 0;
    [[nodiscard]] virtual std::string Name() const = 0;
    virtual void SetName(const std::string& name) = 0;
    // True while the layer's data source can be read.
    [[nodiscard]] virtual bool Valid() const = 0;
    // A short description of where the data comes from (path, table), for
    // people and for listings; never holds a password.
    [[nodiscard]] virtual std::string DataSourceText() const = 0;
    // Where the data comes from, for programs: what a host needs to open the
    // same data itself (see DataSourceInfo); none when the layer has no data
    // source or the platform cannot say.
    [[nodiscard]] virtual std::optional<DataSourceInfo> SourceInfo() const { return std::nullopt; }
};
using LayerPtr = std::shared_ptr<Layer>;

// The data-layer capability: a layer whose source can be changed.
class DataLayer {
public:
    virtual ~DataLayer() = default;
    [[nodiscard]] virtual DatasetNamePtr DataSourceName() const = 0;
    virtual void Disconnect() = 0;
    // Connects the layer to the dataset the name designates; false when the
    // dataset cannot be opened (the layer then stays invalid).
    virtual bool Connect(const DatasetName& name) = 0;
};

class FeatureLayer : public Layer, public DataLayer {
public:
    [[nodiscard]] virtual FeatureClassPtr GetFeatureClass() const = 0;
    virtual void SetFeatureClass(FeatureClassPtr featureClass) = 0;
    [[nodiscard]] virtual bool Selectable() const = 0;
    virtual void SetSelectable(bool selectable) = 0;
};
using FeatureLayerPtr = std::shared_ptr<FeatureLayer>;

class RasterLayer : public Layer {
public:
    // Builds the layer from its dataset; the layer takes the dataset's name.
    virtual void CreateFromDataset(RasterDatasetPtr dataset) = 0;
    [[nodiscard]] virtual RasterDatasetPtr GetRasterDataset() const = 0;
};
using RasterLayerPtr = std::shared_ptr<RasterLayer>;

class CadLayer : public Layer {
public:
    virtual void SetCadDrawingDataset(CadDrawingDatasetPtr dataset) = 0;
    [[nodiscard]] virtual CadDrawingDatasetPtr GetCadDrawingDataset() const = 0;
};
using CadLayerPtr = std::shared_ptr<CadLayer>;

// A map: an ordered layer list, top layer first.
class Map : public Object {
public:
    [[nodiscard]] virtual std::vector<LayerPtr> Layers() const = 0;
    // Puts `layer` at `index` (0 = top); an index past the end appends.
    virtual void InsertLayerAt(LayerPtr layer, std::size_t index) = 0;
};
using MapPtr = std::shared_ptr<Map>;

// The host's map-layer service.
class MapLayerService : public Object {
public:
    // Places `layer` in `map`: directly above `reference` when it is given and
    // in the map, else at the top of the layer list.
    virtual void InsertLayer(const LayerPtr& reference, Map& map, LayerPtr layer) = 0;
};
using MapLayerServicePtr = std::shared_ptr<MapLayerService>;

// ---- The service ------------------------------------------------------------

class GisService {
public:
    virtual ~GisService() = default;

    // Prepares the calling thread for calls into this service: the library
    // calls it first on every thread it starts (a listing off the interface
    // thread). Never throws.
    virtual void EnterThread() noexcept {}

    [[nodiscard]] virtual PropertySetPtr CreatePropertySet() { return std::make_shared<PropertySet>(); }
    [[nodiscard]] virtual WorkspaceFactoryPtr CreateWorkspaceFactory(FactoryKind kind) = 0;
    // Opens the dataset a name designates: a FeatureClass, RasterDataset or
    // CadDrawingDataset. PlatformError when it cannot be opened.
    [[nodiscard]] virtual DatasetPtr OpenName(const DatasetName& name) = 0;
    // Opens the drawing dataset `name` of a CAD workspace.
    [[nodiscard]] virtual CadDrawingDatasetPtr OpenCadDrawingDataset(Workspace& cadWorkspace, const std::string& name) = 0;

    [[nodiscard]] virtual FeatureLayerPtr NewFeatureLayer(LayerKind kind = LayerKind::Feature) = 0;
    [[nodiscard]] virtual RasterLayerPtr NewRasterLayer() = 0;
    [[nodiscard]] virtual CadLayerPtr NewCadLayer() = 0;
    [[nodiscard]] virtual MapPtr NewMap() = 0;
    [[nodiscard]] virtual MapLayerServicePtr CreateMapLayerService() = 0;
};

// Casts an opened dataset, throwing a type-mismatch PlatformError when it is
// not of the wanted kind.
FeatureClassPtr AsFeatureClass(const DatasetPtr& dataset);
RasterDatasetPtr AsRasterDataset(const DatasetPtr& dataset);
// The data-layer capability of a layer; PlatformError when it has none.
DataLayer& AsDataLayer(Layer& layer);
// The feature-class details of a name; PlatformError when it has none.
FeatureClassDetails RequireDetails(const DatasetName& name);

} // namespace marbrook::gis
