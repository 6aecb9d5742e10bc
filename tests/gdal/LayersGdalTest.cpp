// Layers, maps and re-pointing on the GDAL back end, with shapefiles, a
// GeoTIFF and a drawing written by GDAL into temporary folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "browser/frmOpenDialog.h"
#include "catalogue/basOpenDialogs.h"
#include "interface/CLayerFunctionExport.h"
#include "catalogue/CLayerObj.h"
#include "platform/error.h"
#include "platform/gdal/GdalGis.h"
#include "platform/platform.h"
#include "tests/doubles/BrowserScript.h"
#include "tests/doubles/TestPlatform.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::TestPlatform;

// ---- Writing the data ---------------------------------------------------------

void Shapefile(const std::string& folder, const std::string& name, OGRwkbGeometryType type, const std::vector<std::string>& wkts,
               const char* shapeType = nullptr) {
    testing::WriteShapefile(folder, name, type, wkts, shapeType);
}
void GeoTiff(const std::string& path) { testing::WriteRaster("GTiff", path, 8, 6); }

std::vector<std::string> Squares(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
        const std::string x0 = std::to_string(i * 10), x1 = std::to_string(i * 10 + 5);
        out.push_back("POLYGON ((" + x0 + " 0," + x0 + " 5," + x1 + " 5," + x1 + " 0," + x0 + " 0))");
    }
    return out;
}

// ---- The world ------------------------------------------------------------------

// Forwards to the GDAL services and records what the map-layer service is handed.
class RecordingGis final : public gis::GisService {
public:
    explicit RecordingGis(gis::GisService& inner) : inner_(inner) {}
    std::vector<gis::LayerPtr> inserted;

    gis::WorkspaceFactoryPtr CreateWorkspaceFactory(gis::FactoryKind kind) override { return inner_.CreateWorkspaceFactory(kind); }
    gis::DatasetPtr OpenName(const gis::DatasetName& name) override { return inner_.OpenName(name); }
    gis::CadDrawingDatasetPtr OpenCadDrawingDataset(gis::Workspace& ws, const std::string& name) override {
        return inner_.OpenCadDrawingDataset(ws, name);
    }
    gis::FeatureLayerPtr NewFeatureLayer(gis::LayerKind kind) override { return inner_.NewFeatureLayer(kind); }
    gis::RasterLayerPtr NewRasterLayer() override { return inner_.NewRasterLayer(); }
    gis::CadLayerPtr NewCadLayer() override { return inner_.NewCadLayer(); }
    gis::MapPtr NewMap() override { return inner_.NewMap(); }
    gis::MapLayerServicePtr CreateMapLayerService() override {
        class Recorder final : public gis::MapLayerService {
        public:
            Recorder(RecordingGis& owner, gis::MapLayerServicePtr real) : owner_(owner), real_(std::move(real)) {}
            void InsertLayer(const gis::LayerPtr& reference, gis::Map& map, gis::LayerPtr layer) override {
                owner_.inserted.push_back(layer);
                real_->InsertLayer(reference, map, std::move(layer));
            }

        private:
            RecordingGis& owner_;
            gis::MapLayerServicePtr real_;
        };
        return std::make_shared<Recorder>(*this, inner_.CreateMapLayerService());
    }

private:
    gis::GisService& inner_;
};

struct GdalPlatform {
    TestPlatform t;
    std::unique_ptr<gis::GisService> gdal = gdal::NewGdalGis();
    RecordingGis gis{*gdal};
    Platform p{gis, t.ui, t.system};
};

// Log entries written by layer building and the public class.
std::vector<testing::LogEntry> OwnLog(const TestPlatform& t) {
    std::vector<testing::LogEntry> out;
    if (!fs::exists(t.ErrLogPath())) return out;
    for (const auto& e : t.LogEntries())
        if (e.position.find("AddLayersBySort") != std::string::npos || e.position.find("CLayerFunctionExport") != std::string::npos)
            out.push_back(e);
    return out;
}

gis::WorkspacePtr OpenFolder(gis::GisService& g, gis::FactoryKind kind, const std::string& folder) {
    auto ws = g.CreateWorkspaceFactory(kind)->OpenWorkspaceFromFile(folder, gis::kNoWindow);
    if (!ws) throw std::runtime_error("no workspace at " + folder);
    return ws;
}

gis::DatasetNamePtr Named(gis::Workspace& ws, int kind, const std::string& name) {
    for (const auto& n : ws.ListDatasetNames(kind))
        if (n->Name() == name) return n;
    throw std::runtime_error("no dataset " + name);
}

std::shared_ptr<CLayerObj> Chosen(gis::DatasetNamePtr name, std::int16_t type) {
    auto item = std::make_shared<CLayerObj>();
    item->pDataSetObj(std::move(name));
    item->DataType(type);
    return item;
}

std::vector<std::string> Names(const Collection& c) {
    std::vector<std::string> out;
    for (long i = 1; i <= c.Count(); ++i) {
        if (auto layer = c.ItemAs<gis::Layer>(i)) out.push_back(layer->Name());
        else out.push_back("<item>");
    }
    return out;
}

std::vector<std::string> Names(const std::vector<gis::LayerPtr>& layers) {
    std::vector<std::string> out;
    for (const auto& l : layers) out.push_back(l->Name());
    return out;
}

class LayersOnGdal : public ::testing::Test {
protected:
    GdalPlatform w;
    TempDir dir;
};

// ---- Maps and layers without data ---------------------------------------------

TEST(GdalMap, LayersGoOnTopOrDirectlyAboveTheirReference) {
    auto g = gdal::NewGdalGis();
    auto map = g->NewMap();
    auto service = g->CreateMapLayerService();
    auto layer = [&](const char* name) {
        gis::LayerPtr l = g->NewCadLayer();
        l->SetName(name);
        return l;
    };
    auto a = layer("a"), b = layer("b"), c = layer("c"), d = layer("d"), stranger = layer("x");
    service->InsertLayer(nullptr, *map, a);
    service->InsertLayer(nullptr, *map, b);
    EXPECT_EQ(Names(map->Layers()), (std::vector<std::string>{"b", "a"}));
    service->InsertLayer(a, *map, c); // directly above a
    EXPECT_EQ(Names(map->Layers()), (std::vector<std::string>{"b", "c", "a"}));
    service->InsertLayer(stranger, *map, d); // not in the map: on top
    EXPECT_EQ(Names(map->Layers()), (std::vector<std::string>{"d", "b", "c", "a"}));
    try {
        service->InsertLayer(nullptr, *map, nullptr);
        ADD_FAILURE() << "a missing layer went into the map";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.Number(), errnum::kObjectNotSet);
    }
    EXPECT_EQ(map->Layers().size(), 4u);
}

TEST(GdalLayers, NewLayersAreOfTheirKindAndHoldNothingYet) {
    auto g = gdal::NewGdalGis();
    for (auto kind : {gis::LayerKind::Feature, gis::LayerKind::Annotation, gis::LayerKind::CoverageAnnotation}) {
        auto layer = g->NewFeatureLayer(kind);
        EXPECT_EQ(layer->Kind(), kind);
        EXPECT_FALSE(layer->Valid());
        EXPECT_EQ(layer->DataSourceName(), nullptr);
        EXPECT_TRUE(layer->Selectable());
    }
    for (auto kind : {gis::LayerKind::Raster, gis::LayerKind::Cad}) {
        try {
            (void)g->NewFeatureLayer(kind);
            ADD_FAILURE() << "a feature layer of a non-feature kind";
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.Number(), errnum::kInvalidProcedureCall);
        }
    }
    auto raster = g->NewRasterLayer();
    EXPECT_EQ(raster->Kind(), gis::LayerKind::Raster);
    EXPECT_FALSE(raster->Valid());
    EXPECT_THROW(raster->CreateFromDataset(nullptr), PlatformError);
    EXPECT_FALSE(g->NewCadLayer()->Valid());
}

// ---- Layers from chosen items ---------------------------------------------------

TEST_F(LayersOnGdal, ChosenItemsComeBackInGroupOrder) {
    Shapefile(dir.Path(), "parcels", wkbPolygon, Squares(3));
    Shapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)", "POINT (2 2)"});
    GeoTiff(dir / "dem.tif");
    testing::WriteDxf(dir / "plan.dxf");
    auto shapes = OpenFolder(w.gis, gis::FactoryKind::Shapefile, dir.Path());
    auto rasters = OpenFolder(w.gis, gis::FactoryKind::Raster, dir.Path());
    auto cad = OpenFolder(w.gis, gis::FactoryKind::Cad, dir.Path());
    auto drawing = Named(*cad, gis::kind::kFeatureDataset, "plan.dxf");
    gis::DatasetNamePtr annotation;
    for (const auto& member : drawing->SubsetNames())
        if (auto d = member->Details(); d && d->featureKind == gis::feature::kCoverageAnnotation) annotation = member;
    ASSERT_NE(annotation, nullptr) << "the drawing offers no annotation class";
    const std::string annotationAlias = gis::AsFeatureClass(w.gis.OpenName(*annotation))->AliasName();

    Collection items;
    items.Add(Chosen(Named(*shapes, gis::kind::kFeatureClass, "parcels"), ltFeatureClass));
    items.Add(Chosen(Named(*shapes, gis::kind::kFeatureClass, "wells"), ltFeatureClass));
    items.Add(Chosen(Named(*rasters, gis::kind::kRasterDataset, "dem.tif"), ltRaster));
    items.Add(Chosen(annotation, ltAnnotationClass));
    items.Add(Chosen(drawing, ltCadDrawing));

    ASSERT_TRUE(AddLayersBySort(w.p, items));
    EXPECT_EQ(Names(items), (std::vector<std::string>{annotationAlias, "wells", "parcels", "plan.dxf", "dem.tif"}));
    // Every layer reads its data.
    EXPECT_EQ(items.ItemAs<gis::Layer>(1)->Kind(), gis::LayerKind::CoverageAnnotation);
    EXPECT_EQ(items.ItemAs<gis::FeatureLayer>(1)->GetFeatureClass()->FeatureCount(), 1);
    EXPECT_EQ(items.ItemAs<gis::FeatureLayer>(2)->GetFeatureClass()->FeatureCount(), 2);
    EXPECT_EQ(items.ItemAs<gis::FeatureLayer>(3)->GetFeatureClass()->FeatureCount(), 3);
    auto cadLayer = items.ItemAs<gis::CadLayer>(4);
    ASSERT_NE(cadLayer, nullptr);
    EXPECT_TRUE(cadLayer->Valid());
    auto raster = items.ItemAs<gis::RasterLayer>(5);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->GetRasterDataset()->Width(), 8);
    EXPECT_EQ(raster->GetRasterDataset()->Height(), 6);
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    // Each layer tells its whole, true source: the file with its extension,
    // the drawing and its class, the raster's full path.
    const std::vector<std::string> sources = {dir / "plan.dxf" + ": " + annotation->Name(), dir / "wells.shp",
                                              dir / "parcels.shp", dir / "plan.dxf", dir / "dem.tif"};
    for (long i = 1; i <= items.Count(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items.ItemAs<gis::Layer>(i)->DataSourceText(), sources[static_cast<std::size_t>(i - 1)]);
    }
    EXPECT_TRUE(OwnLog(w.t).empty());
}

TEST_F(LayersOnGdal, MultipartShapefilesDrawInTheirSimpleGroupAndOtherItemsAreNamed) {
    Shapefile(dir.Path(), "dome", wkbTINZ, {"TIN Z (((0 0 0,0 1 0,1 1 1,0 0 0)))"}, "MULTIPATCH");
    Shapefile(dir.Path(), "trees", wkbMultiPoint, {"MULTIPOINT ((0 0),(1 1))"});
    Shapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)"});
    auto shapes = OpenFolder(w.gis, gis::FactoryKind::Shapefile, dir.Path());
    auto dome = Named(*shapes, gis::kind::kFeatureClass, "dome");
    ASSERT_EQ(dome->Details()->shapeKind, gis::shape::kMultiPatch);

    for (const bool told : {false, true}) {
        SCOPED_TRACE(told ? "named" : "quiet");
        Collection items;
        items.Add(Chosen(dome, ltFeatureClass));
        items.Add(Chosen(nullptr, ltRasterCatalog));
        items.Add(Chosen(nullptr, ltSdeConnection));
        items.Add(Chosen(Named(*shapes, gis::kind::kFeatureClass, "trees"), ltFeatureClass));
        items.Add(Chosen(Named(*shapes, gis::kind::kFeatureClass, "wells"), ltFeatureClass));
        std::vector<NoLayer> noLayers;
        ASSERT_TRUE(AddLayersBySort(w.p, items, told ? &noLayers : nullptr));
        EXPECT_EQ(Names(items), (std::vector<std::string>{"trees", "wells", "dome"}));
        // GDAL reads the multipatch as multipolygons: the layer draws.
        for (long i = 1; i <= items.Count(); ++i) EXPECT_TRUE(items.ItemAs<gis::Layer>(i)->Valid()) << i;
        EXPECT_EQ(noLayers.size(), told ? 2u : 0u);
    }
    EXPECT_TRUE(OwnLog(w.t).empty());
}

TEST_F(LayersOnGdal, LayersOfOneGroupKeepTheChosenOrder) {
    Shapefile(dir.Path(), "A", wkbPolygon, Squares(1));
    Shapefile(dir.Path(), "B", wkbPolygon, Squares(2));
    auto shapes = OpenFolder(w.gis, gis::FactoryKind::Shapefile, dir.Path());
    Collection items;
    items.Add(Chosen(Named(*shapes, gis::kind::kFeatureClass, "B"), ltFeatureClass));
    items.Add(Chosen(Named(*shapes, gis::kind::kFeatureClass, "A"), ltFeatureClass));
    ASSERT_TRUE(AddLayersBySort(w.p, items));
    EXPECT_EQ(Names(items), (std::vector<std::string>{"B", "A"}));
}

TEST_F(LayersOnGdal, AnUnreadableSecondItemLeavesTheSelectionWhole) {
    Shapefile(dir.Path(), "parcels", wkbPolygon, Squares(2));
    Shapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)"});
    auto shapes = OpenFolder(w.gis, gis::FactoryKind::Shapefile, dir.Path());
    Collection items;
    items.Add(Chosen(Named(*shapes, gis::kind::kFeatureClass, "parcels"), ltFeatureClass));
    items.Add(Chosen(Named(*shapes, gis::kind::kFeatureClass, "wells"), ltFeatureClass));
    // Gone between the listing and the opening.
    fs::remove(dir / "wells.shp");
    fs::remove(dir / "wells.shx");

    EXPECT_FALSE(AddLayersBySort(w.p, items));
    EXPECT_EQ(Names(items), (std::vector<std::string>{"<item>", "<item>"}));
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    const auto log = OwnLog(w.t);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.AddLayersBySort:110");
    EXPECT_FALSE(log[0].description.empty());
}

// ---- The public class -------------------------------------------------------------

TEST_F(LayersOnGdal, AddLayerForMapPutsTheChosenDataInTheMap) {
    Shapefile(dir.Path(), "roads", wkbLineString, {"LINESTRING (0 0,1 1)"});
    Shapefile(dir.Path(), "wells", wkbPoint, {"POINT (1 1)"});
    GeoTiff(dir / "dem.tif");
    w.t.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", dir.Path());
    testing::OnBrowser(w.t.ui, [](frmOpenDialog& form) {
        EXPECT_TRUE(testing::SelectItems(form, {"dem.tif", "roads.shp", "wells.shp"}));
        EXPECT_TRUE(testing::PressAdd(form));
    });
    auto map = w.gis.NewMap();
    CLayerFunctionExport api(w.p);
    api.AddLayerForMap(map, 5);
    // Group order is point, line, raster; the service gets them last first,
    // so the map shows them in group order from the top.
    EXPECT_EQ(Names(w.gis.inserted), (std::vector<std::string>{"dem.tif", "roads", "wells"}));
    EXPECT_EQ(Names(map->Layers()), (std::vector<std::string>{"wells", "roads", "dem.tif"}));
    for (const auto& layer : map->Layers()) EXPECT_TRUE(layer->Valid()) << layer->Name();
    EXPECT_TRUE(OwnLog(w.t).empty());

    // A cancelled dialog: no call.
    testing::OnBrowser(w.t.ui, [](frmOpenDialog& form) { EXPECT_TRUE(testing::PressCancel(form)); });
    api.AddLayerForMap(map, 5);
    EXPECT_EQ(w.gis.inserted.size(), 3u);
    EXPECT_EQ(map->Layers().size(), 3u);
}

// Two folders holding a "roads" shapefile each: two features in the old, five
// in the new.
struct TwoFolders {
    explicit TwoFolders(GdalPlatform& w) {
        Shapefile(oldDir.Path(), "roads", wkbPolygon, Squares(2));
        Shapefile(newDir.Path(), "roads", wkbPolygon, Squares(5));
        oldName = Named(*OpenFolder(w.gis, gis::FactoryKind::Shapefile, oldDir.Path()), gis::kind::kFeatureClass, "roads");
        newName = Named(*OpenFolder(w.gis, gis::FactoryKind::Shapefile, newDir.Path()), gis::kind::kFeatureClass, "roads");
        layer = w.gis.NewFeatureLayer(gis::LayerKind::Feature);
        layer->SetFeatureClass(gis::AsFeatureClass(w.gis.OpenName(*oldName)));
        layer->SetName("Roads as drawn");
    }
    TempDir oldDir, newDir;
    gis::DatasetNamePtr oldName, newName;
    gis::FeatureLayerPtr layer;
};

class Report final : public ui::TextControl {
public:
    void SetSelText(const std::string& text) override { value += text; }
    std::string value;
};

TEST_F(LayersOnGdal, ResetLayerSourceRepointsAShapefileLayerToAnotherFolder) {
    TwoFolders f(w);
    const std::string newAlias = gis::AsFeatureClass(w.gis.OpenName(*f.newName))->AliasName();
    ASSERT_EQ(f.layer->GetFeatureClass()->FeatureCount(), 2);
    Report report;
    CLayerFunctionExport api(w.p);

    ASSERT_TRUE(api.ResetLayerSource(f.layer, f.newName, &report));
    EXPECT_TRUE(f.layer->Valid());
    EXPECT_EQ(f.layer->GetFeatureClass()->FeatureCount(), 5);
    EXPECT_EQ(f.layer->Name(), newAlias);
    EXPECT_NE(f.layer->DataSourceText().find(f.newDir.Path()), std::string::npos) << f.layer->DataSourceText();
    EXPECT_EQ(report.value, "修改【" + newAlias + "】数据源成功！\r\n");
    // The layer changed its own source name, not the names it was opened
    // from and re-pointed to: the browser and the caller still hold those.
    EXPECT_EQ(f.oldName->GetWorkspaceName()->PathName(), f.oldDir.Path());
    EXPECT_EQ(f.newName->GetWorkspaceName()->PathName(), f.newDir.Path());
    EXPECT_NE(f.layer->DataSourceName(), f.newName);

    // Back and forth: three lines, each ended by CR LF.
    ASSERT_TRUE(api.ResetLayerSource(f.layer, f.oldName, &report));
    EXPECT_EQ(f.layer->GetFeatureClass()->FeatureCount(), 2);
    ASSERT_TRUE(api.ResetLayerSource(f.layer, nullptr, &report));
    EXPECT_FALSE(f.layer->Valid());
    const std::string line = "修改【" + newAlias + "】数据源成功！\r\n";
    EXPECT_EQ(report.value, line + line + "修改【" + newAlias + "】数据源为空，因为目标数据库中不存在该图层。\r\n");

    // Without a text control the same work writes nothing anywhere.
    ASSERT_TRUE(api.ResetLayerSource(f.layer, f.newName));
    EXPECT_EQ(f.layer->GetFeatureClass()->FeatureCount(), 5);
    EXPECT_TRUE(OwnLog(w.t).empty());
}

TEST_F(LayersOnGdal, ResetLayerSourceReportsWhyTheNewSourceCannotBeRead) {
    TwoFolders f(w);
    fs::remove(f.newDir / "roads.shp");
    Report report;
    CLayerFunctionExport api(w.p);
    EXPECT_FALSE(api.ResetLayerSource(f.layer, f.newName, &report));
    EXPECT_FALSE(f.layer->Valid());
    const auto log = OwnLog(w.t);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.CLayerFunctionExport.ResetLayerSource:113");
    ASSERT_FALSE(log[0].description.empty());
    EXPECT_EQ(report.value, "修改【Roads as drawn】数据源失败！原因：" + log[0].description + "\r\n");
}

TEST_F(LayersOnGdal, AChangedSourceNameIsFoundAgainInItsNewWorkspace) {
    TwoFolders f(w);
    // What a caller does by hand: point the layer's own name at the other
    // folder, then reconnect the layer to it.
    const gis::DatasetNamePtr source = f.layer->DataSourceName();
    ASSERT_NE(source, nullptr);
    source->SetWorkspaceName(f.newName->GetWorkspaceName());
    f.layer->Disconnect();
    CLayerFunctionExport api(w.p);
    ASSERT_TRUE(api.SetFLayerSource(true, f.layer, nullptr));
    EXPECT_EQ(f.layer->GetFeatureClass()->FeatureCount(), 5);
    // A name that its workspace does not hold cannot be connected.
    f.layer->DataSourceName()->SetName("nothing_here");
    f.layer->Disconnect();
    EXPECT_FALSE(api.SetFLayerSource(true, f.layer, nullptr));
    ASSERT_EQ(OwnLog(w.t).size(), 1u);
}

TEST_F(LayersOnGdal, AChangedNameFindsAClassInsideAFeatureDataset) {
    if (!testing::HaveSharedDir()) GTEST_SKIP() << testing::NoSharedDir();
    auto gdb = OpenFolder(w.gis, gis::FactoryKind::PersonalGeodatabase, testing::Sample("pgeo/fd_sample.mdb"));
    gis::DatasetNamePtr lines, polys;
    for (const auto& member : Named(*gdb, gis::kind::kFeatureDataset, "Hydro")->SubsetNames()) {
        if (member->Name() == "lines") lines = member;
        if (member->Name() == "polys") polys = member;
    }
    ASSERT_TRUE(lines && polys);
    auto layer = w.gis.NewFeatureLayer(gis::LayerKind::Feature);
    layer->SetFeatureClass(gis::AsFeatureClass(w.gis.OpenName(*lines)));
    layer->DataSourceName()->SetName("polys");
    layer->Disconnect();
    CLayerFunctionExport api(w.p);
    ASSERT_TRUE(api.SetFLayerSource(true, layer, nullptr));
    EXPECT_EQ(layer->GetFeatureClass()->ShapeKind(), gis::shape::kPolygon);
    EXPECT_EQ(lines->Name(), "lines");
}

TEST_F(LayersOnGdal, SetFLayerSourceReportsAConnectionThatDoesNotTake) {
    TwoFolders f(w);
    CLayerFunctionExport api(w.p);
    ASSERT_TRUE(api.SetFLayerSource(true, f.layer, f.newName));
    EXPECT_EQ(f.layer->GetFeatureClass()->FeatureCount(), 5);

    // Its own source gone: reconnecting fails and says so.
    fs::remove(f.newDir / "roads.shp");
    f.layer->Disconnect();
    EXPECT_FALSE(api.SetFLayerSource(true, f.layer, nullptr));
    EXPECT_FALSE(f.layer->Valid());
    // A new source that cannot be read likewise.
    EXPECT_FALSE(api.SetFLayerSource(true, f.layer, f.newName));
    const auto log = OwnLog(w.t);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].position, "Marbrook.CLayerFunctionExport.SetFLayerSource:106");
    EXPECT_EQ(log[1].position, "Marbrook.CLayerFunctionExport.SetFLayerSource:110");

    // Back to the readable folder.
    EXPECT_TRUE(api.SetFLayerSource(true, f.layer, f.oldName));
    EXPECT_EQ(f.layer->GetFeatureClass()->FeatureCount(), 2);
}

} // namespace
} // namespace marbrook
