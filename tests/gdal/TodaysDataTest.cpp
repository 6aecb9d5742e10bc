// Today's data on the real GDAL back end: GeoPackages, file geodatabases,
// SpatiaLite, single-file vector formats, rasters found by what they are,
// and files of several grids, all written by GDAL in the test.
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/CLayerObj.h"
#include "catalogue/basOpenDialogs.h"
#include "connections/DatabaseListings.h"
#include "platform/gdal/detail/DataFiles.h"
#include "platform/gdal/detail/FileStores.h"
#include "tests/doubles/ProgramRun.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

namespace fs = std::filesystem;
using testing::AddFeature;
using testing::CountWithGdal;
using testing::CreateVector;
using testing::GdalWorld;
using testing::TempDir;
using testing::WriteFile;
using testing::WriteRaster;

// A GeoPackage of points, polygons, an attribute table and a tiled raster.
void WriteGeoPackage(const std::string& path) {
    gdal::InitGdal();
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    testing::OwnedDataset src(mem->Create("", 8, 8, 1, GDT_Byte, nullptr));
    double gt[6] = {100, 1, 0, 200, 0, -1};
    src->SetGeoTransform(gt);
    const auto srs = testing::SpatialReference(3857);
    src->SetSpatialRef(srs.get());
    const char* rasterOptions[] = {"RASTER_TABLE=elevation", nullptr};
    GDALDriver* gpkg = GetGDALDriverManager()->GetDriverByName("GPKG");
    testing::OwnedDataset raster(gpkg->CreateCopy(path.c_str(), src.get(), FALSE, const_cast<char**>(rasterOptions), nullptr, nullptr));
    ASSERT_TRUE(raster);
    raster.reset();
    testing::OwnedDataset ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    ASSERT_TRUE(ds);
    OGRLayer* wells = ds->CreateLayer("wells", srs.get(), wkbPoint, nullptr);
    AddFeature(*wells, "POINT (1 2)");
    AddFeature(*wells, "POINT (3 4)");
    OGRLayer* parcels = ds->CreateLayer("parcels", srs.get(), wkbMultiPolygon, nullptr);
    AddFeature(*parcels, "MULTIPOLYGON (((0 0,0 1,1 1,0 0)))");
    OGRLayer* owners = ds->CreateLayer("owners", nullptr, wkbNone, nullptr);
    OGRFieldDefn field("name", OFTString);
    ASSERT_EQ(owners->CreateField(&field), OGRERR_NONE);
    OGRFeature f(owners->GetLayerDefn());
    f.SetField("name", "A");
    ASSERT_EQ(owners->CreateFeature(&f), OGRERR_NONE);
}

// A file geodatabase with a feature dataset "hydro" (points and lines), a
// polygon class at the top level and a table.
void WriteFileGeodatabase(const std::string& path) {
    auto ds = CreateVector("OpenFileGDB", path);
    const auto srs = testing::SpatialReference(4326);
    const char* inHydro[] = {"FEATURE_DATASET=hydro", nullptr};
    OGRLayer* wells = ds->CreateLayer("wells", srs.get(), wkbPoint, const_cast<char**>(inHydro));
    ASSERT_TRUE(wells);
    AddFeature(*wells, "POINT (1 2)");
    OGRLayer* rivers = ds->CreateLayer("rivers", srs.get(), wkbLineString, const_cast<char**>(inHydro));
    AddFeature(*rivers, "LINESTRING (0 0,1 1)");
    OGRLayer* lakes = ds->CreateLayer("lakes", srs.get(), wkbPolygon, nullptr);
    AddFeature(*lakes, "POLYGON ((0 0,0 1,1 1,0 0))");
    OGRLayer* gauges = ds->CreateLayer("gauges", nullptr, wkbNone, nullptr);
    OGRFieldDefn field("code", OFTString);
    ASSERT_EQ(gauges->CreateField(&field), OGRERR_NONE);
}

const char* const kMixedGeoJson =
    R"({"type":"FeatureCollection","features":[)"
    R"({"type":"Feature","properties":{},"geometry":{"type":"Point","coordinates":[1,2]}},)"
    R"({"type":"Feature","properties":{},"geometry":{"type":"LineString","coordinates":[[1,2],[3,4]]}},)"
    R"({"type":"Feature","properties":{},"geometry":{"type":"Polygon","coordinates":[[[0,0],[1,0],[1,1],[0,0]]]}},)"
    R"({"type":"Feature","properties":{},"geometry":{"type":"Point","coordinates":[5,6]}}]})";

void WriteOneLayer(const char* driver, const std::string& path, const char* layerName, OGRwkbGeometryType type,
                   const std::vector<std::string>& wkts, char** options = nullptr) {
    auto ds = CreateVector(driver, path);
    const auto srs = testing::SpatialReference(4326);
    OGRLayer* layer = ds->CreateLayer(layerName, srs.get(), type, options);
    ASSERT_TRUE(layer) << path;
    for (const auto& wkt : wkts) AddFeature(*layer, wkt);
}

// Two layers of a KML are two folders.
void WriteKmlWithFolders(const std::string& path) {
    auto ds = CreateVector("KML", path);
    OGRLayer* a = ds->CreateLayer("stations", nullptr, wkbPoint, nullptr);
    AddFeature(*a, "POINT (1 2)");
    OGRLayer* b = ds->CreateLayer("routes", nullptr, wkbLineString, nullptr);
    AddFeature(*b, "LINESTRING (1 2,3 4)");
}

void WriteNetcdfOfTwoGrids(const std::string& path) {
    gdal::InitGdal();
    GDALDriver* nc = GetGDALDriverManager()->GetDriverByName("netCDF");
    testing::OwnedDataset ds(nc->CreateMultiDimensional(path.c_str(), nullptr, nullptr));
    ASSERT_TRUE(ds);
    auto root = ds->GetRootGroup();
    auto y = root->CreateDimension("y", "", "", 3, nullptr);
    auto x = root->CreateDimension("x", "", "", 4, nullptr);
    for (const char* name : {"temperature", "rain"})
        ASSERT_TRUE(root->CreateMDArray(name, {y, x}, GDALExtendedDataType::Create(GDT_Float32), nullptr)) << name;
}

// Every new format in one folder, with a shapefile and a GeoTIFF of the
// formats the listing always knew.
struct TodaysFolder {
    TodaysFolder() {
        const std::string d = dir.Path();
        WriteGeoPackage(d + "/city.gpkg");
        WriteFileGeodatabase(d + "/water.gdb");
        WriteFile(d + "/mixed.geojson", kMixedGeoJson);
        WriteOneLayer("GeoJSON", d + "/trails.geojson", "trails", wkbLineString, {"LINESTRING (0 0,1 1)"});
        WriteOneLayer("FlatGeobuf", d + "/sites.fgb", "sites", wkbPoint, {"POINT (1 1)", "POINT (2 2)"});
        WriteOneLayer("MapInfo File", d + "/zones.tab", "zones", wkbPolygon, {"POLYGON ((0 0,0 1,1 1,0 0))"});
        WriteOneLayer("GPX", d + "/walk.gpx", "waypoints", wkbPoint, {"POINT (1 1)"});
        WriteOneLayer("GML", d + "/plots.gml", "plots", wkbPolygon, {"POLYGON ((0 0,0 1,1 1,0 0))"});
        WriteKmlWithFolders(d + "/lines.kml");
        WriteFile(d + "/points.csv", "id,WKT\n1,\"POINT (1 2)\"\n2,\"POINT (3 4)\"\n");
        WriteFile(d + "/table.csv", "id,x,y\n1,1,2\n");
        WriteFile(d + "/data.json", R"({"name": "not a map"})");
        WriteFile(d + "/notes.db", "not a database");
        testing::WriteShapefile(d, "roads", wkbLineString, {"LINESTRING (0 0,1 1)"});
        WriteRaster("GTiff", d + "/dem.tif", 4, 4);
        haveNetcdf = GetGDALDriverManager()->GetDriverByName("netCDF") != nullptr;
        if (haveNetcdf) WriteNetcdfOfTwoGrids(d + "/climate.nc");
    }
    TempDir dir;
    bool haveNetcdf = false;
};

struct Entry {
    std::int16_t location;
    std::int16_t type;
    std::string desc;
    bool operator==(const Entry&) const = default;
};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::map<std::string, Entry> ByName(const DataItems& items, long count) {
    std::map<std::string, Entry> out;
    for (long i = 1; i <= count; ++i) {
        const DataItem& e = items.at(static_cast<std::size_t>(i));
        out[e.DataName] = {e.DataLocation, e.DataType, e.DataTypeDesc};
    }
    return out;
}

std::vector<std::string> Names(const DataItems& items, long count) {
    std::vector<std::string> out;
    for (long i = 1; i <= count; ++i) out.push_back(items.at(static_cast<std::size_t>(i)).DataName);
    return out;
}

TEST(TodaysData, AFolderListsEveryStoreAndEveryDatasetByFilter) {
    TodaysFolder folder;
    GdalWorld w;
    const std::map<std::string, Entry> stores = {
        {"city.gpkg", {dlPersonalGdb, dtGeoPackage, "GeoPackage数据库"}},
        {"water.gdb", {dlPersonalGdb, dtFileGeodatabase, "文件地理数据库"}},
        {"mixed.geojson", {dlPersonalGdb, dtVectorFile, "矢量数据文件"}},
        {"lines.kml", {dlPersonalGdb, dtVectorFile, "矢量数据文件"}},
    };
    const std::map<std::string, Entry> vectors = {
        {"roads.shp", {dlDatabaseRoot, dtLineFeatureClass, "Shape File"}},
        {"trails.geojson", {dlDatabaseRoot, dtLineFeatureClass, "GeoJSON File"}},
        {"sites.fgb", {dlDatabaseRoot, dtPointFeatureClass, "FlatGeobuf File"}},
        {"zones.tab", {dlDatabaseRoot, dtPolygonFeatureClass, "MapInfo File"}},
        {"walk.gpx", {dlDatabaseRoot, dtPointFeatureClass, "GPX File"}},
        {"plots.gml", {dlDatabaseRoot, dtPolygonFeatureClass, "GML File"}},
        {"points.csv", {dlDatabaseRoot, dtPointFeatureClass, "CSV File"}},
    };
    const std::map<std::string, Entry> rasters = {{"dem.tif", {dlDatabaseRoot, dtRasterFile, "RasterDataset"}}};
    auto withNetcdf = stores;
    if (folder.haveNetcdf) withNetcdf["climate.nc"] = {dlPersonalGdb, dtMultiRasterFile, "多数据集栅格文件"};

    for (const std::int16_t filter : {0, 1, 2, 3, 4, 5}) {
        SCOPED_TRACE("filter " + std::to_string(filter));
        std::string path = folder.dir.Path();
        DataItems items;
        const long n = GetSubFolderFiles(w.p, path, items, filter);
        std::map<std::string, Entry> expected = withNetcdf; // stores are listed under every filter
        if (filter == 0 || filter == 1) expected.insert(vectors.begin(), vectors.end());
        if (filter == 0 || filter == 2) expected.insert(rasters.begin(), rasters.end());
        EXPECT_EQ(ByName(items, n), expected);
        // Stores with the files, before the datasets.
        const auto names = Names(items, n);
        const auto at = [&](const std::string& name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
        if (filter == 0) {
            EXPECT_LT(at("water.gdb"), at("roads.shp"));
            EXPECT_LT(at("roads.shp"), at("trails.geojson"));
            EXPECT_LT(at("trails.geojson"), at("dem.tif"));
        }
    }
    EXPECT_TRUE(w.t.LogEntries().empty());
    if (!folder.haveNetcdf) GTEST_SKIP() << "this GDAL has no netCDF driver: the netCDF file was not written";
}

TEST(TodaysData, StoresOpenLikePersonalGeodatabases) {
    TodaysFolder folder;
    GdalWorld w;
    const std::string d = folder.dir.Path();
    struct Case {
        std::string store;
        std::int16_t filter;
        std::map<std::string, Entry> expected;
    };
    const std::vector<Case> cases = {
        {"city.gpkg", 0,
         {{"wells", {dlPersonalGdb, dtPointFeatureClass, "Feature Class"}},
          {"parcels", {dlPersonalGdb, dtPolygonFeatureClass, "Feature Class"}},
          {"elevation", {dlPersonalGdb, dtRasterDataset, "Raster Dataset"}}}},
        // A raster is a geographic dataset too: listed unclassified, as in a .mdb.
        {"city.gpkg", 3,
         {{"wells", {dlPersonalGdb, dtPointFeatureClass, "Feature Class"}},
          {"parcels", {dlPersonalGdb, dtPolygonFeatureClass, "Feature Class"}},
          {"elevation", {dlPersonalGdb, dtUnclassified, ""}}}},
        {"city.gpkg", 4, {{"elevation", {dlPersonalGdb, dtRasterDataset, "Raster Dataset"}}}},
        {"city.gpkg", 1, {}},
        {"water.gdb", 0,
         {{"hydro", {dlPgdbFeatureDataset, dtFeatureDataset, "Feature Dataset"}},
          {"lakes", {dlPersonalGdb, dtPolygonFeatureClass, "Feature Class"}}}},
        {"water.gdb", 4, {}},
        {"mixed.geojson", 0,
         {{"Point", {dlPersonalGdb, dtPointFeatureClass, "Feature Class"}},
          {"Polyline", {dlPersonalGdb, dtLineFeatureClass, "Feature Class"}},
          {"Polygon", {dlPersonalGdb, dtPolygonFeatureClass, "Feature Class"}}}},
        {"lines.kml", 3,
         {{"stations", {dlPersonalGdb, dtPointFeatureClass, "Feature Class"}},
          {"routes", {dlPersonalGdb, dtLineFeatureClass, "Feature Class"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.store + " filter " + std::to_string(c.filter));
        DataItems items(1);
        const long n = GetPGMdbFiles(w.p, d + "/" + c.store, items, c.filter);
        EXPECT_EQ(ByName(items, n), c.expected);
    }
    // The feature dataset of the file geodatabase, and its table.
    DataItems members;
    const long n = OpenFeatureDatasetFromPGeoDBEx(w.p, d + "/water.gdb", "hydro", members, 0);
    EXPECT_EQ(ByName(members, n), (std::map<std::string, Entry>{
                                      {"wells", {dlDatabaseRoot, dtSdePointFeatureClass, "Feature Class"}},
                                      {"rivers", {dlDatabaseRoot, dtSdeLineFeatureClass, "Feature Class"}}}));
    if (folder.haveNetcdf) {
        DataItems grids(1);
        const long g = GetPGMdbFiles(w.p, d + "/climate.nc", grids, 4);
        EXPECT_EQ(Names(grids, g), (std::vector<std::string>{"temperature", "rain"}));
    }
    EXPECT_TRUE(w.t.LogEntries().empty());
}

std::shared_ptr<CLayerObj> Chosen(const DataItem& e) {
    auto item = std::make_shared<CLayerObj>();
    item->DataName(e.DataName);
    item->DataFullName(e.DataFullName);
    item->DataLocation(e.DataLocation);
    item->DataType(LayerTypeOf(e.DataType).value_or(0));
    item->pDataSetObj(e.pDataSetObj);
    return item;
}

DataItem Find(const DataItems& items, long n, const std::string& name) {
    for (long i = 1; i <= n; ++i)
        if (items.at(static_cast<std::size_t>(i)).DataName == name) return items.at(static_cast<std::size_t>(i));
    ADD_FAILURE() << "no entry " << name;
    return {};
}

TEST(TodaysData, AddBuildsLayersOfEveryStoreInGroupOrder) {
    TodaysFolder folder;
    GdalWorld w;
    const std::string d = folder.dir.Path();
    std::string path = d;
    DataItems top;
    const long n = GetSubFolderFiles(w.p, path, top, 0);
    DataItems gpkg(1);
    const long g = GetPGMdbFiles(w.p, d + "/city.gpkg", gpkg, 0);
    DataItems mixed(1);
    const long m = GetPGMdbFiles(w.p, d + "/mixed.geojson", mixed, 0);
    DataItems gdb(1);
    const long f = GetPGMdbFiles(w.p, d + "/water.gdb", gdb, 0);

    Collection items;
    // Chosen raster first and points last: Add puts them in group order.
    items.Add(Chosen(Find(gpkg, g, "elevation")));
    items.Add(Chosen(Find(top, n, "zones.tab")));
    items.Add(Chosen(Find(mixed, m, "Polyline")));
    items.Add(Chosen(Find(gdb, f, "hydro")));
    items.Add(Chosen(Find(top, n, "points.csv")));
    items.Add(Chosen(Find(gpkg, g, "wells")));
    ASSERT_TRUE(AddLayersBySort(w.p, items));
    std::vector<std::string> names;
    std::vector<std::string> counts;
    for (long i = 1; i <= items.Count(); ++i) {
        auto layer = std::dynamic_pointer_cast<gis::Layer>(items.Item(i));
        ASSERT_TRUE(layer);
        names.push_back(layer->Name());
        if (auto feature = std::dynamic_pointer_cast<gis::FeatureLayer>(layer))
            counts.push_back(layer->Name() + "=" + std::to_string(feature->GetFeatureClass()->FeatureCount()));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"wells", "points.csv", "wells", "Polyline", "rivers", "zones.tab", "elevation"}));
    // A mixed file's class holds only its kind of features.
    EXPECT_NE(std::find(counts.begin(), counts.end(), "Polyline=1"), counts.end());
    EXPECT_NE(std::find(counts.begin(), counts.end(), "points.csv=2"), counts.end());
    EXPECT_TRUE(w.t.LogEntries().empty());
}

// The names a workspace of `kind` at `path` lists, every kind of dataset.
std::vector<gis::DatasetNamePtr> ListedNames(GdalWorld& w, gis::FactoryKind kind, const std::string& path) {
    return w.gis->CreateWorkspaceFactory(kind)->OpenWorkspaceFromFile(path, 0)->ListDatasetNames(gis::kind::kAny);
}

gis::DatasetNamePtr NameIn(const std::vector<gis::DatasetNamePtr>& names, const std::string& name) {
    for (const auto& n : names)
        if (n->Name() == name) return n;
    ADD_FAILURE() << "no dataset " << name;
    return nullptr;
}

// Where each of today's datasets is, for programs: its source, read by plain
// GDAL, gives the features or the grid the library reads.
TEST(TodaysData, EverySourceOpensTheSameDataInPlainGdal) {
    TodaysFolder folder;
    GdalWorld w;
    const std::string d = folder.dir.Path();
    // An SQLite database with a geometry column: a SpatiaLite store.
    WriteOneLayer("SQLite", d + "/towns.sqlite", "towns", wkbPoint, {"POINT (1 2)", "POINT (3 4)"});
    const auto inFolder = ListedNames(w, gis::FactoryKind::DataFile, d);
    const auto inStore = [&](const std::string& store) {
        return ListedNames(w, gis::FactoryKind::PersonalGeodatabase, d + "/" + store);
    };

    struct Row {
        std::string store;   // "" for a dataset of the folder; "STORE/DATASET" for a member
        std::string name;
        std::string driver;
        std::string file;    // the path, under the folder
        std::vector<std::string> layers;
        bool filtered;       // one geometry kind of a mixed layer
    };
    const std::vector<Row> rows = {
        {"", "trails.geojson", "GeoJSON", "trails.geojson", {"trails"}, false},
        {"", "sites.fgb", "FlatGeobuf", "sites.fgb", {"sites"}, false},
        {"", "zones.tab", "MapInfo File", "zones.tab", {"zones"}, false},
        {"", "walk.gpx", "GPX", "walk.gpx", {"waypoints"}, false},
        {"", "plots.gml", "GML", "plots.gml", {"plots"}, false},
        {"", "points.csv", "CSV", "points.csv", {"points"}, false},
        {"city.gpkg", "wells", "GPKG", "city.gpkg", {"wells"}, false},
        {"city.gpkg", "parcels", "GPKG", "city.gpkg", {"parcels"}, false},
        {"water.gdb", "lakes", "OpenFileGDB", "water.gdb", {"lakes"}, false},
        {"water.gdb/hydro", "rivers", "OpenFileGDB", "water.gdb", {"rivers"}, false},
        {"water.gdb/hydro", "wells", "OpenFileGDB", "water.gdb", {"wells"}, false},
        {"mixed.geojson", "Point", "GeoJSON", "mixed.geojson", {"mixed"}, true},
        {"mixed.geojson", "Polyline", "GeoJSON", "mixed.geojson", {"mixed"}, true},
        {"mixed.geojson", "Polygon", "GeoJSON", "mixed.geojson", {"mixed"}, true},
        {"lines.kml", "routes", "KML", "lines.kml", {"routes"}, false},
        {"towns.sqlite", "towns", "SQLite", "towns.sqlite", {"towns"}, false},
    };
    long long seen = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.store + " " + row.name);
        gis::DatasetNamePtr name;
        if (row.store.empty()) {
            name = NameIn(inFolder, row.name);
        } else if (const auto slash = row.store.find('/'); slash != std::string::npos) {
            const auto dataset = NameIn(inStore(row.store.substr(0, slash)), row.store.substr(slash + 1));
            if (dataset) name = NameIn(dataset->SubsetNames(), row.name);
        } else {
            name = NameIn(inStore(row.store), row.name);
        }
        if (!name) continue;
        const gis::DataSourceInfo source = name->SourceInfo().value();
        EXPECT_EQ(source.driver, row.driver);
        EXPECT_EQ(source.path, d + "/" + row.file);
        EXPECT_EQ(source.layers, row.layers);
        EXPECT_EQ(source.filter.empty(), !row.filtered) << source.filter;
        EXPECT_TRUE(source.connection.empty() && source.subdataset.empty());
        const long long ours = gis::AsFeatureClass(w.gis->OpenName(*name))->FeatureCount();
        EXPECT_EQ(CountWithGdal(source), ours);
        // A layer made of it tells the same.
        auto layer = w.gis->NewFeatureLayer(gis::LayerKind::Feature);
        layer->SetFeatureClass(gis::AsFeatureClass(w.gis->OpenName(*name)));
        EXPECT_EQ(layer->SourceInfo(), source);
        seen += ours;
    }
    EXPECT_EQ(seen, 21); // not a comparison of empty classes

    // A store's own entry tells its file and driver, and no layer.
    struct StoreRow {
        std::string name;
        std::string driver;
    };
    std::vector<StoreRow> stores = {
        {"city.gpkg", "GPKG"}, {"water.gdb", "OpenFileGDB"}, {"mixed.geojson", "GeoJSON"}, {"lines.kml", "KML"},
        {"towns.sqlite", "SQLite"}};
    if (folder.haveNetcdf) stores.push_back({"climate.nc", "netCDF"});
    for (const StoreRow& row : stores) {
        SCOPED_TRACE(row.name);
        const auto name = NameIn(inFolder, row.name);
        if (!name) continue;
        const gis::DataSourceInfo source = name->SourceInfo().value();
        EXPECT_EQ(source.driver, row.driver);
        EXPECT_EQ(source.path, d + "/" + row.name);
        EXPECT_TRUE(source.layers.empty() && source.filter.empty() && source.subdataset.empty());
    }

    // One grid of a file of several: GDAL's own name of it opens the grid
    // the library reads, and a raster layer tells the driver that read it.
    struct GridRow {
        std::string store;
        std::string name;
        std::string driver;
        std::string subdatasetStart;
    };
    std::vector<GridRow> grids = {{"city.gpkg", "elevation", "GPKG", "GPKG:" + d + "/city.gpkg:elevation"}};
    if (folder.haveNetcdf) grids.push_back({"climate.nc", "rain", "netCDF", "NETCDF:"});
    for (const GridRow& row : grids) {
        SCOPED_TRACE(row.store + " " + row.name);
        const auto name = NameIn(inStore(row.store), row.name);
        if (!name) continue;
        const gis::DataSourceInfo source = name->SourceInfo().value();
        EXPECT_EQ(source.path, d + "/" + row.store);
        EXPECT_EQ(source.layers, std::vector<std::string>{row.name});
        EXPECT_EQ(source.subdataset.rfind(row.subdatasetStart, 0), 0u) << source.subdataset;
        auto layer = w.gis->NewRasterLayer();
        layer->CreateFromDataset(gis::AsRasterDataset(w.gis->OpenName(*name)));
        const gis::RasterDatasetPtr ours = layer->GetRasterDataset();
        EXPECT_EQ(layer->SourceInfo().value().driver, row.driver);
        EXPECT_EQ(layer->SourceInfo().value().subdataset, source.subdataset);
        testing::OwnedDataset plain(GDALDataset::Open(source.subdataset.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
        ASSERT_TRUE(plain) << source.subdataset;
        EXPECT_EQ(plain->GetRasterXSize(), ours->Width());
        EXPECT_EQ(plain->GetRasterYSize(), ours->Height());
    }
    EXPECT_TRUE(w.t.LogEntries().empty());
    if (!folder.haveNetcdf) GTEST_SKIP() << "this GDAL has no netCDF driver: the netCDF file was not written";
}

TEST(TodaysData, RastersAreFoundByWhatTheyAreWithTheirSidecarsHidden) {
    TempDir dir;
    const std::string d = dir.Path();
    WriteRaster("EHdr", d + "/heights.flt", 4, 4, 4326);
    WriteRaster("ENVI", d + "/scene.dat", 4, 4);
    WriteRaster("VRT", d + "/mosaic.vrt", 4, 4);
    WriteRaster("COG", d + "/ortho.tif", 4, 4);
    WriteRaster("SAGA", d + "/slope.sdat", 4, 4);
    WriteRaster("NITF", d + "/image.ntf", 4, 4);
    fs::rename(d + "/image.ntf", d + "/image.nsf");
    WriteRaster("HFA", d + "/land.img", 4, 4);
    WriteFile(d + "/dem.tif.aux.xml", "<PAMDataset/>");
    WriteFile(d + "/ortho.tfw", "1\n0\n0\n-1\n100\n200\n");
    WriteFile(d + "/report.txt", "hello");
    WriteFile(d + "/noise.dat", "no header beside it");
    if (GetGDALDriverManager()->GetDriverByName("DTED")) {
        gdal::InitGdal();
        GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
        testing::OwnedDataset src(mem->Create("", 121, 121, 1, GDT_Int16, nullptr));
        double gt[6] = {10 - 1.0 / 240, 1.0 / 120, 0, 51 + 1.0 / 240, 0, -1.0 / 120};
        src->SetGeoTransform(gt);
        const auto srs = testing::SpatialReference(4326);
        src->SetSpatialRef(srs.get());
        testing::OwnedDataset out(GetGDALDriverManager()->GetDriverByName("DTED")->CreateCopy(
            (d + "/cell.dt1").c_str(), src.get(), FALSE, nullptr, nullptr, nullptr));
    }
    std::vector<std::string> expected = {"heights.flt", "scene.dat", "mosaic.vrt", "ortho.tif", "slope.sdat", "image.nsf", "land.img"};
    if (fs::exists(d + "/cell.dt1")) expected.push_back("cell.dt1");
    // An Arc/Info grid whose files are named in upper case.
    if (testing::HaveSharedDir()) {
        const std::string grid = d + "/elev";
        fs::create_directory(grid);
        for (const auto& entry : fs::directory_iterator(testing::Sample("aig/abc3x1")))
            fs::copy_file(entry.path(), grid + "/" + Upper(entry.path().filename().string()));
        expected.push_back("elev");
    }
    for (const auto& e : fs::directory_iterator(d))
        if (e.path().extension() == ".xml" && e.path().filename() != "dem.tif.aux.xml") fs::remove(e.path());

    GdalWorld w;
    std::string path = d;
    DataItems items;
    const long n = GetSubFolderFiles(w.p, path, items, 2);
    std::vector<std::string> rasters;
    for (long i = 1; i <= n; ++i)
        if (items.at(static_cast<std::size_t>(i)).DataType == dtRasterFile) rasters.push_back(items.at(static_cast<std::size_t>(i)).DataName);
    std::sort(rasters.begin(), rasters.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rasters, expected);
    EXPECT_TRUE(w.t.LogEntries().empty());
}

TEST(TodaysData, ByteChecksTellTheFormatsApart) {
    using namespace std::string_literals;
    std::string gpkg = "SQLite format 3\0"s + std::string(52, '\0') + "GPKG" + std::string(28, '\0');
    std::string sqlite = "SQLite format 3\0"s + std::string(84, '\0');
    EXPECT_TRUE(gdal::IsGeoPackageHead(gpkg));
    EXPECT_FALSE(gdal::IsGeoPackageHead(sqlite));
    EXPECT_TRUE(gdal::IsSqliteHead(sqlite));
    EXPECT_FALSE(gdal::IsSqliteHead(gpkg.substr(0, 15)));
    EXPECT_TRUE(gdal::IsMultiGridHead("CDF\x01rest"s));
    EXPECT_TRUE(gdal::IsMultiGridHead("\x89HDF\r\n\x1a\nrest"s));
    EXPECT_FALSE(gdal::IsMultiGridHead("CDF"));
    struct Row {
        const char* ext;
        std::string head;
        const char* driver;
    };
    const std::vector<Row> rows = {
        {"GEOJSON", "\xEF\xBB\xBF {\"type\": \"FeatureCollection\"", "GeoJSON"},
        {"JSON", "{\"type\":\"Feature\",\"geometry\":null}", "GeoJSON"},
        {"JSON", "{\"type\":\"config\"}", nullptr},
        {"GEOJSON", "[1,2]", nullptr},
        {"FGB", "fgb\x03" "fgb\x01" "xx", "FlatGeobuf"},
        {"FGB", "fgb\x02" "fgb\x01" "xx", nullptr},
        {"KML", "<?xml version=\"1.0\"?><kml xmlns=", "KML"},
        {"GPX", "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"", "GPX"},
        {"GML", "<?xml version=\"1.0\"?><ogr:FeatureCollection xmlns:gml=", "GML"},
        {"TAB", "!table\n!version 300\n", "MapInfo File"},
        {"TAB", "!table\n!version 300\nDefinition Table\n  Type \"RASTER\"\n", nullptr},
        {"MIF", "Version 300\nCharset", "MapInfo File"},
        {"CSV", "id,\"WKT\",name\n1,", "CSV"},
        {"CSV", "id,x,y\n1,2,3\n", nullptr},
        {"CSV", "id,WKT", nullptr}, // the first line is cut: not judged
        {"TXT", "{\"type\": \"FeatureCollection\"", nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.ext) + ": " + r.head);
        const char* got = gdal::VectorDriverByHead(r.ext, r.head);
        EXPECT_STREQ(got, r.driver);
    }
    // The kinds a whole GeoJSON text names.
    const std::vector<std::pair<std::string, std::optional<int>>> kinds = {
        {R"({"type":"Feature","geometry":{"type" : "MultiPoint","coordinates":[]}})", gis::shape::kPoint},
        {R"({"features":[{"geometry":{"coordinates":[],"type":"LineString"}},{"geometry":{"type":"MultiLineString"}}]})",
         gis::shape::kPolyline},
        {kMixedGeoJson, 0},
        {R"({"type":"GeometryCollection","geometries":[]})", 0},
        {R"({"type":"FeatureCollection","features":[]})", 0},
        {R"({"type":"Feature","geometry":{"type":"Polygon"},"properties":{"type":"Point"}})", 0}, // taken as mixed: safe
        {R"({"geometry":{"type":"Polyg)", std::nullopt},
        {"{\"geometry\":{\"ty\\u0070e\":\"Point\"}}", std::nullopt},
    };
    for (const auto& [text, kind] : kinds) {
        SCOPED_TRACE(text);
        EXPECT_EQ(gdal::GeoJsonSingleKind(text), kind);
    }
}

} // namespace
} // namespace marbrook

namespace marbrook {
namespace {

// Damaged files of every new format: the folder still lists, each store
// fails to open with one line of reason, and no reader prints anything.
TEST(TodaysDataProgram, DamagedFilesFailQuietly) {
    using namespace std::string_literals;
    TempDir home;
    TempDir dir;
    const std::string d = dir.Path();
    const std::string noise(3000, '\x5a');
    WriteFile(d + "/grids.h5", "\x89HDF\r\n\x1a\n"s + noise);
    WriteFile(d + "/grids.nc", "CDF\x02"s + noise);
    WriteFile(d + "/grids.hdf", "\x0e\x03\x13\x01"s + noise);
    WriteFile(d + "/city.gpkg", "SQLite format 3\0"s + std::string(52, '\0') + "GPKG" + noise);
    WriteFile(d + "/towns.sqlite", "SQLite format 3\0"s + noise);
    WriteFile(d + "/cut.kml", "<?xml version=\"1.0\"?><kml><Document><Placemark><Point><coordinates>1,2");
    WriteFile(d + "/cut.gpx", "<gpx version=\"1.1\"><wpt lat=\"1\" lon=");
    WriteFile(d + "/cut.fgb", "fgb\x03" "fgb\x01"s + noise);
    fs::create_directory(d + "/broken.gdb");
    WriteFile(d + "/broken.gdb/a00000001.gdbtable", noise);

    const auto list = [&](const std::string& location) {
        return testing::RunProgram(MARBROOK_CLI, home.Path(), {"list", location});
    };
    const testing::ProgramRun folder = list(d);
    EXPECT_EQ(folder.status, 0) << folder.err;
    EXPECT_EQ(folder.err, "");
    for (const char* name : {"grids.h5", "grids.nc", "grids.hdf", "city.gpkg", "cut.kml", "cut.gpx", "broken.gdb"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(folder.out.find(std::string("\t") + name + "\t"), std::string::npos) << folder.out;
        const testing::ProgramRun inside = list(d + "/" + name);
        EXPECT_EQ(inside.status, 1);
        // One line: our own reason, nothing a library printed.
        EXPECT_EQ(std::count(inside.err.begin(), inside.err.end(), '\n'), 1) << inside.err;
        EXPECT_EQ(inside.err.find("HDF5-DIAG"), std::string::npos);
        EXPECT_EQ(inside.err.rfind("marbrook list: ", 0), 0u) << inside.err;
    }
}

} // namespace
} // namespace marbrook
