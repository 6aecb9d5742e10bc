// The fault sweep: every numbered routine of the library, run once per
// platform call it makes with exactly that call failing. No failure may reach
// the host; each one ends as one error-log entry of a real routine and step,
// the routine's neutral result, a normal pointer and the caller's things kept.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>

#include <unistd.h>

#include "browser/frmOpenDialog.h"
#include "catalogue/basOpenDialogs.h"
#include "connections/DatabaseListings.h"
#include "connections/frmChangeVersion.h"
#include "connections/frmOpenWorkspace.h"
#include "interface/CLayerFunctionExport.h"
#include "catalogue/CLayerObj.h"
#include "interface/COpenLayerDlg.h"
#include "interface/ComponentServer.h"
#include "support/Globals.h"
#include "support/basSafe.h"
#include "support/basWindowPos.h"
#include "tests/sweep/CompiledPositions.h"
#include "tests/sweep/SweepHarness.h"

namespace marbrook::sweep {

namespace fs = std::filesystem;
using gis::FactoryKind;
namespace kind = gis::kind;

// ---- The world every scenario starts from -----------------------------------------

World::World() {
    t.platform.steps = &reached;
    dir = data.Path();
    sdeFolder = dir + "/sde";
    sdeFile = sdeFolder + "/prod.sde";
    mdb = dir + "/parcels.mdb";
    dxf = dir + "/plan.dxf";

    // One drive, the data folder: a subfolder, a geodatabase, a drawing and
    // a folder of connection files.
    t.system.drives = {{dir, 3}};
    fs::create_directories(dir + "/sub");
    fs::create_directories(sdeFolder);
    testing::WriteFile(mdb, "mdb");
    testing::WriteFile(dxf, "dxf");
    testing::WriteFile(sdeFile, "SERVER=db");
    testing::WriteFile(sdeFolder + "/Connection to db.sde", "SERVER=db");
    testing::WriteFile(SettingsFile(), "[ErrInfo]\r\nbShow=0\r\n[Other]\r\nkeep=1\r\n");
    // The remembered location names no folder: the browser opens at the root.
    fs::create_directories(t.home.ConfigHome() + "/marbrook");
    testing::WriteFile(t.home.ConfigHome() + "/marbrook/VERDANTA.ini", "[OPENDLG]\r\nCURDIR=" + dir + "/nowhere\r\n");

    auto& gis = t.gis;
    for (const std::string& folder : {dir + "/", dir + "/sub/"}) {
        gis.AddWorkspace(FactoryKind::Shapefile, folder);
        gis.AddWorkspace(FactoryKind::Raster, folder);
    }
    auto& shapes = *gis.FindWorkspace(FactoryKind::Shapefile, dir + "/");
    gis.Add(shapes, gis.FeatureClass("roads", gis::feature::kSimple, gis::shape::kPolyline, "Road network"));
    gis.Add(shapes, gis.FeatureClass("towns", gis::feature::kSimple, gis::shape::kPoint, "Towns"));
    gis.Add(*gis.FindWorkspace(FactoryKind::Raster, dir + "/"), gis.Name("dem.tif", kind::kRasterDataset));

    // The drawing, as the folder listing (with "/") and the drawing listing
    // (without) open its folder.
    for (const std::string& folder : {dir + "/", dir}) {
        auto& cad = gis.AddWorkspace(FactoryKind::Cad, folder);
        auto drawing = gis.Name("plan.dxf", kind::kFeatureDataset);
        drawing->subsets = {gis.FeatureClass("Annotation", gis::feature::kCoverageAnnotation, 0),
                            gis.FeatureClass("Point", gis::feature::kSimple, gis::shape::kPoint),
                            gis.FeatureClass("Polyline", gis::feature::kSimple, gis::shape::kPolyline),
                            gis.Name("plan.dxf", kind::kCadDrawing)};
        gis.Add(cad, drawing);
    }

    // A GeoPackage and a GeoJSON file beside them.
    testing::WriteFile(dir + "/today.gpkg", "gpkg");
    testing::WriteFile(dir + "/trails.geojson", "{}");
    auto& dataFiles = gis.AddWorkspace(FactoryKind::DataFile, dir + "/");
    auto gpkg = gis.Name("today.gpkg", kind::kStore);
    gpkg->storeKind = gis::store::kGeoPackage;
    gpkg->format = "GeoPackage";
    gis.Add(dataFiles, gpkg);
    auto trails = gis.FeatureClass("trails.geojson", gis::feature::kSimple, gis::shape::kPolyline);
    trails->format = "GeoJSON";
    gis.Add(dataFiles, trails);

    auto& pgdb = gis.AddWorkspace(FactoryKind::PersonalGeodatabase, mdb);
    auto land = gis.Name("land", kind::kFeatureDataset);
    land->subsets = {gis.FeatureClass("parcels", gis::feature::kSimple, gis::shape::kPolygon),
                     gis.FeatureClass("labels", gis::feature::kAnnotation, 0)};
    gis.Add(pgdb, land);
    gis.Add(pgdb, gis.FeatureClass("wells", gis::feature::kSimple, gis::shape::kPoint));
    gis.Add(pgdb, gis.Name("ortho", kind::kRasterDataset));
    gis.Add(pgdb, gis.Name("owners", kind::kTable));

    gis::PropertySet props;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"SERVER", "db"}, {"INSTANCE", "5432"}, {"DATABASE", "gisdb"}, {"USER", "u"}, {"PASSWORD", "pw"},
             {"VERSION", "sde.DEFAULT"}})
        props.SetProperty(name, value);
    gis.connectionFiles[sdeFile] = props;
    auto& sde = gis.AddWorkspace(FactoryKind::SpatialDatabase, "db:5432");
    sde.versions = {{"sde.DEFAULT", "default", std::nullopt}, {"sde.edit", "edit", std::string("sde.DEFAULT")}};
    gis.Add(sde, gis.FeatureClass("streets", gis::feature::kSimple, gis::shape::kPolyline));
    auto water = gis.Name("water", kind::kFeatureDataset);
    water->subsets = {gis.FeatureClass("pipes", gis::feature::kSimple, gis::shape::kPolyline),
                      gis.FeatureClass("valves", gis::feature::kSimple, gis::shape::kPoint),
                      gis.FeatureClass("notes", gis::feature::kAnnotation, 0), gis.Name("depth", kind::kRasterDataset),
                      gis.Name("log", kind::kTable)};
    gis.Add(sde, water);
    gis.Add(sde, gis.Name("elev", kind::kRasterDataset));
    gis.Add(sde, gis.Name("tiles", kind::kRasterCatalog));
    gis.Add(sde, gis.Name("owners", kind::kTable));
}

namespace {

// ---- Small helpers --------------------------------------------------------------------

std::string Expect(bool holds, const std::string& what) { return holds ? std::string{} : " " + what + ";"; }

long FindItem(const frmOpenDialog& form, const std::string& name) {
    const auto& items = form.LVDataList.Items();
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].text == name) return static_cast<long>(i + 1);
    return 0;
}

// The user's actions, tolerant of a list a fault left short: an item that
// is not there is not clicked.
bool Click(frmOpenDialog& form, const std::string& name) {
    const long pos = FindItem(form, name);
    if (pos == 0) return false;
    form.LVDataList.ClearSelection();
    form.LVDataList.SetSelected(pos, true);
    form.LVDataList_ItemClick();
    return true;
}

bool DoubleClick(frmOpenDialog& form, const std::string& name) {
    if (!Click(form, name)) return false;
    form.LVDataList_DblClick();
    return true;
}

// The user enters the data folder from the root listing, picks the road
// shapefile and presses the add button; cancels when something is missing.
void PickRoads(World& w) {
    const std::string drive = w.dir;
    w.t.ui.OnModal("frmOpenDialog", [drive](ui::Form& f) {
        auto& form = dynamic_cast<frmOpenDialog&>(f);
        if (DoubleClick(form, drive) && Click(form, "roads.shp")) form.CmdAddData_Click();
        else form.CmdCancel_Click();
    });
}

// The user enters the geodatabase, picks its feature dataset and a feature
// class together and presses the add button.
void PickFromGeodatabase(World& w) {
    const std::string drive = w.dir;
    w.t.ui.OnModal("frmOpenDialog", [drive](ui::Form& f) {
        auto& form = dynamic_cast<frmOpenDialog&>(f);
        if (!DoubleClick(form, drive) || !DoubleClick(form, "parcels.mdb")) return form.CmdCancel_Click();
        const long land = FindItem(form, "land"), wells = FindItem(form, "wells");
        if (land == 0 || wells == 0) return form.CmdCancel_Click();
        form.LVDataList.ClearSelection();
        form.LVDataList.SetSelected(land, true);
        form.LVDataList.SetSelected(wells, true);
        form.LVDataList_ItemClick();
        form.CmdAddData_Click();
    });
}

// The name of the location the form shows.
std::string CurrentName(const frmOpenDialog& form) { return form.ComboLocation.Text(); }

// The form's location list is whole and shown as it is.
std::string LocationListWhole(const frmOpenDialog& form) {
    return Expect(!form.ComboList().empty() && form.ComboLocation.Count() == static_cast<long>(form.ComboList().size()),
                  "the location list and its combo disagree");
}

// A browser form showing the root listing, and one showing the data folder.
std::shared_ptr<frmOpenDialog> BrowserAtRoot(World& w) {
    auto form = std::make_shared<frmOpenDialog>(w.t.platform);
    form->EnsureLoaded();
    form->msSdeDataPath = w.sdeFolder;
    std::string sde = w.sdeFolder;
    form->InitDataList(sde);
    form->SetFilterType(0);
    return form;
}

std::shared_ptr<frmOpenDialog> BrowserInData(World& w) {
    auto form = BrowserAtRoot(w);
    DoubleClick(*form, w.dir);
    return form;
}

// A browser that has entered each of `path` in turn from the root listing.
std::shared_ptr<frmOpenDialog> BrowserAt(World& w, const std::vector<std::string>& path) {
    auto form = BrowserAtRoot(w);
    for (const auto& name : path) DoubleClick(*form, name);
    return form;
}

// A host text control the re-pointing reports into.
class HostText final : public ui::TextControl {
public:
    void SetSelText(const std::string& text) override { value += text; }
    std::string value;
};

std::shared_ptr<CLayerObj> Chosen(const gis::DatasetNamePtr& name, std::int16_t type) {
    auto obj = std::make_shared<CLayerObj>();
    obj->pDataSetObj(name);
    obj->DataType(type);
    if (name) obj->DataName(name->Name());
    return obj;
}

gis::DatasetNamePtr NameIn(World& w, FactoryKind factory, const std::string& path, const std::string& name) {
    for (const auto& n : w.t.gis.FindWorkspace(factory, path)->names)
        if (n->Name() == name) return n;
    return nullptr;
}

// A data list the caller already holds: a listing must not lose it when
// it fails before it starts.
DataItems OldListing() {
    DataItems items(3);
    items[1].DataName = "old-1";
    items[2].DataName = "old-2";
    return items;
}

bool IsOldListing(const DataItems& items) {
    return items.size() == 3 && items[1].DataName == "old-1" && items[2].DataName == "old-2";
}

// Both old entries are still first in the list.
bool KeepsOldEntries(const DataItems& items) {
    return items.size() >= 3 && items[1].DataName == "old-1" && items[2].DataName == "old-2";
}

// A connection form filled in for the spatial database of the world.
std::shared_ptr<frmOpenWorkspace> FilledConnectionForm(World& w) {
    auto form = std::make_shared<frmOpenWorkspace>(w.t.platform);
    form->EnsureLoaded();
    form->txtServer.SetText("db");
    form->txtService.SetText("5432");
    form->txtDatabase.SetText("gisdb");
    form->txtUserName.SetText("u");
    form->txtPWD.SetText("pw");
    form->msSdeDataPath = w.sdeFolder;
    return form;
}

// Calls the COpenLayerDlg construction passes over by design: the user name
// (none means "no profile folder") and creating the fallback connection
// folder (the library folder serves instead).
IgnoredCall ConnectionFolderCalls() { return CallsOf({"system.UserName", "system.CreateFolder"}); }

// Re-pointing is done at step 105 (disconnected) or 116 (connected): a
// failure of the report line after it keeps the result.
bool DoneBefore(int step) { return step == 106 || step == 117; }

// Sorting a made layer into its group reads its class; a value that cannot
// be read leaves the layer out of every group, by design, without an entry.
bool SortingRead(const CallTrace& trace, std::size_t i) {
    std::size_t j = i;
    while (j > 0 && (trace[j] == "gis.GetFeatureClass" || trace[j] == "gis.FeatureKind" || trace[j] == "gis.ShapeKind")) --j;
    return j < i && trace[j] == "gis.SetLayerName";
}

// The names of the items that gave no layer are read for the message alone:
// a name that cannot be read is told as the dataset's name with "/" only.
bool NamingForTheMessage(const CallTrace& trace, std::size_t i) {
    if (trace[i] != "gis.Name") return false;
    for (std::size_t j = i + 1; j < trace.size(); ++j) {
        if (trace[j] == "ui.MessageBox") return true;
        if (trace[j] != "gis.Name" && trace[j] != "gis.Kind" && trace[j] != "ui.SetMousePointer") return false;
    }
    return false;
}

// ---- The scenarios -------------------------------------------------------------------

std::vector<Scenario> Scenarios() {
    std::vector<Scenario> s;
    using P = std::shared_ptr<frmOpenDialog>;

    // ---- interface ----
    s.push_back({"Marbrook.CLayerFunctionExport.GetLayersByDlg:", "the user adds a shapefile", [](World& w) {
                     PickRoads(w);
                     auto result = std::make_shared<std::optional<Collection>>();
                     auto api = std::make_shared<CLayerFunctionExport>(w.t.platform);
                     Run run{[api, result] { *result = api->GetLayersByDlg(0, true); },
                             [result](int) { return Expect(!result->has_value(), "returns layers after a failure"); },
                             {}};
                     run.clean = [result] { return Expect(result->has_value() && (*result)->Count() > 0, "no layers"); };
                     return run;
                 },
                 // and the dialog's own unloading at its end
                 Either(Either(ConnectionFolderCalls(), CallsOf({"ui.UnloadForm"})), SortingRead),
                 {}});
    s.push_back({"Marbrook.CLayerFunctionExport.GetLayersByDlg:", "the user adds a feature dataset and a class", [](World& w) {
                     PickFromGeodatabase(w);
                     auto result = std::make_shared<std::optional<Collection>>();
                     auto api = std::make_shared<CLayerFunctionExport>(w.t.platform);
                     Run run{[api, result] { *result = api->GetLayersByDlg(0, true); },
                             [result](int) { return Expect(!result->has_value(), "returns layers after a failure"); },
                             {}};
                     run.clean = [result] { return Expect(result->has_value() && (*result)->Count() > 0, "no layers"); };
                     return run;
                 },
                 Either(Either(ConnectionFolderCalls(), CallsOf({"ui.UnloadForm"})), SortingRead),
                 {}});
    for (const bool geodatabase : {false, true})
    s.push_back({"Marbrook.CLayerFunctionExport.AddLayerForMap:", geodatabase ? "the user adds three layers to a map" : "the user adds a shapefile to a map", [geodatabase](World& w) {
                     if (geodatabase) PickFromGeodatabase(w);
                     else PickRoads(w);
                     auto api = std::make_shared<CLayerFunctionExport>(w.t.platform);
                     auto map = w.t.gis.NewMap();
                     auto existing = w.t.gis.NewFeatureLayer(gis::LayerKind::Feature);
                     map->InsertLayerAt(existing, 0);
                     Run run{[api, map] { (void)api->AddLayerForMap(map, 0); }, {},
                             [map, existing] {
                                 const auto layers = map->Layers();
                                 return Expect(std::find(layers.begin(), layers.end(), existing) != layers.end(),
                                               "the map lost its own layer");
                             }};
                     const std::size_t expected = geodatabase ? 4 : 2;
                     run.clean = [map, expected] { return Expect(map->Layers().size() == expected, "not every layer added"); };
                     return run;
                 },
                 Either(Either(ConnectionFolderCalls(), CallsOf({"ui.UnloadForm"})), SortingRead),
                 {}});
    const auto layerOnRoads = [](World& w) {
        auto layer = w.t.gis.NewFeatureLayer(gis::LayerKind::Feature);
        layer->SetFeatureClass(gis::AsFeatureClass(w.t.gis.OpenName(*NameIn(w, FactoryKind::Shapefile, w.dir + "/", "roads"))));
        layer->SetName("roads");
        return layer;
    };
    s.push_back({"Marbrook.CLayerFunctionExport.ResetLayerSource:", "re-point a layer", [layerOnRoads](World& w) {
                     auto api = std::make_shared<CLayerFunctionExport>(w.t.platform);
                     gis::LayerPtr layer = layerOnRoads(w);
                     auto target = NameIn(w, FactoryKind::Shapefile, w.dir + "/", "towns");
                     auto result = std::make_shared<bool>(false);
                     return Run{[api, layer, target, result] { *result = api->ResetLayerSource(layer, target); },
                                [result](int step) { return Expect(!*result || DoneBefore(step), "reports success after a failure"); },
                                {}};
                 },
                 // Connect's own opening: its outcome is not examined, the
                 // opening that follows decides.
                 [](const CallTrace& trace, std::size_t i) {
                     for (std::size_t c = 0; c < trace.size(); ++c)
                         if (trace[c] == "gis.Connect") return i > c && i < c + 3 && trace[i] != "gis.Connect";
                     return false;
                 },
                 {}});
    s.push_back({"Marbrook.CLayerFunctionExport.SetFLayerSource:", "re-point a layer", [layerOnRoads](World& w) {
                     auto api = std::make_shared<CLayerFunctionExport>(w.t.platform);
                     gis::LayerPtr layer = layerOnRoads(w);
                     auto target = NameIn(w, FactoryKind::Shapefile, w.dir + "/", "towns");
                     auto result = std::make_shared<bool>(false);
                     return Run{[api, layer, target, result] { *result = api->SetFLayerSource(true, layer, target); },
                                [result](int) { return Expect(!*result, "reports success after a failure"); },
                                {}};
                 },
                 // Dressing the connected layer (alias name, selectable) is
                 // passed over: everything after Connect and its opening.
                 [](const CallTrace& trace, std::size_t i) {
                     for (std::size_t c = 0; c < trace.size(); ++c)
                         if (trace[c] == "gis.Connect") return i >= c + 3;
                     return false;
                 },
                 {}});
    s.push_back({"Marbrook.CLayerFunctionExport.NewMap:", "through the component", [](World& w) {
                     void* object = nullptr;
                     component::CreateObject(w.t.platform, component::kLayerFunctionClass, &object);
                     std::shared_ptr<ILayerFunctionExport> api(
                         static_cast<ILayerFunctionExport*>(object), [](ILayerFunctionExport* o) {
                             if (o) o->Release();
                         });
                     auto map = std::make_shared<gis::MapPtr>();
                     return Run{[api, map] { *map = api->NewMap(); },
                                [map](int) { return Expect(*map == nullptr, "returns a map after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.COpenLayerDlg.Class_Initialize:", "create the dialog object", [](World& w) {
                     auto holder = std::make_shared<std::unique_ptr<COpenLayerDlg>>();
                     Platform* p = &w.t.platform;
                     return Run{[holder, p] { *holder = std::make_unique<COpenLayerDlg>(*p); }, {}, {}};
                 },
                 ConnectionFolderCalls(), {}});
    s.push_back({"Marbrook.COpenLayerDlg.DoModalOpen:", "the user adds a shapefile", [](World& w) {
                     auto dlg = std::make_shared<COpenLayerDlg>(w.t.platform);
                     PickRoads(w);
                     auto selection = std::make_shared<Collection>();
                     auto earlier = std::make_shared<CLayerObj>();
                     selection->Add(earlier);
                     auto result = std::make_shared<bool>(false);
                     Run run{[dlg, selection, result] { *result = dlg->DoModalOpen(0, *selection); },
                             [result](int) { return Expect(!*result, "confirms after a failure"); },
                             [selection, earlier] {
                                 return Expect(selection->Count() >= 1 && selection->Item(1) == earlier,
                                               "the caller's selection lost its first item");
                             }};
                     run.clean = [result, selection] { return Expect(*result && selection->Count() == 2, "nothing chosen"); };
                     return run;
                 },
                 {}, {}});
    s.push_back({"Marbrook.ComponentEntry.DllGetClassObject:", "create the component", [](World& w) {
                     Platform* p = &w.t.platform;
                     return Run{[p] {
                                    void* object = nullptr;
                                    if (component::CreateObject(*p, component::kLayerFunctionClass, &object) == component::kOk)
                                        static_cast<ILayerFunctionExport*>(object)->Release();
                                },
                                {}, {}};
                 },
                 {}, "creating the object asks nothing of the platform"});
    s.push_back({"Marbrook.ComponentEntry.DllRegisterServer:", "over an existing registration file", [](World& w) {
                     const std::string file = component::RegistrationFile();
                     fs::create_directories(fs::path(file).parent_path());
                     testing::WriteFile(file, "[Other]\nkeep=1\n");
                     Platform* p = &w.t.platform;
                     auto result = std::make_shared<int>(component::kOk);
                     return Run{[p, result] { *result = component::RegisterServer(*p); },
                                [result](int) { return Expect(*result == component::kFailed, "does not say it failed"); },
                                [file] {
                                    return Expect(testing::ReadFile(file).find("keep=1") != std::string::npos,
                                                  "the registration file lost its other values");
                                }};
                 },
                 {}, {}});
    s.push_back({"Marbrook.ComponentEntry.DllUnregisterServer:", "remove the registration file", [](World& w) {
                     Platform* p = &w.t.platform;
                     return Run{[p] { (void)component::UnregisterServer(*p); }, {}, {}};
                 },
                 {}, "removes its file with the standard library, not through the platform"});

    // ---- browser ----
    s.push_back({"Marbrook.frmOpenDialog.Form_Load:", "first access to the form", [](World& w) {
                     auto form = std::make_shared<frmOpenDialog>(w.t.platform);
                     return Run{[form] { form->EnsureLoaded(); }, {}, {}};
                 },
                 {}, {}});
    const auto replayConnection = [](World& w) {
        // The remembered location is a connection file of the database root.
        giDataSourceType = 1;
        auto form = std::make_shared<frmOpenDialog>(w.t.platform);
        form->EnsureLoaded();
        form->msSdeDataPath = w.sdeFolder;
        auto result = std::make_shared<bool>(false);
        return Run{[form, result] {
                       gsCurDir = "prod.sde";
                       giDataSourceType = 1;
                       std::string sde;
                       *result = form->InitDataList(sde);
                   },
                   // True once the first view stands (step 105 on).
                   [result](int step) { return Expect(!*result || step >= 105, "true before the first view stands"); },
                   [form] { return LocationListWhole(*form); }};
    };
    s.push_back({"Marbrook.frmOpenDialog.InitDataList:", "replaying a remembered connection", replayConnection, {}, {}});
    // A remembered folder is replayed from the root volume "/" down; the root
    // and the folders below it are listed as the test gives them.
    const auto replayFolder = [](World& w) {
        auto& sys = w.t.system;
        sys.drives = {{"/", 3}};
        sys.virtualFolders["/"] = {{"readme.txt"}, {"data", "home"}};
        sys.virtualFolders["/data"] = {{"plan.dxf"}, {"sub"}};
        sys.virtualFolders["/data/sub"] = {{}, {}};
        for (const std::string folder : {"/", "/data/", "/data/sub/"}) {
            w.t.gis.AddWorkspace(FactoryKind::Shapefile, folder);
            w.t.gis.AddWorkspace(FactoryKind::Raster, folder);
        }
        w.t.gis.Add(*w.t.gis.FindWorkspace(FactoryKind::Shapefile, "/data/"),
                    w.t.gis.FeatureClass("rivers", gis::feature::kSimple, gis::shape::kPolyline));
        auto& cad = w.t.gis.AddWorkspace(FactoryKind::Cad, "/data/");
        w.t.gis.Add(cad, w.t.gis.Name("plan.dxf", kind::kFeatureDataset));
        auto form = std::make_shared<frmOpenDialog>(w.t.platform);
        form->EnsureLoaded();
        auto result = std::make_shared<bool>(false);
        Run run{[form, result] {
                    gsCurDir = "/data/sub";
                    std::string sde;
                    *result = form->InitDataList(sde);
                },
                [result](int step) { return Expect(!*result || step >= 105, "true before the first view stands"); },
                [form] { return LocationListWhole(*form); }};
        run.clean = [form] { return Expect(form->ComboLocation.Text() == "sub", "the remembered folder was not reached"); };
        return run;
    };
    s.push_back({"Marbrook.frmOpenDialog.InitDataList:", "replaying a remembered folder", replayFolder, {}, {}});
    s.push_back({"Marbrook.frmOpenDialog.SetSub:", "InitDataList replaying a remembered folder", [replayFolder](World& w) {
                     Run run = replayFolder(w);
                     run.neutral = {};
                     return run;
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenDialog.SetSub:", "InitDataList replaying a remembered connection", [replayConnection](World& w) {
                     Run run = replayConnection(w);
                     run.neutral = {}; // SetSub returns nothing
                     return run;
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenDialog.RefreshDataList:", "double-click the drive in report view", [](World& w) {
                     P form = BrowserAtRoot(w);
                     form->OptReport_Click();
                     const std::string drive = w.dir;
                     return Run{[form, drive] { DoubleClick(*form, drive); }, {}, [form] { return LocationListWhole(*form); }};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenDialog.RefreshDataListEx:", "report view of the data folder", [](World& w) {
                     P form = BrowserInData(w);
                     return Run{[form] { form->RefreshDataListEx(ui::ListView::kReport, 1); }, {}, [form] { return LocationListWhole(*form); }};
                 },
                 {}, {}});
    for (const auto& [position, press] : std::vector<std::pair<std::string, void (frmOpenDialog::*)()>>{
             {"Marbrook.frmOpenDialog.OptList_Click:", &frmOpenDialog::OptList_Click},
             {"Marbrook.frmOpenDialog.OptReport_Click:", &frmOpenDialog::OptReport_Click},
             {"Marbrook.frmOpenDialog.OptThumbs_Click:", &frmOpenDialog::OptThumbs_Click}}) {
        s.push_back({position, "in the data folder", [press = press](World& w) {
                         P form = BrowserInData(w);
                         return Run{[form, press] { ((*form).*press)(); }, {}, [form] { return LocationListWhole(*form); }};
                     },
                     {}, {}});
    }
    s.push_back({"Marbrook.frmOpenDialog.LVDataList_DblClick:", "double-click a shapefile", [](World& w) {
                     P form = BrowserInData(w);
                     return Run{[form] { DoubleClick(*form, "roads.shp"); }, {}, [form] { return LocationListWhole(*form); }};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenDialog.ComboLocation_Click:", "back to the root from the data folder", [](World& w) {
                     P form = BrowserInData(w);
                     return Run{[form] {
                                    form->ComboLocation.Select(1);
                                    form->ComboLocation_Click();
                                },
                                {}, [form] { return LocationListWhole(*form); }};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenDialog.TxtDataName_KeyDown:", "a subfolder's path typed from the root", [](World& w) {
                     P form = BrowserAtRoot(w);
                     const std::string path = w.dir + "/sub";
                     Run run{[form, path] {
                                 form->TxtDataName.SetText(path);
                                 form->TxtDataName_KeyDown(frmOpenDialog::kKeyReturn, 0);
                             },
                             [form](int) { return Expect(!form->mbOKClick, "confirms after a failure"); },
                             [form] { return LocationListWhole(*form); }};
                     run.clean = [form] { return Expect(CurrentName(*form) == "sub", "not in the subfolder"); };
                     return run;
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenDialog.TxtDataName_KeyDown:", "a name that is not listed", [](World& w) {
                     P form = BrowserInData(w);
                     Run run{[form] {
                                 form->TxtDataName.SetText("rivers.shp");
                                 form->TxtDataName_KeyDown(frmOpenDialog::kKeyReturn, 0);
                             },
                             {}, [form] { return LocationListWhole(*form); }};
                     run.clean = [w = &w] { return Expect(w->t.ui.messages.size() == 1, "the user was not told"); };
                     return run;
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenDialog.LVDataList_ColumnClick:", "the kind column of the data folder", [](World& w) {
                     P form = BrowserInData(w);
                     form->OptReport_Click();
                     return Run{[form] { form->LVDataList_ColumnClick(2); }, {}, {}};
                 },
                 {}, "reorders the list's own items"});
    s.push_back({"Marbrook.frmOpenDialog.SetFilterType:", "the vector filter", [](World& w) {
                     P form = BrowserAtRoot(w);
                     return Run{[form] { (void)form->SetFilterType(3); }, {}, {}};
                 },
                 {}, "fills its own combo only"});
    const auto selectTwo = [](World& w) {
        P form = BrowserInData(w);
        return Run{[form] {
                       form->LVDataList.SetMultiSelect(true);
                       form->LVDataList.SetSelected(FindItem(*form, "roads.shp"), true);
                       form->LVDataList.SetSelected(FindItem(*form, "towns.shp"), true);
                       form->LVDataList_ItemClick();
                   },
                   {}, {}};
    };
    s.push_back({"Marbrook.frmOpenDialog.LVDataList_ItemClick:", "select two shapefiles", selectTwo, {},
                 "reads the form's own lists only"});
    s.push_back({"Marbrook.frmOpenDialog.GetSelDataList:", "LVDataList_ItemClick on two shapefiles", selectTwo, {},
                 "reads the form's own lists only"});
    s.push_back({"Marbrook.frmOpenDialog.GetSelectDataset:", "after a selection", [](World& w) {
                     P form = BrowserInData(w);
                     Click(*form, "roads.shp");
                     auto selection = std::make_shared<Collection>();
                     auto earlier = std::make_shared<CLayerObj>();
                     selection->Add(earlier);
                     return Run{[form, selection] { (void)form->GetSelectDataset(*selection); }, {},
                                [selection, earlier] {
                                    return Expect(selection->Count() >= 1 && selection->Item(1) == earlier,
                                                  "the caller's collection lost its first item");
                                }};
                 },
                 {}, "builds result objects only"});
    s.push_back({"Marbrook.frmOpenDialog.CmdAddData_Click:", "a shapefile selected", [](World& w) {
                     P form = BrowserInData(w);
                     Click(*form, "roads.shp");
                     return Run{[form] { form->CmdAddData_Click(); }, {}, [form] { return LocationListWhole(*form); }};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenDialog.cmdCancel_Click:", "cancel", [](World& w) {
                     P form = BrowserInData(w);
                     return Run{[form] { form->CmdCancel_Click(); },
                                [form](int) { return Expect(!form->mbOKClick, "confirmed after a failure"); }, {}};
                 },
                 {}, {}});

    // More ways through the double-click: into every kind of location, a
    // table of a spatial database, and a new connection.
    struct Walk {
        std::vector<std::string> path; // entered before the run, after the drive or the database root
        std::string item;              // double-clicked in the run
        bool database;                 // from the database root rather than the drive
    };
    for (const Walk& walk : std::vector<Walk>{{{}, "parcels.mdb", false},
                                              {{"parcels.mdb"}, "land", false},
                                              {{}, "plan.dxf", false},
                                              {{}, "prod.sde", true},
                                              {{"prod.sde"}, "water", true},
                                              {{"prod.sde", "water"}, "log", true},
                                              {{}, kNewSdeConnectionName, true}}) {
        s.push_back({"Marbrook.frmOpenDialog.LVDataList_DblClick:", "double-click " + walk.item, [walk](World& w) {
                         if (walk.database) giDataSourceType = 1;
                         std::vector<std::string> path{walk.database ? std::string(kDatabaseRootName) : w.dir};
                         path.insert(path.end(), walk.path.begin(), walk.path.end());
                         P form = BrowserAt(w, path);
                         // The new connection the user makes.
                         w.t.ui.OnModal("frmOpenWorkspace", [](ui::Form& f) {
                             auto& conn = dynamic_cast<frmOpenWorkspace&>(f);
                             conn.txtServer.SetText("db");
                             conn.txtService.SetText("5432");
                             conn.txtUserName.SetText("u");
                             conn.CmdOK_Click();
                         });
                         const bool database = walk.database;
                         const std::string item = walk.item;
                         return Run{[form, item, database] {
                                        giDataSourceType = database ? 1 : 0;
                                        DoubleClick(*form, item);
                                    },
                                    {}, [form] { return LocationListWhole(*form); }};
                     },
                     {}, {}});
    }
    s.push_back({"Marbrook.frmOpenDialog.ComboLocation_Click:", "back to the data folder from a subfolder", [](World& w) {
                     P form = BrowserAt(w, {w.dir, "sub"});
                     const std::string dir = w.dir;
                     return Run{[form, dir] {
                                    const auto& items = form->ComboLocation.Items();
                                    for (std::size_t i = 0; i < items.size(); ++i)
                                        if (items[i].text == dir) form->ComboLocation.Select(static_cast<long>(i + 1));
                                    form->ComboLocation_Click();
                                },
                                {}, [form] { return LocationListWhole(*form); }};
                 },
                 {}, {}});
    s.push_back({"Marbrook.CLayerFunctionExport.ResetLayerSource:", "disconnect, reporting", [layerOnRoads](World& w) {
                     auto api = std::make_shared<CLayerFunctionExport>(w.t.platform);
                     gis::LayerPtr layer = layerOnRoads(w);
                     auto text = std::make_shared<HostText>();
                     auto result = std::make_shared<bool>(false);
                     return Run{[api, layer, text, result] { *result = api->ResetLayerSource(layer, nullptr, text.get()); },
                                [result](int step) { return Expect(!*result || DoneBefore(step), "reports success after a failure"); },
                                {}};
                 },
                 {}, {}});
    for (const bool connect : {false, true}) {
        s.push_back({"Marbrook.CLayerFunctionExport.SetFLayerSource:", connect ? "reconnect to its own source" : "disconnect",
                     [layerOnRoads, connect](World& w) {
                         auto api = std::make_shared<CLayerFunctionExport>(w.t.platform);
                         gis::LayerPtr layer = layerOnRoads(w);
                         auto result = std::make_shared<bool>(false);
                         return Run{[api, layer, connect, result] { *result = api->SetFLayerSource(connect, layer, nullptr); },
                                    [result](int) { return Expect(!*result, "reports success after a failure"); }, {}};
                     },
                     {}, {}});
    }

    // ---- catalogue ----
    s.push_back({"Marbrook.basOpenDialogs.InitSDEDataPath:", "no profile folder, no fallback folder yet", [](World& w) {
                     Platform* p = &w.t.platform;
                     auto result = std::make_shared<std::string>("unset");
                     return Run{[p, result] { *result = InitSDEDataPath(*p); },
                                [result](int step) { return Expect(step > 100 || result->empty(), "a folder without the library's"); },
                                {}};
                 },
                 ConnectionFolderCalls(), {}});
    s.push_back({"Marbrook.basOpenDialogs.GetSelFilesInfos:", "two selected entries", [](World& w) {
                     Platform* p = &w.t.platform;
                     auto lv = std::make_shared<ui::ListView>("LVDataList");
                     lv->SetMultiSelect(true);
                     auto items = std::make_shared<DataItems>(OldListing());
                     for (long i = 1; i <= 2; ++i) {
                         lv->SetTag(lv->AddItem("x", 0, 0), i);
                         lv->SetSelected(i, true);
                     }
                     auto selected = std::make_shared<DataItems>();
                     auto result = std::make_shared<long>(-1);
                     return Run{[p, lv, items, selected, result] { *result = GetSelFilesInfos(*p, *selected, *lv, *items); },
                                [result](int) { return Expect(*result == 0, "counts after a failure"); },
                                [items] { return Expect(IsOldListing(*items), "the data list changed"); }};
                 },
                 {}, {}});
    s.push_back({"Marbrook.basOpenDialogs.GetCADFilesDatasetName:", "the drawing of the data folder", [](World& w) {
                     Platform* p = &w.t.platform;
                     const std::string folder = w.dir + "/";
                     auto result = std::make_shared<gis::DatasetNamePtr>();
                     return Run{[p, folder, result] { *result = GetCADFilesDatasetName(*p, folder, "plan.dxf"); },
                                [result](int) { return Expect(*result == nullptr, "a name after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.basOpenDialogs.GetDataFiles:", "the stores of the data folder", [](World& w) {
                     Platform* p = &w.t.platform;
                     const std::string folder = w.dir + "/";
                     auto result = std::make_shared<std::vector<gis::DatasetNamePtr>>(1);
                     return Run{[p, folder, result] { *result = GetDataFiles(*p, folder); },
                                [result](int) { return Expect(result->empty(), "names after a failure"); }, {}};
                 },
                 {}, {}});
    for (const std::string position :
         {"Marbrook.basOpenDialogs.GetLocalDrives4Combo:", "Marbrook.basOpenDialogs.GetLocalDrives4Datalist:"}) {
        s.push_back({position, "over an earlier list", [position](World& w) {
                         Platform* p = &w.t.platform;
                         auto result = std::make_shared<long>(-1);
                         if (position.find("Combo") != std::string::npos) {
                             auto list = std::make_shared<DataNodes>(3);
                             (*list)[1].DataName = "old-1";
                             return Run{[p, list, result] { *result = GetLocalDrives4Combo(*p, *list); },
                                        [result](int) { return Expect(*result == 0, "counts after a failure"); },
                                        [list, result] {
                                            return Expect(*result != 0 || (list->size() == 3 && (*list)[1].DataName == "old-1"),
                                                          "the location list was lost");
                                        }};
                         }
                         auto items = std::make_shared<DataItems>(OldListing());
                         return Run{[p, items, result] { *result = GetLocalDrives4Datalist(*p, *items); },
                                    [result](int) { return Expect(*result == 0, "counts after a failure"); },
                                    [items, result] { return Expect(*result != 0 || IsOldListing(*items), "the data list was lost"); }};
                     },
                     {}, {}});
    }
    s.push_back({"Marbrook.basOpenDialogs.GetSubFolderFiles:", "the data folder, every filter", [](World& w) {
                     Platform* p = &w.t.platform;
                     auto folder = std::make_shared<std::string>(w.dir);
                     auto items = std::make_shared<DataItems>(OldListing());
                     auto result = std::make_shared<long>(-1);
                     return Run{[p, folder, items, result] { *result = GetSubFolderFiles(*p, *folder, *items, 0); },
                                [items, result](int step) {
                                    if (step == 103) return Expect(*result == 0 && IsOldListing(*items), "an unreadable folder lost the listing");
                                    return Expect(*result == static_cast<long>(items->size()) - 1, "the count is not the entries listed");
                                },
                                {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.basOpenDialogs.GetSDEDataFile:", "the connection folder", [](World& w) {
                     Platform* p = &w.t.platform;
                     const std::string folder = w.sdeFolder;
                     auto items = std::make_shared<DataItems>(OldListing());
                     auto result = std::make_shared<long>(-1);
                     return Run{[p, folder, items, result] { *result = GetSDEDataFile(*p, folder, *items); },
                                [items, result](int) { return Expect(*result == 0 && IsOldListing(*items), "the listing was lost"); },
                                {}};
                 },
                 {}, {}});
    const auto appendingListing = [](const std::string& position, std::function<long(World&, DataItems&)> list) {
        return Scenario{position, "appending to an earlier list", [list](World& w) {
                            auto items = std::make_shared<DataItems>(OldListing());
                            auto result = std::make_shared<long>(-1);
                            World* world = &w;
                            return Run{[world, list, items, result] { *result = list(*world, *items); },
                                       [items, result](int) {
                                           return Expect(*result == 0 || *result == static_cast<long>(items->size()) - 1,
                                                         "the count is neither 0 nor the entries listed");
                                       },
                                       [items] { return Expect(KeepsOldEntries(*items), "earlier entries were lost"); }};
                        },
                        {}, {}};
    };
    s.push_back(appendingListing("Marbrook.basOpenDialogs.GetShapeFilesEx:", [](World& w, DataItems& items) {
        return GetShapeFilesEx(w.t.platform, w.dir + "/", items);
    }));
    s.push_back(appendingListing("Marbrook.basOpenDialogs.GetRasterFilesEx:", [](World& w, DataItems& items) {
        return GetRasterFilesEx(w.t.platform, w.dir + "/", items);
    }));
    s.push_back(appendingListing("Marbrook.basOpenDialogs.GetPGMdbFiles:", [](World& w, DataItems& items) {
        return GetPGMdbFiles(w.t.platform, w.mdb, items, 0);
    }));
    s.push_back(appendingListing("Marbrook.basOpenDialogs.GetCadFiles:", [](World& w, DataItems& items) {
        return GetCadFiles(w.t.platform, w.dxf, items, 0);
    }));
    s.push_back({"Marbrook.basOpenDialogs.AddLayersBySort:", "one item of every layer kind", [](World& w) {
                     Platform* p = &w.t.platform;
                     auto items = std::make_shared<Collection>();
                     items->Add(Chosen(NameIn(w, FactoryKind::Shapefile, w.dir + "/", "roads"), ltFeatureClass));
                     items->Add(Chosen(NameIn(w, FactoryKind::PersonalGeodatabase, w.mdb, "land")->SubsetNames()[1], ltAnnotationClass));
                     auto land = Chosen(NameIn(w, FactoryKind::PersonalGeodatabase, w.mdb, "land"), ltFeatureDataset);
                     items->Add(land);
                     items->Add(Chosen(NameIn(w, FactoryKind::Raster, w.dir + "/", "dem.tif"), ltRaster));
                     items->Add(Chosen(NameIn(w, FactoryKind::Cad, w.dir, "plan.dxf"), ltCadDrawing));
                     auto chosen = std::make_shared<std::vector<ObjectPtr>>();
                     for (long i = 1; i <= items->Count(); ++i) chosen->push_back(items->Item(i));
                     auto result = std::make_shared<bool>(false);
                     return Run{[p, items, result] { *result = AddLayersBySort(*p, *items); },
                                [items, chosen, result](int step) {
                                    // Refilling starts at step 152: a later failure leaves it partly done.
                                    if (step >= 152) return Expect(!*result, "reports success after a failure");
                                    bool same = items->Count() == static_cast<long>(chosen->size());
                                    for (long i = 1; same && i <= items->Count(); ++i) same = items->Item(i) == (*chosen)[static_cast<std::size_t>(i - 1)];
                                    return Expect(!*result, "reports success after a failure") +
                                           Expect(same, "the caller's items changed after a failure");
                                },
                                {}};
                 },
                 SortingRead,
                 {}});
    s.push_back({"Marbrook.basOpenDialogs.AddChosenLayers:", "a class, a dataset with a raster and a table, a catalog", [](World& w) {
                     Platform* p = &w.t.platform;
                     auto items = std::make_shared<Collection>();
                     items->Add(Chosen(NameIn(w, FactoryKind::Shapefile, w.dir + "/", "roads"), ltFeatureClass));
                     auto water = NameIn(w, FactoryKind::SpatialDatabase, "db:5432", "water");
                     items->Add(Chosen(water, ltFeatureDataset));
                     items->Add(Chosen(NameIn(w, FactoryKind::SpatialDatabase, "db:5432", "tiles"), ltRasterCatalog));
                     auto chosen = std::make_shared<std::vector<ObjectPtr>>();
                     for (long i = 1; i <= items->Count(); ++i) chosen->push_back(items->Item(i));
                     auto result = std::make_shared<bool>(false);
                     Run run{[p, items, result] { *result = AddChosenLayers(*p, *items); },
                             [items, chosen, result](int) {
                                 bool same = items->Count() == static_cast<long>(chosen->size());
                                 for (long i = 1; same && i <= items->Count(); ++i)
                                     same = items->Item(i) == (*chosen)[static_cast<std::size_t>(i - 1)];
                                 return Expect(!*result, "accepts the choice after a failure") +
                                        Expect(same, "the caller's items changed after a failure");
                             },
                             {}};
                     run.clean = [w = &w, items, result] {
                         return Expect(*result && items->Count() == 5, "not the five layers") +
                                Expect(w->t.ui.messages.size() == 1, "the items without a layer not named");
                     };
                     return run;
                 },
                 Either(SortingRead, NamingForTheMessage),
                 {}});
    for (const std::string position : {"Marbrook.basOpenDialogs.InitComboList:", "Marbrook.basOpenDialogs.InitComboList1:"}) {
        s.push_back({position, "the top level", [position](World& w) {
                         Platform* p = &w.t.platform;
                         auto list = std::make_shared<DataNodes>(1);
                         auto combo = std::make_shared<ui::ImageCombo>("ComboLocation");
                         auto result = std::make_shared<long>(-1);
                         const bool first = position.find("List1") == std::string::npos;
                         return Run{[p, list, combo, result, first] {
                                        *result = first ? InitComboList(*p, *list, *combo, 1)
                                                        : InitComboList1(*p, *list, *combo, kCatalogRootName);
                                    },
                                    [result](int) { return Expect(*result == 0, "counts after a failure"); }, {}};
                     },
                     {}, {}});
    }
    // The location list of the data folder opened below its drive.
    const auto threeLevels = [] {
        DataNodes list(3);
        list[0].DataName = kCatalogRootName;
        list[0].ChildNode = 1;
        list[1].DataName = "drive";
        list[1].Level = 1;
        list[1].ChildNode = 2;
        list[2].DataName = "sub";
        list[2].Level = 2;
        list[2].ParentNode = 1;
        list[2].ChildNode = -1;
        return list;
    };
    s.push_back({"Marbrook.basOpenDialogs.InsertToComboList:", "below the drive", [threeLevels](World& w) {
                     Platform* p = &w.t.platform;
                     auto list = std::make_shared<DataNodes>(threeLevels());
                     return Run{[p, list] { (void)InsertToComboList(*p, *list, DataNode{}, 1); }, {}, {}};
                 },
                 {}, "edits the caller's list only"});
    s.push_back({"Marbrook.basOpenDialogs.RefreshComboList:", "open an entry below the drive", [threeLevels](World& w) {
                     Platform* p = &w.t.platform;
                     auto list = std::make_shared<DataNodes>(threeLevels());
                     auto combo = std::make_shared<ui::ImageCombo>("ComboLocation");
                     DataNode node;
                     node.DataName = "other";
                     node.Level = 2;
                     node.ParentNode = 1;
                     node.ChildNode = -1;
                     return Run{[p, list, combo, node] { (void)RefreshComboList(*p, *list, *combo, node); }, {}, {}};
                 },
                 {}, "edits the caller's list and combo only"});
    s.push_back({"Marbrook.basOpenDialogs.RefreshComboListEx:", "a child index past the list", [threeLevels](World& w) {
                     Platform* p = &w.t.platform;
                     auto list = std::make_shared<DataNodes>(threeLevels());
                     auto combo = std::make_shared<ui::ImageCombo>("ComboLocation");
                     DataNode node = (*list)[1];
                     node.ChildNode = 9;
                     auto result = std::make_shared<long>(0);
                     return Run{[p, list, combo, node, result] { *result = RefreshComboListEx(*p, *list, *combo, node, 1); },
                                [result](int) { return Expect(*result == -1, "not -1 after a failure"); },
                                [list] { return Expect(list->size() == 3, "the location list changed"); }};
                 },
                 {}, {}});
    s.push_back({"Marbrook.basOpenDialogs.DeleteComboList:", "an index past the list", [threeLevels](World& w) {
                     Platform* p = &w.t.platform;
                     auto list = std::make_shared<DataNodes>(threeLevels());
                     auto result = std::make_shared<bool>(true);
                     return Run{[p, list, result] {
                                    const long index = 9;
                                    *result = DeleteComboList(*p, *list, index);
                                },
                                [result](int) { return Expect(!*result, "true after a failure"); },
                                [list] { return Expect(list->size() == 3, "the location list changed"); }};
                 },
                 {}, {}});

    // ---- connections ----
    s.push_back({"Marbrook.basOpenDialogs.OpenSdeConnectionEx:", "every kind, all filter", [](World& w) {
                     Platform* p = &w.t.platform;
                     const std::string file = w.sdeFile;
                     auto items = std::make_shared<DataItems>(OldListing());
                     auto result = std::make_shared<long>(-1);
                     return Run{[p, file, items, result] { *result = OpenSdeConnectionEx(*p, file, *items, 0); },
                                [items, result](int step) {
                                    if (step < 109) return Expect(*result == 0 && IsOldListing(*items), "the listing was lost before the database opened");
                                    return Expect(*result == static_cast<long>(items->size()) - 1, "the count is not the entries listed");
                                },
                                {}};
                 },
                 {}, {}});
    const auto featureDataset = [](const std::string& position, bool sde) {
        return Scenario{position, "a feature dataset of every kind", [sde](World& w) {
                            Platform* p = &w.t.platform;
                            const std::string path = sde ? w.sdeFile : w.mdb;
                            auto items = std::make_shared<DataItems>(OldListing());
                            auto result = std::make_shared<long>(-1);
                            return Run{[p, path, items, result, sde] {
                                           *result = sde ? OpenFeatureDatasetFromSDEEx(*p, path, "water", *items, 0)
                                                         : OpenFeatureDatasetFromPGeoDBEx(*p, path, "land", *items, 0);
                                       },
                                       [items, result](int step) {
                                           if (step < 109) return Expect(*result == 0 && IsOldListing(*items), "the listing was lost before the database opened");
                                           return Expect(*result == static_cast<long>(items->size()) - 1, "the count is not the entries listed");
                                       },
                                       {}};
                        },
                        {}, {}};
    };
    s.push_back(featureDataset("Marbrook.basOpenDialogs.OpenFeatureDatasetFromSDEEx:", true));
    s.push_back(featureDataset("Marbrook.basOpenDialogs.OpenFeatureDatasetFromPGeoDBEx:", false));

    s.push_back({"Marbrook.basOpenDialogs.OpenSdeConnectionEx:", "a database that opens to nothing", [](World& w) {
                     w.t.gis.FindWorkspace(FactoryKind::SpatialDatabase, "db:5432")->opensToNothing = true;
                     Platform* p = &w.t.platform;
                     const std::string file = w.sdeFile;
                     auto items = std::make_shared<DataItems>(OldListing());
                     auto result = std::make_shared<long>(-1);
                     return Run{[p, file, items, result] { *result = OpenSdeConnectionEx(*p, file, *items, 3); },
                                [items, result](int) { return Expect(*result == 0 && IsOldListing(*items), "the listing was lost"); },
                                [items] { return Expect(IsOldListing(*items), "the listing was lost"); }};
                 },
                 {}, {}});
    for (const bool sde : {true, false}) {
        s.push_back({sde ? "Marbrook.basOpenDialogs.OpenFeatureDatasetFromSDEEx:" : "Marbrook.basOpenDialogs.OpenFeatureDatasetFromPGeoDBEx:",
                     "a database that opens to nothing", [sde](World& w) {
                         if (sde) w.t.gis.FindWorkspace(FactoryKind::SpatialDatabase, "db:5432")->opensToNothing = true;
                         else w.t.gis.FindWorkspace(FactoryKind::PersonalGeodatabase, w.mdb)->opensToNothing = true;
                         Platform* p = &w.t.platform;
                         const std::string path = sde ? w.sdeFile : w.mdb;
                         auto items = std::make_shared<DataItems>(OldListing());
                         auto result = std::make_shared<long>(-1);
                         return Run{[p, path, items, result, sde] {
                                        *result = sde ? OpenFeatureDatasetFromSDEEx(*p, path, "water", *items, 3)
                                                      : OpenFeatureDatasetFromPGeoDBEx(*p, path, "land", *items, 3);
                                    },
                                    [result](int) { return Expect(*result == 0, "counts after a failure"); },
                                    [items] { return Expect(IsOldListing(*items), "the listing was lost"); }};
                     },
                     {}, {}});
    }
    using V = std::shared_ptr<frmChangeVersion>;
    s.push_back({"Marbrook.frmChangeVersion.Form_Load:", "first access", [](World& w) {
                     V form = std::make_shared<frmChangeVersion>(w.t.platform);
                     return Run{[form] { form->EnsureLoaded(); }, {}, {}};
                 },
                 {}, "clears its own fields only"});
    s.push_back({"Marbrook.frmChangeVersion.InitComboList:", "two versions", [](World& w) {
                     V form = std::make_shared<frmChangeVersion>(w.t.platform);
                     auto result = std::make_shared<long>(-1);
                     return Run{[form, result] { *result = form->InitComboList("db", "u", "5432", "pw", "sde.DEFAULT", "gisdb"); },
                                [result](int) { return Expect(*result == 0, "counts after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmChangeVersion.TestConnection:", "with tips", [](World& w) {
                     V form = std::make_shared<frmChangeVersion>(w.t.platform);
                     auto result = std::make_shared<gis::WorkspacePtr>();
                     return Run{[form, result] { *result = form->TestConnection("db", "u", "5432", "pw", "sde.DEFAULT", true, "gisdb"); },
                                [result](int) { return Expect(*result == nullptr, "a workspace after a failure"); }, {}};
                 },
                 {}, {}});
    for (const std::string position : {"Marbrook.frmChangeVersion.cmdOK_Click:", "Marbrook.frmChangeVersion.cmdCancel_Click:"}) {
        s.push_back({position, "the chooser shown", [position](World& w) {
                         V form = std::make_shared<frmChangeVersion>(w.t.platform);
                         form->EnsureLoaded();
                         const bool ok = position.find("OK") != std::string::npos;
                         return Run{[form, ok] { ok ? form->CmdOK_Click() : form->CmdCancel_Click(); }, {}, {}};
                     },
                     {}, {}});
    }
    using W = std::shared_ptr<frmOpenWorkspace>;
    s.push_back({"Marbrook.frmOpenWorkspace.Form_Load:", "first access", [](World& w) {
                     W form = std::make_shared<frmOpenWorkspace>(w.t.platform);
                     return Run{[form] { form->EnsureLoaded(); }, {}, {}};
                 },
                 {}, "sets its own flag only"});
    for (const auto& [position, change] : std::vector<std::pair<std::string, void (frmOpenWorkspace::*)()>>{
             {"Marbrook.frmOpenWorkspace.txtServer_Change:", &frmOpenWorkspace::txtServer_Change},
             {"Marbrook.frmOpenWorkspace.txtService_Change:", &frmOpenWorkspace::txtService_Change},
             {"Marbrook.frmOpenWorkspace.txtDatabase_Change:", &frmOpenWorkspace::txtDatabase_Change},
             {"Marbrook.frmOpenWorkspace.txtUserName_Change:", &frmOpenWorkspace::txtUserName_Change},
             {"Marbrook.frmOpenWorkspace.txtPWD_Change:", &frmOpenWorkspace::txtPWD_Change},
             {"Marbrook.frmOpenWorkspace.ChkUserPwd_Click:", &frmOpenWorkspace::ChkUserPwd_Click}}) {
        s.push_back({position, "an edit", [change = change](World& w) {
                         W form = FilledConnectionForm(w);
                         return Run{[form, change] { ((*form).*change)(); }, {}, {}};
                     },
                     {}, "updates its own controls only"});
    }
    s.push_back({"Marbrook.frmOpenWorkspace.CheckValid:", "no server given", [](World& w) {
                     W form = FilledConnectionForm(w);
                     form->txtServer.SetText("");
                     auto result = std::make_shared<bool>(true);
                     return Run{[form, result] { *result = form->CheckValid(); },
                                [result](int) { return Expect(!*result, "valid after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenWorkspace.TestConnection:", "with tips", [](World& w) {
                     W form = FilledConnectionForm(w);
                     auto result = std::make_shared<gis::WorkspacePtr>();
                     return Run{[form, result] { *result = form->TestConnection(true); },
                                [result](int) { return Expect(*result == nullptr, "a workspace after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenWorkspace.CmdTextConn_Click:", "test the connection", [](World& w) {
                     W form = FilledConnectionForm(w);
                     return Run{[form] { form->CmdTextConn_Click(); }, {}, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenWorkspace.CmdChangeVersion_Click:", "the user picks the second version", [](World& w) {
                     W form = FilledConnectionForm(w);
                     w.t.ui.OnModal("frmChangeVersion", [](ui::Form& f) {
                         auto& chooser = dynamic_cast<frmChangeVersion&>(f);
                         if (chooser.ComboVersions.ListCount() < 2) return chooser.CmdCancel_Click();
                         chooser.ComboVersions.SetListIndex(1);
                         chooser.ComboVersions_Click();
                         chooser.CmdOK_Click();
                     });
                     return Run{[form] { form->CmdChangeVersion_Click(); }, {}, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenWorkspace.cmdOK_Click:", "a new connection beside an existing one", [](World& w) {
                     W form = FilledConnectionForm(w);
                     return Run{[form] { form->CmdOK_Click(); },
                                [form](int) { return Expect(!form->mbOkClik, "confirmed after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenWorkspace.cmdOK_Click:", "every free name taken", [](World& w) {
                     for (int i = 1; i < kConnectionFileCandidates; ++i)
                         testing::WriteFile(w.sdeFolder + "/" + ConnectionFileCandidate("db", i), "SERVER=db");
                     W form = FilledConnectionForm(w);
                     return Run{[form] { form->CmdOK_Click(); },
                                [form](int) { return Expect(!form->mbOkClik, "confirmed after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenWorkspace.cmdOK_Click:", "the connection file cannot be written", [](World& w) {
                     w.t.gis.connectionFileWrites = false;
                     W form = FilledConnectionForm(w);
                     return Run{[form] { form->CmdOK_Click(); },
                                [form](int) { return Expect(!form->mbOkClik, "confirmed after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"Marbrook.frmOpenWorkspace.cmdCancel_Click:", "cancel", [](World& w) {
                     W form = FilledConnectionForm(w);
                     return Run{[form] { form->CmdCancel_Click(); }, {}, {}};
                 },
                 {}, {}});

    // ---- support ----
    s.push_back({"basSafe.GetValueFromIni:", "a value of the settings file", [](World& w) {
                     Platform* p = &w.t.platform;
                     auto result = std::make_shared<std::string>();
                     return Run{[p, result] { *result = GetValueFromIni(*p, "Other", "keep", "default"); },
                                [result](int) { return Expect(*result == "default", "not the default after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"basSafe.GetValueFromIni:", "no settings file yet", [](World& w) {
                     fs::remove(w.SettingsFile());
                     Platform* p = &w.t.platform;
                     auto result = std::make_shared<std::string>();
                     const std::string file = w.SettingsFile();
                     return Run{[p, result, file] {
                                    *result = GetValueFromIni(*p, "Other", "keep", "default");
                                    // What the settings check of the sweep reads.
                                    testing::WriteFile(file, "[Other]\r\nkeep=1\r\n");
                                },
                                [result](int) { return Expect(*result == "default", "not the default after a failure"); }, {}};
                 },
                 {}, {}});
    s.push_back({"basSafe.StripNull:", "a value with a NUL", [](World& w) {
                     Platform* p = &w.t.platform;
                     return Run{[p] { (void)StripNull(*p, std::string("ab\0cd", 5)); }, {}, {}};
                 },
                 {}, "works on its argument only"});
    struct Placement {
        long posType;
        ui::WindowHandle parent;
        long showMode;
        const char* how;
    };
    for (const Placement& place : {Placement{1, ui::kNoParent, 1, "beside the mouse, modal"},
                                   Placement{2, ui::kNoParent, 0, "centred on the screen, modeless"},
                                   Placement{3, 77, 0, "bottom of a parent window, modeless"}}) {
        s.push_back({"Tessgate.basWindowPos.QMShowForm:", place.how, [place](World& w) {
                         w.t.ui.windows[77] = {100, 100, 700, 500};
                         V form = std::make_shared<frmChangeVersion>(w.t.platform);
                         Platform* p = &w.t.platform;
                         return Run{[p, form, place] { QMShowForm(*p, *form, place.parent, place.posType, place.showMode); },
                                    {}, {}};
                     },
                     {}, {}});
    }
    return s;
}

// Routines no scenario of the doubles can reach, with the reason.
const std::map<std::string, std::string>& Unreachable() {
    static const std::map<std::string, std::string> none;
    return none;
}

// The routines of the core as built, from its static libraries.
const std::set<std::string>& Routines() {
    static const auto routines = [] {
        std::vector<std::string> archives;
        std::istringstream list(MARBROOK_CORE_LIBRARIES);
        for (std::string path; std::getline(list, path, '|');) archives.push_back(path);
        return CompiledPositions(archives);
    }();
    return routines;
}

// ---- The tests -------------------------------------------------------------------------

// The sweep builds about a thousand short-lived worlds of temporary folders;
// on a disk under load each costs milliseconds of creating, syncing and
// removing. They go to memory when the system offers a memory file system
// and the caller chose no temporary folder.
class WorldsInMemory : public ::testing::Environment {
public:
    void SetUp() override {
        std::error_code ec;
        if (std::getenv("TMPDIR") == nullptr && fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK | X_OK) == 0)
            ::setenv("TMPDIR", "/dev/shm", 1);
    }
};
[[maybe_unused]] ::testing::Environment* const kWorldsInMemory = ::testing::AddGlobalTestEnvironment(new WorldsInMemory);


TEST(FaultSweep, EveryRoutineWithNumberedStepsIsSwept) {
    const auto& routines = Routines();
    ASSERT_GT(routines.size(), 60u) << "too few position literals found in the core's libraries";
    std::set<std::string> swept;
    for (const auto& s : Scenarios()) swept.insert(s.position);
    for (const auto& position : routines) {
        const bool listed = Unreachable().count(position) != 0;
        EXPECT_TRUE(swept.count(position) != 0 || listed) << position << " has no scenario in the fault sweep";
        EXPECT_FALSE(swept.count(position) != 0 && listed) << position << " is swept and listed as unreachable";
    }
    for (const auto& position : swept) EXPECT_TRUE(routines.count(position) != 0) << position << " is no longer in the library";
}

TEST(FaultSweep, PositionLiteralsAreToldFromOtherTexts) {
    struct Row {
        const char* text;
        bool position;
    };
    const Row rows[] = {
        {"Marbrook.COpenLayerDlg.DoModalOpen:", true}, {"basSafe.GetValueFromIni:", true},
        {"Tessgate.basWindowPos.QMShowForm:", true},   {"Marbrook.COpenLayerDlg.DoModalOpen:103", false},
        {"Marbrook.GDAL", false},                      {"Marbrook..X:", false},
        {".X.Y:", false},                              {"X.:", false},
        {"NoDot:", false},                             {"Error Number: ", false},
        {"1st.Routine:", false},                       {"a.b c:", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(IsPositionLiteral(row.text), row.position);
    }
    // Found in the libraries as built, whatever module they name.
    for (const char* position : {"Marbrook.COpenLayerDlg.DoModalOpen:", "Tessgate.basWindowPos.QMShowForm:", "basSafe.StripNull:"})
        EXPECT_TRUE(Routines().count(position) != 0) << position;
}

TEST(FaultSweep, NoPlatformFailureReachesTheHost) {
    const SweepResult result = RunSweep(Scenarios(), Routines());

    // The table, one line per routine.
    RoutineFigures total;
    std::ostringstream table;
    table << std::left << std::setw(58) << "routine" << std::right << std::setw(6) << "cases" << std::setw(7) << "calls" << std::setw(10) << "injected"
          << std::setw(9) << "handled" << std::setw(6) << "own" << std::setw(9) << "escapes" << "\n";
    for (const auto& [position, f] : result.figures) {
        table << std::left << std::setw(58) << position << std::right << std::setw(6) << f.scenarios << std::setw(7) << f.calls << std::setw(10)
              << f.injected << std::setw(9) << f.handled << std::setw(6) << f.own << std::setw(9) << f.escapes << "\n";
        total.scenarios += f.scenarios;
        total.calls += f.calls;
        total.injected += f.injected;
        total.handled += f.handled;
        total.own += f.own;
        total.escapes += f.escapes;
    }
    table << std::left << std::setw(58) << ("total (" + std::to_string(result.figures.size()) + " routines)") << std::right
          << std::setw(6) << total.scenarios << std::setw(7) << total.calls << std::setw(10) << total.injected << std::setw(9) << total.handled << std::setw(6)
          << total.own << std::setw(9) << total.escapes << "\n";
    std::cout << table.str() << std::flush;

    for (const auto& problem : result.problems) ADD_FAILURE() << problem;
    EXPECT_EQ(total.escapes, 0);
    EXPECT_EQ(total.handled, total.injected);
}

} // namespace
} // namespace marbrook::sweep
