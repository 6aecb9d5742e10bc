// The public class: the data-source type setting, the dialog it opens, adding
// layers to a map, and re-pointing layers with report lines.
#include <gtest/gtest.h>

#include "browser/frmOpenDialog.h"
#include "catalogue/basOpenDialogs.h"
#include "interface/CLayerFunctionExport.h"
#include "interface/DataSourceType.h"
#include "platform/error.h"
#include "support/Globals.h"
#include "support/Text.h"
#include "tests/doubles/BrowserScript.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::MemoryGis;
using testing::TestPlatform;

// A host text control: writing SelText replaces the selection at the caret
// and leaves the caret after the inserted text.
class HostText final : public ui::TextControl {
public:
    void SetSelText(const std::string& text) override {
        if (failWrites) throw PlatformError(errnum::kPermissionDenied, "host", "read-only control");
        ++writes;
        value.replace(caret, selection, text);
        caret += text.size();
        selection = 0;
    }
    std::string value;
    std::size_t caret = 0;
    std::size_t selection = 0;
    int writes = 0;
    bool failWrites = false;
};

// No failure was logged (those that were are shown).
void ExpectNoLog(const TestPlatform& t) {
    for (const auto& e : t.LogEntries()) ADD_FAILURE() << "logged: " << e.position << " " << e.number << " " << e.description;
}

// The browser opens at the root listing: no remembered location to replay.
void OpenAtRoot(TestPlatform& t) { t.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", t.home.LibraryFolder() + "/nowhere"); }

std::string Line(const std::string& name, const std::string& second) { return "修改【" + name + second + "\r\n"; }
const std::string kEmptySource = "】数据源为空，因为目标数据库中不存在该图层。";
const std::string kSuccess = "】数据源成功！";
const std::string kFailure = "】数据源失败！原因：";

// ---- The data-source type ------------------------------------------------------

TEST(DataSourceType, StoredTextConvertsAsALeadingNumberRoundedHalfToEven) {
    const std::vector<std::pair<std::string, int>> rows = {
        {"", 0},          {"0", 0},         {"1", 1},           {"1abc", 1},      {"1.5", 2},
        {"2.5", 2},       {"3.5", 4},       {"-2.5", -2},       {"0.5", 0},       {".5", 0},
        {"2.51", 3},      {"abc", 0},       {"-", 0},           {" 1 2", 12},     {"\t+7x", 7},
        {"1e2", 100},     {"2e", 2},        {"1.5e1", 15},      {"1,5", 1},       {"32767", 32767},
        {"32767.4", 32767}, {"-32768", -32768}, {"-32768.5", -32768}, {"1e-999", 0}, {"0x10", 0},
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE("'" + text + "'");
        EXPECT_EQ(DataSourceTypeFromText(text), expected);
    }
}

TEST(DataSourceType, NumbersOutsideSixteenBitsOverflow) {
    for (const std::string text : {"32768", "32767.5", "-32769", "-32768.6", "40000", "1e999", "99999999999999999999"}) {
        SCOPED_TRACE(text);
        try {
            (void)DataSourceTypeFromText(text);
            ADD_FAILURE() << "no failure";
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.Number(), errnum::kOverflow);
        }
    }
}

TEST(GetLayersByDlg, ReadsTheDataSourceTypeOnEveryCall) {
    const std::vector<std::pair<std::optional<std::string>, int>> rows = {
        {std::nullopt, 0}, {"1abc", 1}, {"1.5", 2}, {"2.5", 2}, {"no digits", 0}, {"1", 1}};
    for (const auto& [stored, expected] : rows) {
        SCOPED_TRACE(stored.value_or("<absent>"));
        TestPlatform t;
        OpenAtRoot(t);
        giDataSourceType = 9;
        if (stored) t.system.SaveSetting("QM_VERDANTA", "QM_DataSource", "Type", *stored);
        int seen = -1;
        t.ui.OnModal("frmOpenDialog", [&](ui::Form&) { seen = giDataSourceType; });
        CLayerFunctionExport api(t);
        EXPECT_FALSE(api.GetLayersByDlg(7, true).has_value());
        EXPECT_EQ(seen, expected); // already set while the dialog shows
        EXPECT_EQ(giDataSourceType, expected);
        ExpectNoLog(t);
    }
}

TEST(GetLayersByDlg, ATypeOutOfRangeFailsBeforeTheDialogShows) {
    TestPlatform t;
    t.system.SaveSetting("QM_VERDANTA", "QM_DataSource", "Type", "70000");
    giDataSourceType = 1;
    CLayerFunctionExport api(t);
    EXPECT_FALSE(api.GetLayersByDlg(7, true).has_value());
    EXPECT_TRUE(t.ui.shows.empty());
    EXPECT_EQ(giDataSourceType, 1);
    const auto log = t.LogEntries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.CLayerFunctionExport.GetLayersByDlg:100");
    EXPECT_EQ(log[0].number, errnum::kOverflow);
}

// ---- The dialog -------------------------------------------------------------------

TEST(GetLayersByDlg, OpensTheConfiguredDialogAndCancelGivesNone) {
    for (const bool multi : {true, false}) {
        SCOPED_TRACE(multi);
        TestPlatform t;
        OpenAtRoot(t);
        std::string caption, button;
        bool multiSelect = !multi;
        t.ui.OnModal("frmOpenDialog", [&](ui::Form& f) {
            auto& form = static_cast<frmOpenDialog&>(f);
            caption = form.Caption();
            button = form.CmdAddData.Caption();
            multiSelect = form.LVDataList.MultiSelect();
            form.CmdCancel_Click();
        });
        CLayerFunctionExport api(t);
        EXPECT_FALSE(api.GetLayersByDlg(4242, multi, "/ignored").has_value());
        ASSERT_EQ(t.ui.shows.size(), 1u);
        EXPECT_TRUE(t.ui.shows[0].modal);
        EXPECT_EQ(t.ui.shows[0].parent, 4242);
        EXPECT_EQ(caption, "打开对话框");
        EXPECT_EQ(button, "打开(&A)");
        // The name "test" goes into the name box before the display, and the
        // first listing empties the box again.
        EXPECT_EQ(multiSelect, multi);
        // The dialog object is gone with its form.
        EXPECT_EQ(t.ui.unloaded, std::vector<std::string>{"frmOpenDialog"});
        ExpectNoLog(t);
    }
}

TEST(AddLayerForMap, ACancelledDialogPutsNothingInTheMap) {
    TestPlatform t;
    OpenAtRoot(t);
    auto map = t.gis.NewMap();
    t.ui.OnModal("frmOpenDialog", [](ui::Form& f) { static_cast<frmOpenDialog&>(f).CmdCancel_Click(); });
    CLayerFunctionExport api(t);
    const auto result = api.AddLayerForMap(map, 9);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(result));
    EXPECT_EQ(t.gis.Calls("InsertLayer"), 0);
    EXPECT_TRUE(map->Layers().empty());
    ExpectNoLog(t);
}

// A folder the browser opens at (its remembered location), holding five
// shapefiles and a raster in the in-memory catalogue.
struct DataFolder {
    explicit DataFolder(TestPlatform& t) {
        // Every folder on the way down is listed too: give each an empty store.
        for (std::string at = dir.Path(); at != "/"; at = text::ParentFolder(at)) {
            const std::string parent = text::ParentFolder(at);
            const std::string slash = parent == "/" ? parent : parent + "/";
            t.gis.AddWorkspace(gis::FactoryKind::Shapefile, slash);
            t.gis.AddWorkspace(gis::FactoryKind::Raster, slash);
        }
        auto& shapes = t.gis.AddWorkspace(gis::FactoryKind::Shapefile, dir.Path() + "/");
        t.gis.Add(shapes, t.gis.FeatureClass("wells", gis::feature::kSimple, gis::shape::kPoint));
        t.gis.Add(shapes, t.gis.FeatureClass("roads", gis::feature::kSimple, gis::shape::kPolyline));
        t.gis.Add(shapes, t.gis.FeatureClass("parcels", gis::feature::kSimple, gis::shape::kPolygon));
        t.gis.Add(shapes, t.gis.FeatureClass("dome", gis::feature::kSimple, gis::shape::kMultiPatch));
        // A shapefile without shapes: listed, but no layer can be made of it.
        t.gis.Add(shapes, t.gis.FeatureClass("nulls", gis::feature::kSimple, 0));
        auto& rasters = t.gis.AddWorkspace(gis::FactoryKind::Raster, dir.Path() + "/");
        t.gis.Add(rasters, t.gis.Name("dem.tif", gis::kind::kRasterDataset));
        t.system.SaveSetting("VERDANTA", "OPENDLG", "CURDIR", dir.Path());
    }
    testing::TempDir dir;
};

// "The user" picks the named entries and presses the add button.
void Choose(TestPlatform& t, std::vector<std::string> names) {
    testing::OnBrowser(t.ui, [names = std::move(names)](frmOpenDialog& form) {
        EXPECT_TRUE(testing::SelectItems(form, names));
        EXPECT_TRUE(testing::PressAdd(form));
    });
}

std::vector<std::string> LayerNames(const std::vector<gis::LayerPtr>& layers) {
    std::vector<std::string> out;
    for (const auto& l : layers) out.push_back(l ? l->Name() : "<none>");
    return out;
}

std::vector<std::string> LayerNames(const Collection& c) {
    std::vector<gis::LayerPtr> layers;
    for (long i = 1; i <= c.Count(); ++i) layers.push_back(c.ItemAs<gis::Layer>(i));
    return LayerNames(layers);
}

TEST(GetLayersByDlg, ConfirmedChoiceComesBackAsLayersInGroupOrder) {
    TestPlatform t;
    DataFolder folder(t);
    Choose(t, {"dem.tif", "parcels.shp", "dome.shp", "wells.shp"});
    CLayerFunctionExport api(t);
    const auto layers = api.GetLayersByDlg(7, true);
    ASSERT_TRUE(layers.has_value()) << t.ErrLogText();
    // The multipatch class draws as a polygon, in the order the list shows.
    EXPECT_EQ(LayerNames(*layers), (std::vector<std::string>{"wells", "dome", "parcels", "dem.tif"}));
    EXPECT_TRUE(t.ui.messages.empty());
    ExpectNoLog(t);
}

TEST(GetLayersByDlg, AChoiceThatMakesNoLayerKeepsTheDialogOpenAndSaysWhy) {
    TestPlatform t;
    DataFolder folder(t);
    bool shownAfterAdd = false;
    testing::OnBrowser(t.ui, [&](frmOpenDialog& form) {
        EXPECT_TRUE(testing::SelectItems(form, {"nulls.shp"}));
        EXPECT_TRUE(testing::PressAdd(form));
        shownAfterAdd = form.IsVisible() && !form.mbOKClick;
        EXPECT_TRUE(testing::PressCancel(form));
    });
    CLayerFunctionExport api(t);
    EXPECT_FALSE(api.GetLayersByDlg(7, false).has_value());
    EXPECT_TRUE(shownAfterAdd);
    ASSERT_EQ(t.ui.messages.size(), 1u);
    EXPECT_EQ(t.ui.messages[0].text, std::string("所选数据都不能生成图层：\r\nnulls.shp：") + reason::kUnsupportedShapeKind + "（0）");
    ExpectNoLog(t);
}

TEST(GetLayersByDlg, ALayerThatCannotBeMadeIsNamedAndTheOthersComeBack) {
    TestPlatform t;
    DataFolder folder(t);
    Choose(t, {"parcels.shp", "wells.shp", "nulls.shp"});
    t.gis.FailAt("NewFeatureLayer", 2, 1234, "no memory for a layer");
    CLayerFunctionExport api(t);
    const auto layers = api.GetLayersByDlg(7, true);
    ASSERT_TRUE(layers.has_value());
    EXPECT_EQ(LayerNames(*layers), std::vector<std::string>{"parcels"});
    ASSERT_EQ(t.ui.messages.size(), 1u);
    EXPECT_EQ(t.ui.messages[0].text, std::string("已添加 1 个图层，以下 2 项没有生成图层：\r\nnulls.shp：") +
                                         reason::kUnsupportedShapeKind + "（0）\r\nwells.shp：" + reason::kFailed +
                                         "no memory for a layer");
    const auto log = t.LogEntries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.AddLayersBySort:111");
}

TEST(AddLayerForMap, HandsTheLayersToTheServiceLastFirst) {
    TestPlatform t;
    DataFolder folder(t);
    Choose(t, {"roads.shp", "dem.tif", "wells.shp"});
    auto map = t.gis.NewMap();
    auto earlier = t.gis.NewRasterLayer();
    earlier->SetName("basemap");
    map->InsertLayerAt(earlier, 0);
    CLayerFunctionExport api(t);
    api.AddLayerForMap(map, 9);
    EXPECT_EQ(LayerNames(t.gis.inserted), (std::vector<std::string>{"dem.tif", "roads", "wells"}));
    EXPECT_EQ(LayerNames(map->Layers()), (std::vector<std::string>{"wells", "roads", "dem.tif", "basemap"}));
    ExpectNoLog(t);
}

TEST(AddLayerForMap, AFailingServiceStopsAtThatLayer) {
    TestPlatform t;
    DataFolder folder(t);
    Choose(t, {"roads.shp", "dem.tif", "wells.shp"});
    t.gis.FailAt("InsertLayer", 2, 777, "map locked");
    auto map = t.gis.NewMap();
    CLayerFunctionExport api(t);
    api.AddLayerForMap(map, 9);
    // The raster went in; the line layer failed and the point layer was never tried.
    EXPECT_EQ(LayerNames(map->Layers()), std::vector<std::string>{"dem.tif"});
    EXPECT_EQ(t.gis.Calls("InsertLayer"), 2);
    const auto log = t.LogEntries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.CLayerFunctionExport.AddLayerForMap:104");
    EXPECT_EQ(log[0].number, 777);
}

TEST(AddLayerForMap, AChoiceWithoutLayersMakesNoCall) {
    TestPlatform t;
    DataFolder folder(t);
    testing::OnBrowser(t.ui, [](frmOpenDialog& form) {
        EXPECT_TRUE(testing::SelectItems(form, {"nulls.shp"}));
        EXPECT_TRUE(testing::PressAdd(form));
        EXPECT_TRUE(testing::PressCancel(form));
    });
    auto map = t.gis.NewMap();
    CLayerFunctionExport api(t);
    api.AddLayerForMap(map, 9);
    EXPECT_EQ(t.gis.Calls("InsertLayer"), 0);
    EXPECT_TRUE(map->Layers().empty());
    ExpectNoLog(t);
}

// ---- Re-pointing layers -----------------------------------------------------------

// Two databases holding a "roads" class each, and a layer on the old one.
struct Sources {
    explicit Sources(MemoryGis& g) {
        auto& oldDb = g.AddWorkspace(gis::FactoryKind::PersonalGeodatabase, "/old.mdb");
        auto& newDb = g.AddWorkspace(gis::FactoryKind::PersonalGeodatabase, "/new.mdb");
        oldRoads = g.Add(oldDb, g.FeatureClass("roads", 1, 3, "Old roads"));
        newRoads = g.Add(newDb, g.FeatureClass("roads", 1, 3, "New roads"));
        layer = g.NewFeatureLayer(gis::LayerKind::Feature);
        layer->SetFeatureClass(gis::AsFeatureClass(g.OpenName(*oldRoads)));
        layer->SetName("Roads");
    }
    testing::MemoryNamePtr oldRoads, newRoads;
    gis::FeatureLayerPtr layer;

    [[nodiscard]] std::string WorkspaceOfLayer() const {
        return layer->GetFeatureClass()->FullName()->GetWorkspaceName()->PathName();
    }
};

TEST(ResetLayerSource, RepointsTheLayerAndReportsItsNewName) {
    TestPlatform t;
    Sources s(t.gis);
    HostText text;
    CLayerFunctionExport api(t);
    EXPECT_TRUE(api.ResetLayerSource(s.layer, s.newRoads, &text));
    EXPECT_TRUE(s.layer->Valid());
    EXPECT_EQ(s.WorkspaceOfLayer(), "/new.mdb");
    EXPECT_EQ(s.layer->Name(), "New roads");
    EXPECT_EQ(text.value, Line("New roads", kSuccess));
    EXPECT_EQ(text.writes, 1); // one assignment per line
    ExpectNoLog(t);
}

TEST(ResetLayerSource, WithoutANewSourceDisconnectsOnlyAValidLayer) {
    TestPlatform t;
    Sources s(t.gis);
    HostText text;
    CLayerFunctionExport api(t);
    EXPECT_TRUE(api.ResetLayerSource(s.layer, nullptr, &text));
    EXPECT_FALSE(s.layer->Valid());
    EXPECT_EQ(text.value, Line("Roads", kEmptySource));

    // Now invalid: nothing to do, nothing to say.
    EXPECT_FALSE(api.ResetLayerSource(s.layer, nullptr, &text));
    EXPECT_EQ(text.value, Line("Roads", kEmptySource));
    EXPECT_FALSE(api.ResetLayerSource(nullptr, s.newRoads, &text));
    EXPECT_EQ(text.writes, 1);
    ExpectNoLog(t);
}

TEST(ResetLayerSource, LinesAccumulateAtTheCaret) {
    TestPlatform t;
    Sources s(t.gis);
    HostText text;
    CLayerFunctionExport api(t);
    EXPECT_TRUE(api.ResetLayerSource(s.layer, s.newRoads, &text));
    EXPECT_TRUE(api.ResetLayerSource(s.layer, s.oldRoads, &text));
    EXPECT_TRUE(api.ResetLayerSource(s.layer, nullptr, &text));
    EXPECT_EQ(text.value, Line("New roads", kSuccess) + Line("Old roads", kSuccess) + Line("Old roads", kEmptySource));

    // The host's caret decides where a line goes; a selection is replaced.
    HostText host;
    host.value = "[first][second]";
    host.caret = 7;
    host.selection = 8;
    EXPECT_TRUE(api.ResetLayerSource(s.layer, s.newRoads, &host));
    EXPECT_EQ(host.value, "[first]" + Line("New roads", kSuccess));
}

TEST(ResetLayerSource, WithoutATextControlNothingIsWritten) {
    TestPlatform t;
    Sources s(t.gis);
    CLayerFunctionExport api(t);
    EXPECT_TRUE(api.ResetLayerSource(s.layer, s.newRoads));
    EXPECT_EQ(s.layer->Name(), "New roads");
    EXPECT_TRUE(api.ResetLayerSource(s.layer, nullptr));
    t.gis.FailAt("AliasName");
    EXPECT_FALSE(api.ResetLayerSource(s.layer, s.oldRoads));
    // Only the failure reached the log.
    ASSERT_EQ(t.LogEntries().size(), 1u);
    EXPECT_EQ(t.LogEntries()[0].position, "Marbrook.CLayerFunctionExport.ResetLayerSource:115");
}

TEST(ResetLayerSource, FailuresWriteTheirDescriptionAndLogTheirStep) {
    struct Row {
        const char* what;
        std::function<void(TestPlatform&, Sources&, gis::LayerPtr&, HostText&)> arrange;
        int step;
        long number;
        bool result;
        const char* layerName; // as the failure line shows it; "" for no line
    };
    const std::vector<Row> rows = {
        {"a layer without a data source",
         [](TestPlatform& t, Sources&, gis::LayerPtr& layer, HostText&) {
             auto raster = t.gis.NewRasterLayer();
             raster->SetName("dem");
             layer = raster;
         },
         101, errnum::kTypeMismatch, false, "dem"},
        {"a layer never connected",
         [](TestPlatform& t, Sources&, gis::LayerPtr& layer, HostText&) {
             layer = t.gis.NewFeatureLayer(gis::LayerKind::Feature);
             layer->SetName("blank");
         },
         110, errnum::kObjectNotSet, false, "blank"},
        {"connect fails", [](TestPlatform& t, Sources&, gis::LayerPtr&, HostText&) { t.gis.FailAt("Connect", 1, 1001, "broken link"); },
         112, 1001, false, "Roads"},
        {"opening the new class fails",
         [](TestPlatform& t, Sources&, gis::LayerPtr&, HostText&) { t.gis.FailAt("OpenName", 2, 1002, "gone"); }, 113, 1002,
         false, "Roads"},
        {"the alias cannot be read",
         [](TestPlatform& t, Sources&, gis::LayerPtr&, HostText&) { t.gis.FailAt("AliasName", 1, 1003, "no alias"); }, 115, 1003,
         false, "Roads"},
        {"the report cannot be written",
         [](TestPlatform&, Sources&, gis::LayerPtr&, HostText& text) { text.failWrites = true; }, 117,
         errnum::kPermissionDenied, true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestPlatform t;
        Sources s(t.gis);
        HostText text;
        gis::LayerPtr layer = s.layer;
        row.arrange(t, s, layer, text);
        CLayerFunctionExport api(t);
        EXPECT_EQ(api.ResetLayerSource(layer, s.newRoads, &text), row.result);
        const auto log = t.LogEntries();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].position, "Marbrook.CLayerFunctionExport.ResetLayerSource:" + std::to_string(row.step));
        EXPECT_EQ(log[0].number, row.number);
        if (*row.layerName) EXPECT_EQ(text.value, "修改【" + std::string(row.layerName) + kFailure + log[0].description + "\r\n");
        else EXPECT_EQ(text.value, "");
    }
}

// ---- SetFLayerSource --------------------------------------------------------------

TEST(SetFLayerSource, DisconnectOnlyNeedsNoNewSource) {
    TestPlatform t;
    Sources s(t.gis);
    CLayerFunctionExport api(t);
    EXPECT_TRUE(api.SetFLayerSource(false, s.layer, nullptr));
    EXPECT_FALSE(s.layer->Valid());
    EXPECT_FALSE(api.SetFLayerSource(false, nullptr, nullptr));
    ExpectNoLog(t);
}

TEST(SetFLayerSource, ReconnectsToItsOwnSource) {
    TestPlatform t;
    Sources s(t.gis);
    CLayerFunctionExport api(t);
    s.layer->Disconnect();
    EXPECT_TRUE(api.SetFLayerSource(true, s.layer, nullptr));
    EXPECT_TRUE(s.layer->Valid());
    EXPECT_EQ(s.WorkspaceOfLayer(), "/old.mdb");
    ExpectNoLog(t);
}

TEST(SetFLayerSource, RepointsNamesAndMakesTheLayerSelectable) {
    TestPlatform t;
    Sources s(t.gis);
    s.layer->SetSelectable(false);
    CLayerFunctionExport api(t);
    EXPECT_TRUE(api.SetFLayerSource(true, s.layer, s.newRoads));
    EXPECT_TRUE(s.layer->Valid());
    EXPECT_EQ(s.WorkspaceOfLayer(), "/new.mdb");
    EXPECT_EQ(s.layer->Name(), "New roads");
    EXPECT_TRUE(s.layer->Selectable());
    ExpectNoLog(t);
}

TEST(SetFLayerSource, AConnectionThatDoesNotTakeIsReportedAsFailure) {
    struct Row {
        const char* what;
        bool newSource;
        std::function<void(TestPlatform&, Sources&)> arrange;
        int step;
    };
    const std::vector<Row> rows = {
        {"own source unreadable", false,
         [](TestPlatform&, Sources& s) {
             s.layer->Disconnect();
             std::dynamic_pointer_cast<testing::MemoryName>(s.layer->DataSourceName())->openable = false;
         },
         106},
        {"own source: connect raises", false,
         [](TestPlatform& t, Sources& s) {
             s.layer->Disconnect();
             t.gis.FailAt("Connect");
         },
         106},
        {"new source unreadable", true, [](TestPlatform&, Sources& s) { s.newRoads->openable = false; }, 110},
        {"new source: connect raises", true, [](TestPlatform& t, Sources&) { t.gis.FailAt("Connect"); }, 110},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestPlatform t;
        Sources s(t.gis);
        row.arrange(t, s);
        CLayerFunctionExport api(t);
        EXPECT_FALSE(api.SetFLayerSource(true, s.layer, row.newSource ? s.newRoads : nullptr));
        EXPECT_FALSE(s.layer->Valid());
        const auto log = t.LogEntries();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].position, "Marbrook.CLayerFunctionExport.SetFLayerSource:" + std::to_string(row.step));
    }
}

TEST(SetFLayerSource, DressingFailuresAfterTheConnectionArePassedOver) {
    for (const char* operation : {"OpenName", "AliasName"}) {
        SCOPED_TRACE(operation);
        TestPlatform t;
        Sources s(t.gis);
        s.layer->SetSelectable(false);
        // Connect opens the new class first; the second opening dresses the layer.
        t.gis.FailAt(operation, std::string(operation) == "OpenName" ? 2 : 1);
        CLayerFunctionExport api(t);
        EXPECT_TRUE(api.SetFLayerSource(true, s.layer, s.newRoads));
        EXPECT_TRUE(s.layer->Valid());
        EXPECT_EQ(s.layer->Name(), "Roads");
        EXPECT_TRUE(s.layer->Selectable());
        ExpectNoLog(t);
    }
}

TEST(SetFLayerSource, LayersItCannotRepointAreLoggedFailures) {
    TestPlatform t;
    CLayerFunctionExport api(t);
    auto raster = t.gis.NewRasterLayer();
    EXPECT_FALSE(api.SetFLayerSource(false, raster, nullptr));
    auto blank = t.gis.NewFeatureLayer(gis::LayerKind::Feature);
    auto target = t.gis.FeatureClass("x", 1, 1);
    EXPECT_FALSE(api.SetFLayerSource(true, blank, target));
    const auto log = t.LogEntries();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].position, "Marbrook.CLayerFunctionExport.SetFLayerSource:100");
    EXPECT_EQ(log[0].number, errnum::kTypeMismatch);
    EXPECT_EQ(log[1].position, "Marbrook.CLayerFunctionExport.SetFLayerSource:108");
    EXPECT_EQ(log[1].number, errnum::kObjectNotSet);
}

} // namespace
} // namespace marbrook
