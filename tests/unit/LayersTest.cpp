// Building layers from chosen items: group order, dropped kinds, feature
// datasets and drawings, and the failure path that leaves the selection whole.
#include <gtest/gtest.h>

#include <tuple>

#include "catalogue/basOpenDialogs.h"
#include "catalogue/CLayerObj.h"
#include "platform/error.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::MemoryGis;
using testing::TestPlatform;
namespace kind = gis::kind;
namespace feature = gis::feature;
namespace shape = gis::shape;

std::shared_ptr<CLayerObj> Chosen(gis::DatasetNamePtr name, std::int16_t type) {
    auto item = std::make_shared<CLayerObj>();
    item->pDataSetObj(std::move(name));
    item->DataType(type);
    return item;
}

// Layer names in collection order; a chosen item still in it shows as "<item>".
std::vector<std::string> Names(const Collection& c) {
    std::vector<std::string> out;
    for (long i = 1; i <= c.Count(); ++i) {
        if (auto layer = c.ItemAs<gis::Layer>(i)) out.push_back(layer->Name());
        else if (c.ItemAs<CLayerObj>(i)) out.push_back("<item>");
        else out.push_back("<?>");
    }
    return out;
}

// A catalogue with one of every kind of chosen item.
struct Catalogue {
    explicit Catalogue(MemoryGis& g) : gis(g) {
        auto& folder = g.AddWorkspace(gis::FactoryKind::Shapefile, "/data");
        roads = g.Add(folder, g.FeatureClass("roads", feature::kSimple, shape::kPolyline, "Roads"));
        wells = g.Add(folder, g.FeatureClass("wells", feature::kSimple, shape::kPoint, "Wells"));
        parcels = g.Add(folder, g.FeatureClass("parcels", feature::kSimple, shape::kPolygon, "Parcels"));
        labels = g.Add(folder, g.FeatureClass("labels", feature::kAnnotation, 0, "Labels"));
        dem = g.Add(folder, g.Name("dem.tif", kind::kRasterDataset));

        auto& gdb = g.AddWorkspace(gis::FactoryKind::PersonalGeodatabase, "/data/city.mdb");
        hydro = g.Name("Hydro", kind::kFeatureDataset);
        hydro->subsets = {g.FeatureClass("rivers", feature::kSimple, shape::kPolyline, "Rivers"),
                          g.FeatureClass("lakes", feature::kSimple, shape::kPolygon, "Lakes"),
                          g.FeatureClass("hydro_anno", feature::kCoverageAnnotation, 0, "HydroAnno")};
        g.Add(gdb, hydro);

        auto& cad = g.AddWorkspace(gis::FactoryKind::Cad, "/data/cad");
        drawing = g.Name("plan.dxf", kind::kFeatureDataset);
        drawing->subsets = {g.FeatureClass("plan.dxf:Annotation", feature::kCoverageAnnotation, 0),
                            g.FeatureClass("plan.dxf:Polyline", feature::kSimple, shape::kPolyline),
                            g.Name("plan.dxf", kind::kCadDrawing)};
        g.Add(cad, drawing);
    }
    MemoryGis& gis;
    testing::MemoryNamePtr roads, wells, parcels, labels, dem, hydro, drawing;
};

TEST(LayersBySort, EmptySelectionGivesAnEmptyCollection) {
    TestPlatform t;
    Collection items;
    EXPECT_TRUE(AddLayersBySort(t, items));
    EXPECT_EQ(items.Count(), 0);
    EXPECT_EQ(t.ui.pointerHistory,
              (std::vector<ui::MousePointer>{ui::MousePointer::ArrowHourglass, ui::MousePointer::Default}));
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(LayersBySort, LayersComeBackInGroupOrder) {
    TestPlatform t;
    Catalogue c(t.gis);
    Collection items;
    // Chosen in an order unlike the groups' own.
    items.Add(Chosen(c.dem, ltRaster));
    items.Add(Chosen(c.parcels, ltFeatureClass));
    items.Add(Chosen(c.drawing, ltCadDrawing));
    items.Add(Chosen(c.wells, ltFeatureClass));
    items.Add(Chosen(c.hydro, ltFeatureDataset));
    items.Add(Chosen(c.roads, ltFeatureClass));
    items.Add(Chosen(c.labels, ltAnnotationClass));

    ASSERT_TRUE(AddLayersBySort(t, items));
    EXPECT_EQ(Names(items), (std::vector<std::string>{"HydroAnno", "Labels",            // annotation
                                                      "Wells",                          // point
                                                      "Rivers", "Roads",                // line
                                                      "Parcels", "plan.dxf", "Lakes",   // polygon and CAD
                                                      "dem.tif"}));                     // raster
    // Each layer is of its kind and holds its data.
    EXPECT_EQ(items.ItemAs<gis::Layer>(1)->Kind(), gis::LayerKind::Feature); // inside a feature dataset: feature layers
    EXPECT_EQ(items.ItemAs<gis::Layer>(2)->Kind(), gis::LayerKind::Annotation);
    auto cad = items.ItemAs<gis::CadLayer>(7);
    ASSERT_NE(cad, nullptr);
    ASSERT_NE(cad->GetCadDrawingDataset(), nullptr);
    EXPECT_EQ(cad->GetCadDrawingDataset()->Name(), "plan.dxf");
    auto raster = items.ItemAs<gis::RasterLayer>(9);
    ASSERT_NE(raster, nullptr);
    EXPECT_TRUE(raster->Valid());
    for (long i = 1; i <= items.Count(); ++i) EXPECT_TRUE(items.ItemAs<gis::Layer>(i)->Valid()) << i;
    EXPECT_EQ(t.ui.GetMousePointer(), ui::MousePointer::Default);
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(LayersBySort, AnnotationItemsPickTheirLayerKindByFeatureKind) {
    TestPlatform t;
    auto coverage = t.gis.FeatureClass("cov", feature::kCoverageAnnotation, 0);
    auto plain = t.gis.FeatureClass("anno", feature::kAnnotation, 0);
    // An "other" feature class of a geodatabase comes as an annotation item;
    // its layer is a feature layer in the group its geometry says.
    auto other = t.gis.FeatureClass("zones", feature::kSimple, shape::kPolygon);
    Collection items;
    items.Add(Chosen(other, ltAnnotationClass));
    items.Add(Chosen(coverage, ltAnnotationClass));
    items.Add(Chosen(plain, ltAnnotationClass));
    ASSERT_TRUE(AddLayersBySort(t, items));
    ASSERT_EQ(Names(items), (std::vector<std::string>{"cov", "anno", "zones"}));
    EXPECT_EQ(items.ItemAs<gis::Layer>(1)->Kind(), gis::LayerKind::CoverageAnnotation);
    EXPECT_EQ(items.ItemAs<gis::Layer>(2)->Kind(), gis::LayerKind::Annotation);
    EXPECT_EQ(items.ItemAs<gis::Layer>(3)->Kind(), gis::LayerKind::Feature);
}

TEST(LayersBySort, EveryLineKindIsALineAndMultipartKindsJoinTheirSimpleGroup) {
    // In a folder where some shapefiles are multipoints, adding all of them
    // must make a layer of each.
    TestPlatform t;
    Collection items;
    items.Add(Chosen(t.gis.FeatureClass("mp", feature::kSimple, shape::kMultiPatch), ltFeatureClass));
    items.Add(Chosen(t.gis.FeatureClass("l13", feature::kSimple, shape::kLine), ltFeatureClass));
    items.Add(Chosen(t.gis.FeatureClass("mpt", feature::kSimple, shape::kMultipoint), ltFeatureClass));
    items.Add(Chosen(t.gis.FeatureClass("pt", feature::kSimple, shape::kPoint), ltFeatureClass));
    // A geodatabase lists its multipoint classes as "other" classes.
    items.Add(Chosen(t.gis.FeatureClass("gdb_mpt", feature::kSimple, shape::kMultipoint), ltAnnotationClass));
    std::vector<NoLayer> noLayers;
    ASSERT_TRUE(AddLayersBySort(t, items, &noLayers));
    EXPECT_EQ(Names(items), (std::vector<std::string>{"mpt", "pt", "gdb_mpt", "l13", "mp"}));
    EXPECT_TRUE(noLayers.empty());
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(LayersBySort, ItemsWithoutALayerAreDroppedWithoutFailureAndNamedWithTheirReason) {
    struct Row {
        const char* what;
        std::function<std::shared_ptr<CLayerObj>(MemoryGis&)> item;
        std::string reason;
    };
    const auto named = [](gis::DatasetNamePtr name, std::int16_t type, const char* desc) {
        auto item = Chosen(std::move(name), type);
        item->DataTypeDesc(desc);
        return item;
    };
    const std::vector<Row> rows = {
        {"feature kind unknown",
         [&](MemoryGis& g) { return named(g.FeatureClass("x", 13, shape::kPolygon), ltFeatureClass, "Feature Class"); },
         std::string(reason::kUnsupportedFeatureKind) + "（13）"},
        {"shape kind unknown",
         [&](MemoryGis& g) { return named(g.FeatureClass("x", feature::kSimple, 0), ltFeatureClass, "Shape File"); },
         std::string(reason::kUnsupportedShapeKind) + "（0）"},
        {"raster catalog", [&](MemoryGis& g) { return named(g.Name("x", kind::kRasterCatalog), ltRasterCatalog, "Reater Catalog"); },
         reason::kRasterCatalog},
        {"connection file", [&](MemoryGis&) { return named(nullptr, ltSdeConnection, "空间数据库连接"); }, reason::kConnection},
        {"folder", [&](MemoryGis&) { return named(nullptr, 0, "文件夹连接"); }, reason::kFolder},
        {"geodatabase", [&](MemoryGis&) { return named(nullptr, 0, "个人空间数据库"); }, reason::kPersonalGdb},
        {"table", [&](MemoryGis& g) { return named(g.Name("x", kind::kTable), 0, "SDE表"); }, reason::kTable},
        {"unclassified", [&](MemoryGis& g) { return named(g.Name("x", kind::kTable), 0, ""); }, reason::kNotALayer},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        for (const bool told : {false, true}) {
            TestPlatform t;
            auto kept = t.gis.FeatureClass("kept", feature::kSimple, shape::kPoint);
            Collection items;
            auto item = row.item(t.gis);
            item->DataName("chosen");
            items.Add(item);
            items.Add(Chosen(kept, ltFeatureClass));
            std::vector<NoLayer> noLayers;
            EXPECT_TRUE(AddLayersBySort(t, items, told ? &noLayers : nullptr));
            EXPECT_EQ(Names(items), std::vector<std::string>{"kept"});
            EXPECT_TRUE(t.LogEntries().empty());
            if (!told) continue;
            ASSERT_EQ(noLayers.size(), 1u);
            EXPECT_EQ(noLayers[0].name, "chosen");
            EXPECT_EQ(noLayers[0].reason, row.reason);
        }
    }
}

TEST(LayersBySort, AFeatureDatasetGivesItsRastersAndPassesOverItsTables) {
    // A dataset holding a raster and a table once closed the dialog as if it
    // worked and added nothing.
    TestPlatform t;
    auto fd = t.gis.Name("Hydro", kind::kFeatureDataset);
    fd->subsets = {t.gis.FeatureClass("rivers", feature::kSimple, shape::kPolyline), t.gis.Name("depth", kind::kRasterDataset),
                   t.gis.Name("log", kind::kTable)};
    for (const bool told : {false, true}) {
        SCOPED_TRACE(told ? "named" : "silent");
        Collection items;
        auto item = Chosen(fd, ltFeatureDataset);
        item->DataName("Hydro");
        items.Add(item);
        std::vector<NoLayer> noLayers;
        ASSERT_TRUE(AddLayersBySort(t, items, told ? &noLayers : nullptr));
        EXPECT_EQ(Names(items), (std::vector<std::string>{"rivers", "depth"}));
        EXPECT_NE(items.ItemAs<gis::RasterLayer>(2), nullptr);
        if (told) {
            ASSERT_EQ(noLayers.size(), 1u);
            EXPECT_EQ(noLayers[0].name, "Hydro/log");
            EXPECT_EQ(noLayers[0].reason, reason::kTable);
        }
    }
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(LayersBySort, AChoiceThatNamesWhatGaveNoLayerPassesOverBrokenItemsAndLogsTheFirst) {
    TestPlatform t;
    Catalogue c(t.gis);
    auto broken1 = t.gis.FeatureClass("broken1", feature::kSimple, shape::kPoint);
    auto broken2 = t.gis.FeatureClass("broken2", feature::kSimple, shape::kPoint);
    broken1->openable = false;
    broken2->openable = false;
    auto lake = std::dynamic_pointer_cast<testing::MemoryName>(c.hydro->subsets[1]);
    lake->openable = false;
    Collection items;
    for (auto& [name, type, label] : std::vector<std::tuple<gis::DatasetNamePtr, std::int16_t, std::string>>{
             {broken1, ltFeatureClass, "b1.shp"}, {c.roads, ltFeatureClass, "roads.shp"}, {c.hydro, ltFeatureDataset, "Hydro"},
             {broken2, ltFeatureClass, "b2.shp"}}) {
        auto item = Chosen(name, type);
        item->DataName(label);
        items.Add(item);
    }
    std::vector<NoLayer> noLayers;
    ASSERT_TRUE(AddLayersBySort(t, items, &noLayers));
    EXPECT_EQ(Names(items), (std::vector<std::string>{"HydroAnno", "Roads", "Rivers"}));
    ASSERT_EQ(noLayers.size(), 3u);
    EXPECT_EQ(noLayers[0].name, "b1.shp");
    EXPECT_EQ(noLayers[1].name, "Hydro/lakes");
    EXPECT_EQ(noLayers[2].name, "b2.shp");
    for (const auto& n : noLayers) EXPECT_TRUE(n.reason.starts_with(reason::kFailed)) << n.reason;
    const auto log = t.LogEntries();
    ASSERT_EQ(log.size(), 1u) << "the first failure is logged, not one per item";
    EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.AddLayersBySort:110");
    EXPECT_EQ(t.ui.GetMousePointer(), ui::MousePointer::Default);
}

TEST(AddChosenLayers, TellsWhatGaveNoLayerAndRefusesAChoiceOfNothing) {
    struct Row {
        const char* what;
        std::vector<std::string> chosen; // "ok", "folder", "catalog"
        bool accepted;
        long layers;
        std::string message; // the message's first line, "" for none
    };
    const std::vector<Row> rows = {
        {"every item a layer", {"ok", "ok"}, true, 2, ""},
        {"some items without a layer", {"ok", "folder", "catalog"}, true, 1, "已添加 1 个图层，以下 2 项没有生成图层："},
        {"nothing becomes a layer", {"folder", "catalog"}, false, 0, "所选数据都不能生成图层："},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestPlatform t;
        Collection items;
        int n = 0;
        for (const auto& kind : row.chosen) {
            std::shared_ptr<CLayerObj> item;
            if (kind == "ok") item = Chosen(t.gis.FeatureClass("f" + std::to_string(n), 1, 1), ltFeatureClass);
            if (kind == "folder") item = Chosen(nullptr, 0), item->DataTypeDesc(desc::kFolder);
            if (kind == "catalog") item = Chosen(t.gis.Name("c", kind::kRasterCatalog), ltRasterCatalog);
            item->DataName(kind == "ok" ? kind + std::to_string(n) : kind);
            ++n;
            items.Add(item);
        }
        EXPECT_EQ(AddChosenLayers(t, items), row.accepted);
        if (row.accepted) {
            EXPECT_EQ(items.Count(), row.layers);
            for (long i = 1; i <= items.Count(); ++i) EXPECT_NE(items.ItemAs<gis::Layer>(i), nullptr);
        } else {
            EXPECT_EQ(items.Count(), static_cast<long>(row.chosen.size())) << "the choice is left as it was";
        }
        if (row.message.empty()) {
            EXPECT_TRUE(t.ui.messages.empty());
            continue;
        }
        ASSERT_EQ(t.ui.messages.size(), 1u);
        const auto& m = t.ui.messages[0];
        EXPECT_EQ(m.text.substr(0, m.text.find("\r\n")), row.message);
        EXPECT_EQ(m.title, "VERDANTA");
        EXPECT_EQ(m.icon, ui::MessageIcon::Information);
        EXPECT_NE(m.text.find("folder：" + std::string(reason::kFolder)), std::string::npos) << m.text;
        EXPECT_TRUE(t.LogEntries().empty());
    }
}

TEST(AddChosenLayers, AMessageNamesTheFirstFifteenAndCountsTheRest) {
    std::vector<NoLayer> many;
    for (int i = 1; i <= 40; ++i) many.push_back({"n" + std::to_string(i), "r"});
    const std::string text = NoLayerMessage(many, 3);
    EXPECT_TRUE(text.starts_with("已添加 3 个图层，以下 40 项没有生成图层：")) << text;
    EXPECT_NE(text.find("\r\nn15：r"), std::string::npos);
    EXPECT_EQ(text.find("n16："), std::string::npos);
    EXPECT_TRUE(text.ends_with("\r\n……另有 25 项")) << text;
}

TEST(LayersBySort, ItemsOfOneGroupKeepTheirChosenOrder) {
    TestPlatform t;
    auto a = t.gis.FeatureClass("A", feature::kSimple, shape::kPolygon);
    auto b = t.gis.FeatureClass("B", feature::kSimple, shape::kPolygon);
    Collection items;
    items.Add(Chosen(b, ltFeatureClass));
    items.Add(Chosen(a, ltFeatureClass));
    ASSERT_TRUE(AddLayersBySort(t, items));
    EXPECT_EQ(Names(items), (std::vector<std::string>{"B", "A"}));
}

TEST(LayersBySort, AFailureLeavesTheSelectionWholeAndLogsItsStep) {
    struct Row {
        const char* operation;
        int nth;
        int step;
    };
    // The selection below opens, in order: parcels, labels, rivers, lakes,
    // hydro_anno, dem; then the drawing.
    const std::vector<Row> rows = {
        {"OpenName", 1, 110},       {"NewFeatureLayer", 1, 111}, {"AliasName", 1, 113},
        {"OpenName", 2, 115},       {"NewFeatureLayer", 2, 116}, {"AliasName", 2, 118},
        {"SubsetNames", 1, 121},    {"NewFeatureLayer", 3, 122}, {"OpenName", 4, 123},
        {"AliasName", 4, 125},      {"OpenName", 6, 131},        {"NewRasterLayer", 1, 132},
        {"SubsetNames", 2, 137},    {"Details", 1, 139},         {"CreateWorkspaceFactory", 1, 140},
        {"OpenWorkspaceFromFile", 1, 142}, {"OpenCadDrawingDataset", 1, 143}, {"NewCadLayer", 1, 144},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.operation) + " #" + std::to_string(row.nth));
        TestPlatform t;
        Catalogue c(t.gis);
        Collection items;
        items.Add(Chosen(c.parcels, ltFeatureClass));
        items.Add(Chosen(c.labels, ltAnnotationClass));
        items.Add(Chosen(c.hydro, ltFeatureDataset));
        items.Add(Chosen(c.dem, ltRaster));
        items.Add(Chosen(c.drawing, ltCadDrawing));
        t.gis.FailAt(row.operation, row.nth, 1234, "disk gone");

        EXPECT_FALSE(AddLayersBySort(t, items));
        EXPECT_EQ(Names(items), std::vector<std::string>(5, "<item>"));
        EXPECT_EQ(items.ItemAs<CLayerObj>(1)->pDataSetObj(), c.parcels);
        EXPECT_EQ(t.ui.GetMousePointer(), ui::MousePointer::Default);
        const auto log = t.LogEntries();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.AddLayersBySort:" + std::to_string(row.step));
        EXPECT_EQ(log[0].number, 1234);
        EXPECT_EQ(log[0].description, "disk gone");
    }
}

TEST(LayersBySort, BrokenItemsFailAtTheirStep) {
    struct Row {
        const char* what;
        std::function<ObjectPtr(MemoryGis&)> item;
        int step;
        long number;
    };
    const std::vector<Row> rows = {
        {"not a chosen item", [](MemoryGis& g) { return ObjectPtr(g.Name("n", kind::kTable)); }, 108, errnum::kTypeMismatch},
        {"feature class without a name", [](MemoryGis&) { return ObjectPtr(Chosen(nullptr, ltFeatureClass)); }, 110,
         errnum::kObjectNotSet},
        {"raster item naming a feature class",
         [](MemoryGis& g) { return ObjectPtr(Chosen(g.FeatureClass("f", 1, 4), ltRaster)); }, 131, errnum::kTypeMismatch},
        {"feature dataset member whose raster cannot be read",
         [](MemoryGis& g) {
             auto fd = g.Name("fd", kind::kFeatureDataset);
             auto r = g.Name("r", kind::kRasterDataset);
             r->openable = false;
             fd->subsets = {g.FeatureClass("f", 1, 4), r};
             return ObjectPtr(Chosen(fd, ltFeatureDataset));
         },
         128, errnum::kFileNotFound},
        {"drawing whose folder is not a CAD workspace",
         [](MemoryGis& g) {
             auto dwg = g.Name("a.dwg", kind::kFeatureDataset);
             auto part = g.Name("a.dwg", kind::kCadDrawing);
             part->SetWorkspaceName(std::make_shared<gis::WorkspaceName>(gis::FactoryKind::Cad, "/gone"));
             dwg->subsets = {part};
             return ObjectPtr(Chosen(dwg, ltCadDrawing));
         },
         142, errnum::kPathNotFound},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestPlatform t;
        auto good = t.gis.FeatureClass("good", feature::kSimple, shape::kPoint);
        Collection items;
        items.Add(Chosen(good, ltFeatureClass));
        const ObjectPtr broken = row.item(t.gis);
        items.Add(broken);
        EXPECT_FALSE(AddLayersBySort(t, items));
        ASSERT_EQ(items.Count(), 2);
        EXPECT_EQ(items.Item(2), broken);
        EXPECT_EQ(t.ui.GetMousePointer(), ui::MousePointer::Default);
        const auto log = t.LogEntries();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.AddLayersBySort:" + std::to_string(row.step));
        EXPECT_EQ(log[0].number, row.number);
    }
}

// A feature class whose kinds cannot be read.
class UnreadableClass final : public gis::FeatureClass {
public:
    explicit UnreadableClass(bool featureKindFails) : featureKindFails_(featureKindFails) {}
    std::string Name() const override { return "u"; }
    std::string AliasName() const override { return "u"; }
    int FeatureKind() const override {
        if (featureKindFails_) throw PlatformError(5, "test", "unreadable");
        return feature::kSimple;
    }
    int ShapeKind() const override { throw PlatformError(5, "test", "unreadable"); }
    long long FeatureCount() const override { return 0; }
    gis::DatasetNamePtr FullName() const override { return nullptr; }

private:
    bool featureKindFails_;
};

TEST(LayersBySort, SortingByGeometryPlacesOrDropsWithoutLogging) {
    TestPlatform t;
    struct Row {
        const char* what;
        gis::FeatureClassPtr featureClass;
        const char* group; // "point", "line", "polygon", "annotation" or "" for none
    };
    auto open = [&](int fk, int sk) { return gis::AsFeatureClass(t.gis.OpenName(*t.gis.FeatureClass("c", fk, sk))); };
    const std::vector<Row> rows = {
        {"point", open(1, 1), "point"},
        {"polyline", open(1, 3), "line"},
        {"polygon", open(1, 4), "polygon"},
        {"multipoint", open(1, 2), "point"},
        {"line 13", open(1, 13), "line"},
        {"multipatch", open(1, 9), "polygon"},
        {"no shape kind", open(1, 0), ""},
        {"annotation", open(11, 0), "annotation"},
        {"coverage annotation with a polygon shape", open(12, 4), "annotation"},
        {"unknown feature kind", open(7, 1), ""},
        {"no feature class", nullptr, ""},
        {"feature kind unreadable", std::make_shared<UnreadableClass>(true), ""},
        {"shape kind unreadable", std::make_shared<UnreadableClass>(false), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto layer = t.gis.NewFeatureLayer(gis::LayerKind::Feature);
        layer->SetFeatureClass(row.featureClass);
        Collection point, line, polygon, annotation;
        SortLayerByGeometry(layer, point, line, polygon, annotation);
        const std::string group = row.group;
        EXPECT_EQ(point.Count(), group == "point" ? 1 : 0);
        EXPECT_EQ(line.Count(), group == "line" ? 1 : 0);
        EXPECT_EQ(polygon.Count(), group == "polygon" ? 1 : 0);
        EXPECT_EQ(annotation.Count(), group == "annotation" ? 1 : 0);
    }
    Collection point, line, polygon, annotation;
    SortLayerByGeometry(nullptr, point, line, polygon, annotation);
    EXPECT_EQ(point.Count() + line.Count() + polygon.Count() + annotation.Count(), 0);
    EXPECT_TRUE(t.LogEntries().empty());
}

} // namespace
} // namespace marbrook
