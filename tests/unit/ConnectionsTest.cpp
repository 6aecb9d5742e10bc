// The database listings, the new-connection form and the version chooser,
// against the in-memory catalogue and the scripted window system.
#include <gtest/gtest.h>

#include "connections/DatabaseListings.h"
#include "connections/frmChangeVersion.h"
#include "connections/frmOpenWorkspace.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using gis::FactoryKind;
using testing::TempDir;
using testing::TestPlatform;
using testing::WriteFile;
namespace kind = gis::kind;

constexpr const char* kSde = "/conn/Connection to srv.sde";

struct Expected {
    std::string name;
    int location;
    int type;
    std::string desc;
};

void ExpectItems(const DataItems& items, const std::vector<Expected>& expected) {
    ASSERT_EQ(items.size(), expected.size() + 1);
    EXPECT_TRUE(items[0].DataName.empty());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        const DataItem& it = items[i + 1];
        EXPECT_EQ(it.DataName, expected[i].name);
        EXPECT_EQ(it.DataLocation, expected[i].location);
        EXPECT_EQ(it.DataType, expected[i].type);
        EXPECT_EQ(it.DataTypeDesc, expected[i].desc);
        ASSERT_TRUE(it.pDataSetObj);
        EXPECT_EQ(it.pDataSetObj->Name(), expected[i].name);
    }
}

// A spatial database reached through kSde: a feature dataset, feature
// classes of several kinds, a raster, a raster catalog and a table.
struct SdeWorld {
    TestPlatform t;
    gis::PropertySet props;
    testing::MemoryWorkspaceDef* ws = nullptr;

    SdeWorld() {
        props.SetProperty("SERVER", "srv");
        props.SetProperty("INSTANCE", "5151");
        t.gis.connectionFiles[kSde] = props;
        ws = &t.gis.AddWorkspace(FactoryKind::SpatialDatabase, "srv:5151");
        auto fd = t.gis.Name("Hydro", kind::kFeatureDataset);
        fd->subsets = {t.gis.FeatureClass("rivers", 1, 3), t.gis.Name("stations", kind::kTable),
                       t.gis.FeatureClass("labels", 11, 0), t.gis.Name("depth", kind::kRasterDataset),
                       t.gis.Name("Inner", kind::kFeatureDataset), t.gis.Name("odd", 99),
                       t.gis.Name("scenes", kind::kRasterCatalog), t.gis.FeatureClass("cov", 12, 1)};
        t.gis.Add(*ws, fd);
        t.gis.Add(*ws, t.gis.FeatureClass("cities", 1, 1));
        t.gis.Add(*ws, t.gis.FeatureClass("roads", 1, 13));
        t.gis.Add(*ws, t.gis.FeatureClass("parcels", 1, 4));
        t.gis.Add(*ws, t.gis.FeatureClass("wells", 1, 2));
        t.gis.Add(*ws, t.gis.FeatureClass("notes", 11, 0));
        t.gis.Add(*ws, t.gis.FeatureClass("coverage", 12, 4));
        t.gis.Add(*ws, t.gis.Name("elevation", kind::kRasterDataset));
        t.gis.Add(*ws, t.gis.Name("mosaic", kind::kRasterCatalog));
        t.gis.Add(*ws, t.gis.Name("lookup", kind::kTable));
    }
};

const std::vector<Expected> kVectorTop = {
    {"Hydro", 5, 24, "Feature Dataset"}, {"cities", 2, 20, "Feature Class"}, {"roads", 2, 21, "Feature Class"},
    {"parcels", 2, 22, "Feature Class"}, {"wells", 2, 19, "Feature Class"},  {"notes", 2, 23, "Feature Class"},
    {"coverage", 2, 19, "Feature Class"}};

TEST(SdeTopLevel, EachFilterListsItsKindsAndNeverTables) {
    std::vector<Expected> all = kVectorTop;
    all.push_back({"elevation", 2, 25, "Raster Dataset"});
    all.push_back({"mosaic", 2, 26, "Reater Catalog"});
    const struct {
        std::int16_t filter;
        std::vector<Expected> expected;
    } cases[] = {{0, all}, {3, kVectorTop}, {4, {{"elevation", 2, 25, "Raster Dataset"}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE("filter " + std::to_string(c.filter));
        SdeWorld w;
        DataItems items(3);
        items[1].DataName = "stale";
        EXPECT_EQ(OpenSdeConnectionEx(w.t, kSde, items, c.filter), static_cast<long>(c.expected.size()));
        ExpectItems(items, c.expected);
        for (std::size_t i = 1; i < items.size(); ++i) EXPECT_EQ(items[i].DataFullName, kSde);
        EXPECT_EQ(w.t.ui.pointerHistory,
                  (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));
        EXPECT_TRUE(w.t.LogEntries().empty());
    }
}

TEST(SdeTopLevel, OtherFiltersTouchNothing) {
    SdeWorld w;
    DataItems items(2);
    items[1].DataName = "keep";
    EXPECT_EQ(OpenSdeConnectionEx(w.t, kSde, items, 1), 0);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].DataName, "keep");
    EXPECT_EQ(w.t.gis.Calls("OpenWorkspace"), 0);
    EXPECT_TRUE(w.t.ui.pointerHistory.empty());
    EXPECT_TRUE(w.t.ui.messages.empty());
}

TEST(SdeTopLevel, NothingOpenedTellsTheUserAndKeepsTheList) {
    for (const auto routine : {0, 1}) {
        SCOPED_TRACE(routine);
        SdeWorld w;
        w.ws->opensToNothing = true;
        DataItems items(2);
        const long n = routine == 0 ? OpenSdeConnectionEx(w.t, kSde, items, 0)
                                    : OpenFeatureDatasetFromSDEEx(w.t, kSde, "Hydro", items, 0);
        EXPECT_EQ(n, 0);
        EXPECT_EQ(items.size(), 2u);
        ASSERT_EQ(w.t.ui.messages.size(), 1u);
        EXPECT_EQ(w.t.ui.messages[0].text, "打开工作空间错误.");
        EXPECT_EQ(w.t.ui.messages[0].icon, ui::MessageIcon::Information);
        EXPECT_EQ(w.t.ui.messages[0].title, "VERDANTA");
        EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
        EXPECT_TRUE(w.t.LogEntries().empty());
    }
}

TEST(SdeTopLevel, FailuresAreLoggedAtTheirStepAndKeepWhatWasListed) {
    const struct {
        const char* operation;
        int nth;
        std::string step;
        long count;
        std::size_t size;
    } cases[] = {
        {"ReadConnectionProperties", 1, "105", 0, 2}, // before listing: the array is untouched
        {"OpenWorkspace", 1, "106", 0, 2},
        {"ListDatasetNames", 1, "114", 0, 1},
        {"Details", 1, "126", 2, 3}, // the class being filled is counted
        {"Name", 3, "123", 3, 4},    // third Name(): the second feature class, counted unfinished
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        SdeWorld w;
        w.t.gis.FailAt(c.operation, c.nth, 91);
        DataItems items(2);
        EXPECT_EQ(OpenSdeConnectionEx(w.t, kSde, items, 0), c.count);
        EXPECT_EQ(items.size(), c.size);
        const auto log = w.t.LogEntries();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].position, "Marbrook.basOpenDialogs.OpenSdeConnectionEx:" + c.step);
        EXPECT_EQ(log[0].number, 91);
        EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
        EXPECT_TRUE(w.t.ui.messages.empty());
    }
}

TEST(SdeTopLevel, AFeatureClassNameWithoutDetailsIsAFailure) {
    SdeWorld w;
    w.ws->names.insert(w.ws->names.begin(), w.t.gis.Name("bare", kind::kFeatureClass));
    DataItems items;
    EXPECT_EQ(OpenSdeConnectionEx(w.t, kSde, items, 3), 1);
    ASSERT_EQ(w.t.LogEntries().size(), 1u);
    EXPECT_EQ(w.t.LogEntries()[0].position, "Marbrook.basOpenDialogs.OpenSdeConnectionEx:126");
}

const std::vector<Expected> kHydroMembers = {
    {"rivers", 2, 21, "Feature Class"},   {"stations", 2, 27, "SDE表"},         {"labels", 2, 23, "Feature Class"},
    {"depth", 2, 25, "Raster Dataset"},   {"Inner", 2, 24, "Feature Dataset"}, {"scenes", 2, 26, "Reater Catalog"},
    {"cov", 2, 19, "Feature Class"}};

TEST(SdeFeatureDataset, ListsEveryMemberKindWithTablesAsSdeTables) {
    for (const std::int16_t filter : {0, 3}) {
        SdeWorld w;
        DataItems items;
        EXPECT_EQ(OpenFeatureDatasetFromSDEEx(w.t, kSde, "Hydro", items, filter), 7);
        ExpectItems(items, kHydroMembers);
        EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    }
}

TEST(SdeFeatureDataset, NameMatchIsExactAndTheFirstOfEqualNamesWins) {
    SdeWorld w;
    auto twin = w.t.gis.Name("Hydro", kind::kFeatureDataset);
    twin->subsets = {w.t.gis.FeatureClass("other", 1, 1)};
    w.t.gis.Add(*w.ws, twin);
    DataItems items(4);
    EXPECT_EQ(OpenFeatureDatasetFromSDEEx(w.t, kSde, "hydro", items, 0), 0);
    EXPECT_EQ(items.size(), 1u); // reset, nothing found
    EXPECT_EQ(OpenFeatureDatasetFromSDEEx(w.t, kSde, "Hydro", items, 0), 7);
    EXPECT_EQ(items[1].DataName, "rivers");
}

TEST(SdeFeatureDataset, ARasterFilterListsNothingAndOpensNothing) {
    SdeWorld w;
    DataItems items(2);
    EXPECT_EQ(OpenFeatureDatasetFromSDEEx(w.t, kSde, "Hydro", items, 4), 0);
    EXPECT_EQ(items.size(), 2u);
    EXPECT_EQ(w.t.gis.Calls("OpenWorkspace"), 0);
    EXPECT_EQ(w.t.ui.pointerHistory, std::vector<ui::MousePointer>{ui::MousePointer::Default});
}

TEST(SdeFeatureDataset, AFailureDuringTheWalkKeepsTheItemsSoFar) {
    SdeWorld w;
    w.t.gis.FailAt("Details", 2, 5);
    DataItems items;
    EXPECT_EQ(OpenFeatureDatasetFromSDEEx(w.t, kSde, "Hydro", items, 0), 3);
    ASSERT_EQ(w.t.LogEntries().size(), 1u);
    EXPECT_EQ(w.t.LogEntries()[0].position, "Marbrook.basOpenDialogs.OpenFeatureDatasetFromSDEEx:125");
    EXPECT_EQ(items[3].DataName, "labels");
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
}

TEST(PgdbFeatureDataset, ListsMembersWithItsOwnCodeForOtherFeatureKinds) {
    TestPlatform t;
    auto& ws = t.gis.AddWorkspace(FactoryKind::PersonalGeodatabase, "/data/city.mdb");
    auto fd = t.gis.Name("Base", kind::kFeatureDataset);
    fd->subsets = {t.gis.FeatureClass("wells", 1, 1), t.gis.FeatureClass("cov", 12, 1),
                   t.gis.FeatureClass("patches", 1, 9), t.gis.Name("owners", kind::kTable), t.gis.Name("x", 77)};
    t.gis.Add(ws, fd);
    DataItems items;
    EXPECT_EQ(OpenFeatureDatasetFromPGeoDBEx(t, "/data/city.mdb", "Base", items, 3), 4);
    ExpectItems(items, {{"wells", 2, 20, "Feature Class"}, {"cov", 2, 14, "Feature Class"},
                        {"patches", 2, 19, "Feature Class"}, {"owners", 2, 27, "SDE表"}});
    EXPECT_EQ(items[1].DataFullName, "/data/city.mdb");
    ASSERT_EQ(t.gis.openedWith.size(), 1u);
    EXPECT_EQ(t.gis.openedWith[0].GetProperty("DATABASE"), "/data/city.mdb");
    // Busy while the database opens, like the spatial-database listings.
    EXPECT_EQ(t.ui.pointerHistory, (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));

    DataItems keep(2);
    EXPECT_EQ(OpenFeatureDatasetFromPGeoDBEx(t, "/data/city.mdb", "Base", keep, 4), 0);
    EXPECT_EQ(keep.size(), 2u);

    t.gis.FailAt("SubsetNames", 1, 7);
    EXPECT_EQ(OpenFeatureDatasetFromPGeoDBEx(t, "/data/city.mdb", "Base", items, 0), 0);
    ASSERT_EQ(t.LogEntries().size(), 1u);
    EXPECT_EQ(t.LogEntries()[0].position, "Marbrook.basOpenDialogs.OpenFeatureDatasetFromPGeoDBEx:114");
    EXPECT_EQ(t.ui.GetMousePointer(), ui::MousePointer::Default);
}

// ---- The new-connection form ------------------------------------------------

struct FormWorld {
    TestPlatform t;
    TempDir folder;
    testing::MemoryWorkspaceDef* ws = nullptr;
    frmOpenWorkspace form{t.platform};

    FormWorld() {
        ws = &t.gis.AddWorkspace(FactoryKind::SpatialDatabase, "db1:5432");
        ws->versions = {{"sde.DEFAULT", "Instance default version.", std::nullopt},
                        {"editor.Edits", "Field edits", std::string("sde.DEFAULT")}};
        form.EnsureLoaded();
        form.msSdeDataPath = folder.Path();
        form.txtServer.SetText(" db1 ");
        form.txtService.SetText("5432");
        form.txtUserName.SetText("gis");
        form.txtPWD.SetText("s3cret");
    }
    std::string Base() const { return folder.Path() + "/Connection to db1"; }
};

TEST(NewConnectionForm, AFreshFormConnectsAsTheDefaultUserAndVersion) {
    TestPlatform t;
    frmOpenWorkspace f(t.platform);
    f.EnsureLoaded();
    EXPECT_FALSE(f.mbOkClik);
    EXPECT_EQ(f.txtPWD.PasswordChar(), '*');
    EXPECT_FALSE(f.CmdTextConn.Enabled()) << "testing needs its check box";
    f.txtServer.SetText("db1");
    f.txtPWD.SetText("pw");
    // The service is a port that connects to PostgreSQL, not a service name that names none.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"SERVER", "db1"},          {"USER", "sde"},   {"INSTANCE", "5432"},       {"PASSWORD", "pw"},
        {"VERSION", "sde.DEFAULT"}, {"SSLMODE", "prefer"}, {"CONNECT_TIMEOUT", "10"}};
    EXPECT_EQ(f.ConnectionProperties()->Properties(), expected);
}

TEST(NewConnectionForm, CheckValidNamesTheFirstMissingFieldInOrder) {
    const struct {
        std::string server, service, user;
        const char* message;
        const char* focus;
    } cases[] = {{"  ", "", "", "服务器名字不能为空.", "txtServer"},
                 {"db1", " \t", "", "服务名不能为空.", "txtService"},
                 {"db1", "5432", "   ", "用户名不能为空.", "txtUserName"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        FormWorld w;
        w.form.txtServer.SetText(c.server);
        w.form.txtService.SetText(c.service);
        w.form.txtUserName.SetText(c.user);
        EXPECT_FALSE(w.form.CheckValid());
        ASSERT_EQ(w.t.ui.messages.size(), 1u);
        EXPECT_EQ(w.t.ui.messages[0].text, c.message);
        EXPECT_EQ(w.t.ui.messages[0].icon, ui::MessageIcon::Critical);
        EXPECT_EQ(w.t.ui.messages[0].title, "VERDANTA");
        EXPECT_EQ(w.form.FindControl(c.focus)->FocusRequests(), 1);
        // OK stops at the check: nothing is opened.
        w.form.CmdOK_Click();
        EXPECT_EQ(w.t.gis.Calls("OpenWorkspace"), 0);
    }
    FormWorld ok;
    ok.form.txtPWD.SetText("");
    EXPECT_TRUE(ok.form.CheckValid()); // password and database are optional
}

TEST(NewConnectionForm, EditingAnyFieldPutsTheDefaultVersionBack) {
    FormWorld w;
    using Handler = void (frmOpenWorkspace::*)() noexcept;
    for (Handler h : {&frmOpenWorkspace::txtServer_Change, &frmOpenWorkspace::txtService_Change,
                      &frmOpenWorkspace::txtDatabase_Change, &frmOpenWorkspace::txtUserName_Change,
                      &frmOpenWorkspace::txtPWD_Change}) {
        w.form.LblVersions.SetCaption("editor.Edits");
        (w.form.*h)();
        EXPECT_EQ(w.form.LblVersions.Caption(), "sde.DEFAULT");
    }
}

TEST(NewConnectionForm, TheTestButtonFollowsItsCheckBox) {
    FormWorld w;
    w.form.ChkUserPwd.SetValue(1);
    w.form.ChkUserPwd_Click();
    EXPECT_TRUE(w.form.CmdTextConn.Enabled());
    w.form.ChkUserPwd.SetValue(0);
    w.form.ChkUserPwd_Click();
    EXPECT_FALSE(w.form.CmdTextConn.Enabled());
}

TEST(NewConnectionForm, TestConnectionTellsSuccessFailureAndLogsPlatformErrorsSilently) {
    FormWorld w;
    w.form.CmdTextConn_Click();
    w.ws->opensToNothing = true;
    w.form.CmdTextConn_Click();
    w.t.gis.FailAt("OpenWorkspace", 1, 440, "login refused");
    w.form.CmdTextConn_Click();
    ASSERT_EQ(w.t.ui.messages.size(), 2u);
    EXPECT_EQ(w.t.ui.messages[0].text, "连接成功.");
    EXPECT_EQ(w.t.ui.messages[1].text, "连接不成功.");
    EXPECT_EQ(w.t.ui.messages[1].icon, ui::MessageIcon::Information);
    const auto log = w.t.LogEntries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].position, "Marbrook.frmOpenWorkspace.TestConnection:110");
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);

    // The server's reason, when it gave one, follows on a second line.
    w.ws->openFailure = "FATAL: password authentication failed for user \"gis\"";
    w.form.CmdTextConn_Click();
    ASSERT_EQ(w.t.ui.messages.size(), 3u);
    EXPECT_EQ(w.t.ui.messages[2].text, "连接不成功.\r\nFATAL: password authentication failed for user \"gis\"");
}

TEST(NewConnectionForm, PropertySetCarriesDatabaseWhenGivenAndVersionWhenKept) {
    FormWorld w;
    w.form.txtDatabase.SetText(" gisdb ");
    w.form.LblVersions.SetCaption("editor.Edits");
    w.form.CmdTextConn_Click();
    ASSERT_EQ(w.t.gis.openedWith.size(), 1u);
    const auto& all = w.t.gis.openedWith[0].Properties();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"SERVER", "db1"}, {"USER", "gis"}, {"INSTANCE", "5432"}, {"DATABASE", "gisdb"},
        {"PASSWORD", "s3cret"}, {"VERSION", "editor.Edits"}, {"SSLMODE", "prefer"}, {"CONNECT_TIMEOUT", "10"}};
    EXPECT_EQ(all, expected);

    w.form.txtDatabase.SetText("");
    w.form.ChkVersions.SetValue(0);
    w.form.CmdOK_Click();
    ASSERT_EQ(w.t.gis.createdFiles.size(), 1u);
    const auto& written = w.t.gis.createdFiles[0].properties;
    EXPECT_FALSE(written.GetProperty("VERSION"));
    EXPECT_FALSE(written.GetProperty("DATABASE"));
    EXPECT_EQ(written.GetProperty("PASSWORD"), "s3cret");

    // The advanced settings reach the file as they are set.
    w.form.msSslMode = "verify-full";
    w.form.miConnectTimeout = 3;
    w.form.CmdOK_Click();
    ASSERT_EQ(w.t.gis.createdFiles.size(), 2u);
    EXPECT_EQ(w.t.gis.createdFiles[1].properties.GetProperty("SSLMODE"), "verify-full");
    EXPECT_EQ(w.t.gis.createdFiles[1].properties.GetProperty("CONNECT_TIMEOUT"), "3");
}

TEST(NewConnectionForm, OkTakesTheFirstFreeNameFillingGaps) {
    const struct {
        std::vector<int> taken;
        int expected;
    } cases[] = {{{}, 0}, {{0, 1}, 2}, {{0, 2}, 1}, {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        FormWorld w;
        for (int i : c.taken) WriteFile(w.folder.Path() + "/" + ConnectionFileCandidate("db1", i), "x");
        w.form.CmdOK_Click();
        ASSERT_EQ(w.t.gis.createdFiles.size(), 1u);
        const std::string name = ConnectionFileCandidate("db1", c.expected);
        EXPECT_EQ(w.t.gis.createdFiles[0].fileName, name);
        EXPECT_EQ(w.t.gis.createdFiles[0].folder, w.folder.Path());
        EXPECT_EQ(w.form.msSdeDataName, name);
        EXPECT_EQ(w.form.msSdeFullPath, w.folder.Path() + "/" + name);
        EXPECT_TRUE(w.form.mbOkClik);
        EXPECT_FALSE(w.form.IsVisible());
        EXPECT_TRUE(w.t.ui.messages.empty());
        EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    }
    EXPECT_EQ(ConnectionFileCandidate("db1", 0), "Connection to db1.sde");
    EXPECT_EQ(ConnectionFileCandidate("db1", 10), "Connection to db1(10).sde");
}

TEST(NewConnectionForm, AServerWithSlashesStillWritesIntoTheConnectionFolder) {
    for (const std::string server : {"/run/postgresql", "../../etc/cron.d/x"}) {
        SCOPED_TRACE(server);
        FormWorld w;
        w.t.gis.AddWorkspace(FactoryKind::SpatialDatabase, server + ":5432");
        w.form.txtServer.SetText(server);
        w.form.CmdOK_Click();
        ASSERT_EQ(w.t.gis.createdFiles.size(), 1u);
        const std::string name = w.t.gis.createdFiles[0].fileName;
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_EQ(w.form.msSdeFullPath, w.folder.Path() + "/" + name);
    }
}

TEST(NewConnectionForm, ElevenNamesTakenRefusesAndStaysOpenUntilOneIsFreed) {
    FormWorld w;
    for (int i = 0; i < kConnectionFileCandidates; ++i)
        WriteFile(w.folder.Path() + "/" + ConnectionFileCandidate("db1", i), "x");
    w.form.SetVisibleState(true);
    w.form.CmdOK_Click();
    ASSERT_EQ(w.t.ui.messages.size(), 1u);
    EXPECT_EQ(w.t.ui.messages[0].text, "SDE连接目录重名数据太多,请删除一些SDE连接文件.不在新建连接.");
    EXPECT_EQ(w.t.ui.messages[0].icon, ui::MessageIcon::Critical);
    EXPECT_EQ(w.t.ui.messages[0].title, "VERDANTA:严重警告");
    EXPECT_TRUE(w.form.IsVisible());
    EXPECT_FALSE(w.form.mbOkClik);
    EXPECT_EQ(w.form.msSdeDataName, ConnectionFileCandidate("db1", 10));
    EXPECT_TRUE(w.t.gis.createdFiles.empty());
    EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);

    std::remove((w.folder.Path() + "/" + ConnectionFileCandidate("db1", 4)).c_str());
    w.form.CmdOK_Click();
    ASSERT_EQ(w.t.gis.createdFiles.size(), 1u);
    EXPECT_EQ(w.t.gis.createdFiles[0].fileName, ConnectionFileCandidate("db1", 4));
}

TEST(NewConnectionForm, OkOutcomesWhenOpeningOrWritingGoesWrong) {
    {
        SCOPED_TRACE("nothing opened");
        FormWorld w;
        w.ws->opensToNothing = true;
        w.form.SetVisibleState(true);
        w.form.CmdOK_Click();
        ASSERT_EQ(w.t.ui.messages.size(), 1u);
        EXPECT_EQ(w.t.ui.messages[0].text, "打开连接不成功.");
        EXPECT_EQ(w.t.ui.messages[0].icon, ui::MessageIcon::Information);
        EXPECT_TRUE(w.form.IsVisible());
        EXPECT_FALSE(w.form.mbOkClik);
        EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    }
    {
        SCOPED_TRACE("platform error while opening");
        FormWorld w;
        w.t.gis.FailAt("OpenWorkspace", 1, 440, "password authentication failed");
        w.form.SetVisibleState(true);
        w.form.CmdOK_Click();
        EXPECT_TRUE(w.t.ui.messages.empty());
        ASSERT_EQ(w.t.LogEntries().size(), 1u);
        EXPECT_EQ(w.t.LogEntries()[0].position, "Marbrook.frmOpenWorkspace.cmdOK_Click:110");
        EXPECT_TRUE(w.form.IsVisible());
        EXPECT_FALSE(w.form.mbOkClik);
        EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    }
    {
        SCOPED_TRACE("file not written");
        FormWorld w;
        w.t.gis.connectionFileWrites = false;
        w.form.SetVisibleState(true);
        w.form.CmdOK_Click();
        ASSERT_EQ(w.t.ui.messages.size(), 1u);
        EXPECT_EQ(w.t.ui.messages[0].text, "保存连接信息不成功.");
        EXPECT_FALSE(w.form.IsVisible());
        EXPECT_TRUE(w.form.mbOkClik);
        EXPECT_TRUE(w.form.msSdeFullPath.empty());
    }
    {
        SCOPED_TRACE("platform error while writing");
        FormWorld w;
        w.t.gis.FailAt("CreateConnectionFile", 1, 70, "denied");
        w.form.SetVisibleState(true);
        w.form.CmdOK_Click();
        ASSERT_EQ(w.t.LogEntries().size(), 1u);
        EXPECT_EQ(w.t.LogEntries()[0].position, "Marbrook.frmOpenWorkspace.cmdOK_Click:148");
        EXPECT_TRUE(w.form.IsVisible());
        EXPECT_FALSE(w.form.mbOkClik);
        EXPECT_EQ(w.t.ui.GetMousePointer(), ui::MousePointer::Default);
    }
}

TEST(NewConnectionForm, OkOpensAgainAfterASuccessfulTestAndCancelHides) {
    FormWorld w;
    w.form.CmdTextConn_Click();
    w.form.CmdOK_Click();
    EXPECT_EQ(w.t.gis.Calls("OpenWorkspace"), 2);
    EXPECT_TRUE(w.form.mpWorkspace);
    w.form.SetVisibleState(true);
    w.form.CmdCancel_Click();
    EXPECT_FALSE(w.form.IsVisible());
    EXPECT_FALSE(w.form.mbOkClik);
}

// ---- The version chooser ------------------------------------------------------

TEST(VersionChooser, OkHandsTheChosenVersionToTheConnectionForm) {
    FormWorld w;
    w.form.txtDatabase.SetText("gisdb");
    w.t.ui.OnModal("frmChangeVersion", [](ui::Form& f) {
        auto& chooser = dynamic_cast<frmChangeVersion&>(f);
        EXPECT_EQ(chooser.Caption(), "改变版本");
        ASSERT_EQ(chooser.ComboVersions.ListCount(), 2);
        EXPECT_EQ(chooser.ComboVersions.ListIndex(), 0);
        EXPECT_EQ(chooser.LblDescription.Caption(), "Instance default version.");
        chooser.ComboVersions.SetListIndex(1);
        chooser.ComboVersions_Click();
        EXPECT_EQ(chooser.LblDescription.Caption(), "Field edits");
        EXPECT_EQ(chooser.msCurSelVersionName, "editor.Edits");
        EXPECT_FALSE(chooser.Versions()[1].HasParent);
        EXPECT_TRUE(chooser.Versions()[2].HasParent);
        chooser.CmdOK_Click();
    });
    w.form.CmdChangeVersion_Click();
    EXPECT_EQ(w.form.LblVersions.Caption(), "editor.Edits");
    ASSERT_EQ(w.t.ui.shows.size(), 1u);
    EXPECT_TRUE(w.t.ui.shows[0].modal);
    EXPECT_EQ(w.t.ui.unloaded, std::vector<std::string>{"frmChangeVersion"});
    // The chooser connected with the database too.
    ASSERT_EQ(w.t.gis.openedWith.size(), 1u);
    EXPECT_EQ(w.t.gis.openedWith[0].GetProperty("DATABASE"), "gisdb");
    EXPECT_EQ(w.t.gis.openedWith[0].GetProperty("VERSION"), "sde.DEFAULT");
}

TEST(VersionChooser, CancelOrClosingKeepsTheVersion) {
    for (const bool cancel : {true, false}) {
        FormWorld w;
        w.form.LblVersions.SetCaption("sde.DEFAULT");
        w.t.ui.OnModal("frmChangeVersion", [cancel](ui::Form& f) {
            auto& chooser = dynamic_cast<frmChangeVersion&>(f);
            chooser.ComboVersions.SetListIndex(1);
            if (cancel) chooser.CmdCancel_Click();
        });
        w.form.CmdChangeVersion_Click();
        EXPECT_EQ(w.form.LblVersions.Caption(), "sde.DEFAULT");
    }
}

TEST(VersionChooser, NoConnectionOrNoVersionsMeansNoChooser) {
    {
        SCOPED_TRACE("nothing opened");
        FormWorld w;
        w.ws->opensToNothing = true;
        w.form.CmdChangeVersion_Click();
        ASSERT_EQ(w.t.ui.messages.size(), 1u);
        EXPECT_EQ(w.t.ui.messages[0].text, "连接信息丢失.\r\n必须制定服务器,服务名,用户名和密码以选择一个版本.");
        EXPECT_EQ(w.t.ui.messages[0].icon, ui::MessageIcon::Critical);
        EXPECT_TRUE(w.t.ui.shows.empty());
    }
    {
        SCOPED_TRACE("not versioned");
        FormWorld w;
        w.ws->versioned = false;
        w.form.CmdChangeVersion_Click();
        EXPECT_TRUE(w.t.ui.messages.empty());
        EXPECT_TRUE(w.t.ui.shows.empty());
        ASSERT_EQ(w.t.LogEntries().size(), 1u);
        EXPECT_EQ(w.t.LogEntries()[0].position, "Marbrook.frmChangeVersion.InitComboList:105");
    }
    {
        SCOPED_TRACE("no versions");
        FormWorld w;
        w.ws->versions.clear();
        w.form.CmdChangeVersion_Click();
        EXPECT_TRUE(w.t.ui.shows.empty());
        EXPECT_TRUE(w.t.ui.messages.empty());
    }
}

TEST(VersionChooser, OneVersionIsSelectedAndReturned) {
    TestPlatform t;
    auto& ws = t.gis.AddWorkspace(FactoryKind::SpatialDatabase, "h:1");
    ws.versions = {{"sde.ONLY", "the one", std::nullopt}};
    frmChangeVersion chooser(t.platform);
    EXPECT_EQ(chooser.InitComboList("h", "u", "1", "", "sde.OTHER"), 1);
    EXPECT_EQ(chooser.ComboVersions.Text(), "sde.ONLY");
    EXPECT_EQ(chooser.msCurSelVersionName, "sde.ONLY");
    EXPECT_EQ(chooser.msCurSelVersionDesc, "the one");
    ASSERT_EQ(t.gis.openedWith.size(), 1u);
    EXPECT_EQ(t.gis.openedWith[0].GetProperty("VERSION"), "sde.OTHER");
    EXPECT_FALSE(t.gis.openedWith[0].GetProperty("DATABASE"));
}

} // namespace
} // namespace marbrook
