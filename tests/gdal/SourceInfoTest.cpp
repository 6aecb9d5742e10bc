// Where a listed dataset's data is, for programs: what its source tells must
// open exactly the same data in plain GDAL as the library reads.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/gdal/detail/FileStores.h"
#include "tests/doubles/ProgramRun.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

using gis::FactoryKind;
using testing::GdalWorld;
using testing::CountWithGdal;
using testing::TempDir;

std::vector<gis::DatasetNamePtr> Listed(GdalWorld& w, FactoryKind kind, const std::string& path, int datasetKind) {
    const auto ws = w.gis->CreateWorkspaceFactory(kind)->OpenWorkspaceFromFile(path, 0);
    return ws->ListDatasetNames(datasetKind);
}

// Every feature class of every kind of store, drawing classes included: the
// source read by plain GDAL gives the library's own count.
TEST(SourceInfo, EveryFeatureClassOpensInPlainGdalWithTheLibrarysCount) {
    GdalWorld w;
    TempDir dir;
    testing::WriteShapefile(dir.Path(), "roads", wkbLineString, {"LINESTRING (0 0,1 1)", "LINESTRING (1 1,2 3)"});
    testing::WriteDxf(dir / "site.dxf");
    // A text whose text is empty is a point, and a 3D face is a multipatch.
    testing::WriteFile(dir / "faces.DXF", testing::FacesDxf());

    std::vector<gis::DatasetNamePtr> classes = Listed(w, FactoryKind::Shapefile, dir.Path(), gis::kind::kFeatureClass);
    ASSERT_EQ(classes.size(), 1u);
    std::vector<std::string> drawings = {dir / "site.dxf", dir / "faces.DXF"};
    if (testing::HaveSharedDir()) {
        for (const char* dwg : {"cad/text_mtext_attdef_r2000.dwg", "cad/triple_circles_r2000.dwg", "cad/line_r2000.dwg"})
            drawings.push_back(testing::Sample(dwg));
        for (const auto& name : Listed(w, FactoryKind::PersonalGeodatabase, testing::Sample("pgeo/sample.mdb"),
                                       gis::kind::kFeatureClass))
            classes.push_back(name);
        for (const auto& dataset : Listed(w, FactoryKind::PersonalGeodatabase, testing::Sample("pgeo/fd_sample.mdb"),
                                          gis::kind::kFeatureDataset))
            for (const auto& member : dataset->SubsetNames())
                if (member->Kind() == gis::kind::kFeatureClass) classes.push_back(member);
    } else {
        std::cout << "the .dwg and .mdb cases are left out: " << testing::NoSharedDir() << "\n";
    }
    for (const std::string& drawing : drawings) {
        const std::string folder = drawing.substr(0, drawing.rfind('/'));
        for (const auto& d : Listed(w, FactoryKind::Cad, folder, gis::kind::kFeatureDataset)) {
            if (folder + "/" + d->Name() != drawing) continue;
            for (const auto& member : d->SubsetNames())
                if (member->Kind() == gis::kind::kFeatureClass) classes.push_back(member);
        }
    }

    long long seen = 0;
    for (const gis::DatasetNamePtr& name : classes) {
        const std::optional<gis::DataSourceInfo> source = name->SourceInfo();
        ASSERT_TRUE(source) << name->Name();
        SCOPED_TRACE(source->path + " " + name->Name() + " [" + source->filter + "]");
        EXPECT_FALSE(source->driver.empty());
        EXPECT_TRUE(source->connection.empty());
        const long long ours = gis::AsFeatureClass(w.gis->OpenName(*name))->FeatureCount();
        EXPECT_EQ(CountWithGdal(*source), ours);
        seen += ours;
    }
    // Not a comparison of empty classes only.
    EXPECT_GT(seen, 10);
    EXPECT_TRUE(w.t.LogEntries().empty());
}

TEST(SourceInfo, DrawingClassesAreFiltersOverEveryLayerWholeDrawingsTheFile) {
    GdalWorld w;
    TempDir dir;
    testing::WriteDxf(dir / "site.dxf");
    const auto drawings = Listed(w, FactoryKind::Cad, dir.Path(), gis::kind::kFeatureDataset);
    ASSERT_EQ(drawings.size(), 1u);
    const gis::DataSourceInfo whole = drawings[0]->SourceInfo().value();
    EXPECT_EQ(whole.driver, "DXF");
    EXPECT_EQ(whole.path, dir / "site.dxf");
    EXPECT_TRUE(whole.layers.empty());
    EXPECT_TRUE(whole.filter.empty());
    const auto members = drawings[0]->SubsetNames();
    ASSERT_EQ(members.size(), 6u);
    EXPECT_EQ(members[5]->SourceInfo(), whole); // the drawing as one dataset, for the CAD layer
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(members[i]->Name());
        const gis::DataSourceInfo source = members[i]->SourceInfo().value();
        EXPECT_EQ(source.layers, std::vector<std::string>{"entities"});
        EXPECT_NE(source.filter, "");
    }

    if (!testing::HaveSharedDir()) GTEST_SKIP() << testing::NoSharedDir();
    // A DWG is read by another driver, one layer per drawing layer.
    const std::string dwg = testing::Sample("cad/triple_circles_r2000.dwg");
    for (const auto& d : Listed(w, FactoryKind::Cad, dwg.substr(0, dwg.rfind('/')), gis::kind::kFeatureDataset)) {
        if (d->Name() != "triple_circles_r2000.dwg") continue;
        const gis::DataSourceInfo polyline = d->SubsetNames().at(2)->SourceInfo().value();
        EXPECT_EQ(polyline.driver, "CAD");
        EXPECT_EQ(polyline.layers, (std::vector<std::string>{"0", "1", "2"}));
    }
}

TEST(SourceInfo, RastersTellTheirFileAndTheDriverThatOpenedThem) {
    GdalWorld w;
    TempDir dir;
    testing::WriteRaster("GTiff", dir / "dem.tif", 4, 3, 32633);
    const auto rasters = Listed(w, FactoryKind::Raster, dir.Path(), gis::kind::kRasterDataset);
    ASSERT_EQ(rasters.size(), 1u);
    // Listed without being opened: GDAL finds the driver from the file.
    EXPECT_EQ(rasters[0]->SourceInfo().value().path, dir / "dem.tif");
    EXPECT_EQ(rasters[0]->SourceInfo().value().driver, "");

    auto layer = w.gis->NewRasterLayer();
    layer->CreateFromDataset(gis::AsRasterDataset(w.gis->OpenName(*rasters[0])));
    const gis::DataSourceInfo opened = layer->SourceInfo().value();
    EXPECT_EQ(opened.path, dir / "dem.tif");
    EXPECT_EQ(opened.driver, "GTiff");
    EXPECT_TRUE(opened.layers.empty());
    // Where it lies: its four corners from the geotransform, and its reference.
    const gis::RasterDatasetPtr raster = layer->GetRasterDataset();
    EXPECT_EQ(raster->Extent(), (gis::Envelope{100, 197, 104, 200}));
    EXPECT_EQ(raster->SpatialReference(), "EPSG:32633");
}

// A layer re-pointed to another folder tells its new file: the source is
// told from the name as it is now, never kept from the listing.
TEST(SourceInfo, ARepointedLayerTellsItsNewSource) {
    GdalWorld w;
    TempDir a;
    TempDir b;
    testing::WriteShapefile(a.Path(), "roads", wkbLineString, {"LINESTRING (0 0,1 1)"});
    testing::WriteShapefile(b.Path(), "roads", wkbLineString, {"LINESTRING (0 0,1 1)", "LINESTRING (1 1,2 2)"});
    const auto inA = Listed(w, FactoryKind::Shapefile, a.Path(), gis::kind::kFeatureClass).at(0);
    const auto inB = Listed(w, FactoryKind::Shapefile, b.Path(), gis::kind::kFeatureClass).at(0);
    auto layer = w.gis->NewFeatureLayer(gis::LayerKind::Feature);
    layer->SetFeatureClass(gis::AsFeatureClass(w.gis->OpenName(*inA)));
    EXPECT_EQ(layer->SourceInfo().value().path, a / "roads.shp");

    gis::DatasetNamePtr source = layer->DataSourceName();
    source->SetWorkspaceName(inB->GetWorkspaceName());
    ASSERT_TRUE(layer->Connect(*source));
    const gis::DataSourceInfo now = layer->SourceInfo().value();
    EXPECT_EQ(now.path, b / "roads.shp");
    EXPECT_EQ(now.layers, std::vector<std::string>{"roads"});
    EXPECT_EQ(CountWithGdal(now), 2);
}

TEST(SourceInfo, ListAndLayersPrintTheSourceAsJson) {
    TempDir home;
    TempDir dir;
    testing::WriteShapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)", "POINT (2 2)"});
    testing::WriteDxf(dir / "site.dxf");
    std::filesystem::create_directory(dir / "sub");

    const testing::ProgramRun list = testing::RunProgram(MARBROOK_CLI, home.Path(), {"list", "--json", dir.Path()});
    ASSERT_EQ(list.status, 0) << list.err;
    const nlohmann::json entries = nlohmann::json::parse(list.out);
    ASSERT_TRUE(entries.is_array());
    std::map<std::string, nlohmann::json> byName;
    for (const auto& e : entries) byName[e.at("DataName").get<std::string>()] = e;
    ASSERT_TRUE(byName.count("wells.shp") && byName.count("site.dxf") && byName.count("sub")) << list.out;
    EXPECT_EQ(byName["wells.shp"]["DataFullName"], dir / "wells.shp");
    EXPECT_EQ(byName["wells.shp"]["DataType"], 10);
    EXPECT_EQ(byName["wells.shp"]["datasource"]["path"], dir / "wells.shp");
    EXPECT_EQ(byName["wells.shp"]["datasource"]["driver"], "ESRI Shapefile");
    EXPECT_EQ(byName["site.dxf"]["datasource"]["driver"], "DXF");
    EXPECT_TRUE(byName["sub"]["datasource"].is_null()); // a folder is no dataset

    const testing::ProgramRun layers = testing::RunProgram(
        MARBROOK_CLI, home.Path(), {"layers", "--json", dir / "site.dxf::Annotation", dir / "wells.shp"});
    ASSERT_EQ(layers.status, 0) << layers.err;
    const nlohmann::json made = nlohmann::json::parse(layers.out);
    ASSERT_EQ(made.size(), 2u) << layers.out;
    EXPECT_EQ(made[0]["name"], "Annotation");
    EXPECT_EQ(made[0]["count"], 1);
    EXPECT_EQ(made[0]["datasource"]["layers"], nlohmann::json::array({"entities"}));
    gis::DataSourceInfo annotation;
    annotation.driver = made[0]["datasource"]["driver"];
    annotation.path = made[0]["datasource"]["path"];
    annotation.layers = {"entities"};
    annotation.filter = made[0]["datasource"]["filter"];
    EXPECT_EQ(CountWithGdal(annotation), 1);
    EXPECT_EQ(made[0]["extent"], nlohmann::json::array({3.0, 3.0, 3.0, 3.0})); // the class's own features
    EXPECT_EQ(made[1]["geometry"], "point");
    EXPECT_EQ(made[1]["extent"], nlohmann::json::array({1.0, 1.0, 2.0, 2.0}));
    EXPECT_TRUE(made[1]["crs"].is_null()); // written without a spatial reference
    EXPECT_EQ(made[1]["datasource"]["layers"], nlohmann::json::array({"wells"}));
}

} // namespace
} // namespace marbrook
