// Building layers from chosen items: group order, dropped kinds, feature
// datasets and drawings, and the failure path that leaves the selection whole.
#include <gtest/gtest.h>

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
    // its layer still joins the group its geometry says.
    auto other = t.gis.FeatureClass("zones", feature::kSimple, shape::kPolygon);
    Collection items;
    items.Add(Chosen(other, ltAnnotationClass));
    items.Add(Chosen(coverage, ltAnnotationClass));
    items.Add(Chosen(plain, ltAnnotationClass));
    ASSERT_TRUE(AddLayersBySort(t, items));
    ASSERT_EQ(Names(items), (std::vector<std::string>{"cov", "anno", "zones"}));
    EXPECT_EQ(items.ItemAs<gis::Layer>(1)->Kind(), gis::LayerKind::CoverageAnnotation);
    EXPECT_EQ(items.ItemAs<gis::Layer>(2)->Kind(), gis::LayerKind::Annotation);
    EXPECT_EQ(items.ItemAs<gis::Layer>(3)->Kind(), gis::LayerKind::Annotation);
}

TEST(LayersBySort, ItemsWithoutALayerAreDroppedWithoutFailure) {
    struct Row {
        const char* what;
        std::function<gis::DatasetNamePtr(MemoryGis&)> name;
        std::int16_t type;
    };
    const std::vector<Row> rows = {
        {"line kind 13", [](MemoryGis& g) { return g.FeatureClass("l13", feature::kSimple, shape::kLine); }, ltFeatureClass},
        {"multipatch", [](MemoryGis& g) { return g.FeatureClass("mp", feature::kSimple, shape::kMultiPatch); }, ltFeatureClass},
        {"multipoint", [](MemoryGis& g) { return g.FeatureClass("mpt", feature::kSimple, shape::kMultipoint); }, ltFeatureClass},
        {"feature kind unknown", [](MemoryGis& g) { return g.FeatureClass("dim", 13, shape::kPolygon); }, ltFeatureClass},
        {"raster catalog", [](MemoryGis& g) { return g.Name("cat", kind::kRasterCatalog); }, ltRasterCatalog},
        {"connection file", [](MemoryGis&) { return gis::DatasetNamePtr{}; }, ltSdeConnection},
        {"unclassified", [](MemoryGis& g) { return g.Name("x", kind::kTable); }, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestPlatform t;
        auto kept = t.gis.FeatureClass("kept", feature::kSimple, shape::kPoint);
        Collection items;
        items.Add(Chosen(row.name(t.gis), row.type));
        items.Add(Chosen(kept, ltFeatureClass));
        EXPECT_TRUE(AddLayersBySort(t, items));
        EXPECT_EQ(Names(items), std::vector<std::string>{"kept"});
        EXPECT_TRUE(t.LogEntries().empty());
    }
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
        {"feature dataset member that is not a feature class",
         [](MemoryGis& g) {
             auto fd = g.Name("fd", kind::kFeatureDataset);
             fd->subsets = {g.FeatureClass("f", 1, 4), g.Name("r", kind::kRasterDataset)};
             return ObjectPtr(Chosen(fd, ltFeatureDataset));
         },
         123, errnum::kTypeMismatch},
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
        {"line 13", open(1, 13), ""},
        {"multipatch", open(1, 9), ""},
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
