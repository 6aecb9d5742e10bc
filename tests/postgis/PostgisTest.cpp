// The spatial-database connections against a real PostgreSQL + PostGIS
// server, which scripts/with-pg.sh starts and describes in MARBROOK_PG_*.
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "catalogue/basOpenDialogs.h"
#include "connections/DatabaseListings.h"
#include "catalogue/CLayerObj.h"
#include "connections/frmChangeVersion.h"
#include "connections/frmOpenWorkspace.h"
#include "platform/gdal/GdalGis.h"
#include "platform/gdal/postgis/ConnectionFile.h"
#include "platform/gdal/postgis/PgConnection.h"
#include "platform/gdal/postgis/PostgisFactory.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "tests/doubles/FakeSystem.h"
#include "tests/doubles/ScriptedUi.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The GDAL platform, with the spatial-database factory of this back end.
class PgGis final : public gis::GisService {
public:
    gis::WorkspaceFactoryPtr CreateWorkspaceFactory(gis::FactoryKind kind) override {
        if (kind == gis::FactoryKind::SpatialDatabase) return gdal::NewSpatialDatabaseFactory();
        return base_->CreateWorkspaceFactory(kind);
    }
    gis::DatasetPtr OpenName(const gis::DatasetName& name) override { return base_->OpenName(name); }
    gis::CadDrawingDatasetPtr OpenCadDrawingDataset(gis::Workspace& w, const std::string& n) override {
        return base_->OpenCadDrawingDataset(w, n);
    }
    gis::FeatureLayerPtr NewFeatureLayer(gis::LayerKind k) override { return base_->NewFeatureLayer(k); }
    gis::RasterLayerPtr NewRasterLayer() override { return base_->NewRasterLayer(); }
    gis::CadLayerPtr NewCadLayer() override { return base_->NewCadLayer(); }
    gis::MapPtr NewMap() override { return base_->NewMap(); }
    gis::MapLayerServicePtr CreateMapLayerService() override { return base_->CreateMapLayerService(); }

private:
    std::unique_ptr<gis::GisService> base_ = gdal::NewGdalGis();
};

class Postgis : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("MARBROOK_PG_HOST").empty())
            GTEST_SKIP() << "no PostgreSQL + PostGIS server: run the tests through scripts/with-pg.sh "
                            "(it starts a throwaway one and sets MARBROOK_PG_HOST and friends)";
    }

    // The connection properties of the test database, as the form builds them.
    gis::PropertySet Props(const std::string& password, const std::string& database = Env("MARBROOK_PG_DB")) const {
        gis::PropertySet props;
        props.SetProperty("SERVER", Env("MARBROOK_PG_HOST"));
        props.SetProperty("USER", Env("MARBROOK_PG_USER"));
        props.SetProperty("INSTANCE", Env("MARBROOK_PG_PORT"));
        props.SetProperty("DATABASE", database);
        props.SetProperty("PASSWORD", password);
        props.SetProperty("VERSION", "sde.DEFAULT");
        return props;
    }
    gis::PropertySet Props() const { return Props(Env("MARBROOK_PG_PASSWORD")); }

    // A connection file to the test database in the temporary folder.
    std::string ConnectionFile(const gis::PropertySet& props) {
        auto factory = gdal::NewSpatialDatabaseFactory();
        auto written = factory->CreateConnectionFile(folder.Path(), "test.sde", props, gis::kNoWindow);
        EXPECT_TRUE(written);
        return folder / "test.sde";
    }

    void FillForm(frmOpenWorkspace& f, const std::string& password) {
        f.EnsureLoaded();
        f.msSdeDataPath = folder.Path();
        f.txtServer.SetText(Env("MARBROOK_PG_HOST"));
        f.txtService.SetText(Env("MARBROOK_PG_PORT"));
        f.txtDatabase.SetText(Env("MARBROOK_PG_DB"));
        f.txtUserName.SetText(Env("MARBROOK_PG_USER"));
        f.txtPWD.SetText(password);
    }

    testing::IsolatedHome home;
    PgGis gis;
    testing::ScriptedUi ui;
    testing::FakeSystem system;
    Platform p{gis, ui, system};
    TempDir folder;
};

struct Listed {
    std::string name;
    int location;
    int type;
    std::string desc;
    bool operator==(const Listed&) const = default;
};

std::vector<Listed> Summary(const DataItems& items) {
    std::vector<Listed> out;
    for (std::size_t i = 1; i < items.size(); ++i)
        out.push_back({items[i].DataName, items[i].DataLocation, items[i].DataType, items[i].DataTypeDesc});
    return out;
}

void PrintTo(const Listed& l, std::ostream* os) { *os << l.name << "/" << l.location << "/" << l.type << "/" << l.desc; }

TEST_F(Postgis, TopLevelListsSchemasClassesAndRastersByFilter) {
    const std::string sde = ConnectionFile(Props());
    const std::vector<Listed> vector = {
        {"hydro", 5, 24, "Feature Dataset"},    {"transport", 5, 24, "Feature Dataset"},
        {"anything", 2, 19, "Feature Class"},   {"cities", 2, 20, "Feature Class"},
        {"parcels", 2, 22, "Feature Class"},    {"roads", 2, 21, "Feature Class"},
        {"wells", 2, 19, "Feature Class"}};
    const Listed raster = {"elevation", 2, 25, "Raster Dataset"};
    std::vector<Listed> all = vector;
    all.push_back(raster);
    const struct {
        std::int16_t filter;
        std::vector<Listed> expected;
    } cases[] = {{0, all}, {3, vector}, {4, {raster}}};
    for (const auto& c : cases) {
        SCOPED_TRACE("filter " + std::to_string(c.filter));
        DataItems items;
        EXPECT_EQ(OpenSdeConnectionEx(p, sde, items, c.filter), static_cast<long>(c.expected.size()));
        EXPECT_EQ(Summary(items), c.expected);
        for (std::size_t i = 1; i < items.size(); ++i) EXPECT_EQ(items[i].DataFullName, sde);
    }
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(system.FileExists(home.LibraryFolder() + "/libmarbrook.err"));
}

TEST_F(Postgis, FeatureDatasetMembersIncludeTablesAndNameMatchIsCaseSensitive) {
    const std::string sde = ConnectionFile(Props());
    DataItems items;
    EXPECT_EQ(OpenFeatureDatasetFromSDEEx(p, sde, "hydro", items, 0), 5);
    EXPECT_EQ(Summary(items), (std::vector<Listed>{{"depth", 2, 25, "Raster Dataset"},
                                                   {"gauges", 2, 20, "Feature Class"},
                                                   {"lakes", 2, 22, "Feature Class"},
                                                   {"rivers", 2, 21, "Feature Class"},
                                                   {"stations", 2, 27, "SDE表"}}));
    EXPECT_EQ(OpenFeatureDatasetFromSDEEx(p, sde, "Hydro", items, 0), 0);
    EXPECT_EQ(items.size(), 1u);
    // A schema of plain tables is no feature dataset.
    EXPECT_EQ(OpenFeatureDatasetFromSDEEx(p, sde, "archive", items, 3), 0);
}

TEST_F(Postgis, ListedNamesOpenAsFeatureClassesAndRasters) {
    const std::string sde = ConnectionFile(Props());
    DataItems items;
    OpenSdeConnectionEx(p, sde, items, 0);
    std::map<std::string, gis::DatasetNamePtr> byName;
    for (std::size_t i = 1; i < items.size(); ++i) byName[items[i].DataName] = items[i].pDataSetObj;
    auto cities = gis::AsFeatureClass(gis.OpenName(*byName.at("cities")));
    EXPECT_EQ(cities->FeatureCount(), 2);
    EXPECT_EQ(cities->ShapeKind(), gis::shape::kPoint);
    auto elevation = gis::AsRasterDataset(gis.OpenName(*byName.at("elevation")));
    EXPECT_EQ(elevation->Width(), 20);
    EXPECT_EQ(elevation->Height(), 10);
    EXPECT_EQ(elevation->BandCount(), 1);

    OpenFeatureDatasetFromSDEEx(p, sde, "hydro", items, 0);
    auto rivers = gis::AsFeatureClass(gis.OpenName(*items[4].pDataSetObj));
    EXPECT_EQ(rivers->Name(), "rivers");
    EXPECT_EQ(rivers->FeatureCount(), 0);
    EXPECT_ANY_THROW((void)gis.OpenName(*items[5].pDataSetObj)); // a plain table is no layer
}

TEST_F(Postgis, AFeatureDatasetWithARasterAndATableGivesItsLayersAndNamesTheTable) {
    // Adding such a dataset once closed the dialog as if it worked, with no
    // layer at all.
    const std::string sde = ConnectionFile(Props());
    DataItems items;
    ASSERT_EQ(OpenSdeConnectionEx(p, sde, items, 0), 8);
    Collection chosen;
    auto hydro = std::make_shared<CLayerObj>();
    hydro->pDataSetObj(items[1].pDataSetObj);
    hydro->DataName("hydro");
    hydro->DataType(ltFeatureDataset);
    chosen.Add(hydro);
    std::vector<NoLayer> noLayers;
    ASSERT_TRUE(AddLayersBySort(p, chosen, &noLayers));
    std::vector<std::string> names, sources;
    for (long i = 1; i <= chosen.Count(); ++i) {
        names.push_back(chosen.ItemAs<gis::Layer>(i)->Name());
        sources.push_back(chosen.ItemAs<gis::Layer>(i)->DataSourceText());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"gauges", "rivers", "lakes", "depth"}));
    ASSERT_EQ(noLayers.size(), 1u);
    EXPECT_EQ(noLayers[0].name, "hydro/stations");
    EXPECT_EQ(noLayers[0].reason, reason::kTable);
    // The sources name the connection and the schema-qualified table, and
    // never the password.
    const std::string database = "postgresql://" + Env("MARBROOK_PG_USER") + "@" + Env("MARBROOK_PG_HOST") + ":" +
                                 Env("MARBROOK_PG_PORT") + "/" + Env("MARBROOK_PG_DB");
    EXPECT_EQ(sources[0], database + " hydro.gauges (geom)");
    EXPECT_EQ(sources[2], database + " hydro.lakes (geom)");
    for (const auto& source : sources) EXPECT_EQ(source.find(Env("MARBROOK_PG_PASSWORD")), std::string::npos) << source;
}

TEST_F(Postgis, ConnectionFileIsPrivateHidesThePasswordAndReadsBack) {
    const std::string password = Env("MARBROOK_PG_PASSWORD");
    const std::string sde = ConnectionFile(Props());
    struct stat st {};
    ASSERT_EQ(::stat(sde.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string text = ReadFile(sde);
    EXPECT_EQ(text.find(password), std::string::npos);
    EXPECT_NE(text.find("PASSWORD=obf1:"), std::string::npos);
    auto factory = gdal::NewSpatialDatabaseFactory();
    EXPECT_EQ(factory->ReadConnectionProperties(sde).Properties(), Props().Properties());
    // An existing file is never replaced.
    EXPECT_FALSE(factory->CreateConnectionFile(folder.Path(), "test.sde", Props(), gis::kNoWindow));
}

TEST_F(Postgis, FormWritesUnderTheFreeNameFillingAGapAndRefusesWhenElevenAreTaken) {
    const std::string password = Env("MARBROOK_PG_PASSWORD");
    const std::string server = Env("MARBROOK_PG_HOST");
    WriteFile(folder / ConnectionFileCandidate(server, 0), "x");
    WriteFile(folder / ConnectionFileCandidate(server, 2), "x");
    {
        frmOpenWorkspace f(p);
        FillForm(f, password);
        f.CmdOK_Click();
        EXPECT_TRUE(f.mbOkClik);
        EXPECT_EQ(f.msSdeFullPath, folder / ConnectionFileCandidate(server, 1));
        EXPECT_TRUE(ui.messages.empty());
        // The written file opens the database it was made for.
        DataItems items;
        EXPECT_EQ(OpenSdeConnectionEx(p, f.msSdeFullPath, items, 4), 1);
    }
    for (int i = 3; i < kConnectionFileCandidates; ++i) WriteFile(folder / ConnectionFileCandidate(server, i), "x");
    frmOpenWorkspace f(p);
    FillForm(f, password);
    f.SetVisibleState(true);
    f.CmdOK_Click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "SDE连接目录重名数据太多,请删除一些SDE连接文件.不在新建连接.");
    EXPECT_EQ(ui.messages[0].title, "VERDANTA:严重警告");
    EXPECT_TRUE(f.IsVisible());
    EXPECT_FALSE(f.mbOkClik);
}

TEST_F(Postgis, AFolderThatCannotTakeTheFileSaysSavingFailed) {
    frmOpenWorkspace f(p);
    FillForm(f, Env("MARBROOK_PG_PASSWORD"));
    f.msSdeDataPath = folder / "missing";
    f.SetVisibleState(true);
    f.CmdOK_Click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "保存连接信息不成功.");
    EXPECT_TRUE(f.mbOkClik);
    EXPECT_TRUE(f.msSdeFullPath.empty());
    EXPECT_FALSE(f.IsVisible());
}

TEST_F(Postgis, AWrongPasswordSaysOpeningFailedKeepsTheFormOpenAndIsNeverShown) {
    const std::string wrong = "Wr0ng-" + Env("MARBROOK_PG_PASSWORD");
    frmOpenWorkspace f(p);
    FillForm(f, wrong);
    f.SetVisibleState(true);
    f.CmdOK_Click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "打开连接不成功.");
    EXPECT_TRUE(f.IsVisible());
    EXPECT_FALSE(f.mbOkClik);
    EXPECT_EQ(ui.GetMousePointer(), ui::MousePointer::Default);

    auto factory = gdal::NewSpatialDatabaseFactory();
    EXPECT_FALSE(factory->OpenWorkspace(Props(wrong), gis::kNoWindow));
    EXPECT_NE(factory->LastOpenFailure().find("password authentication failed"), std::string::npos);
    EXPECT_EQ(factory->LastOpenFailure().find(wrong), std::string::npos);

    // A connection file with the wrong password: listed failures never
    // carry it either.
    const std::string sde = ConnectionFile(Props(wrong));
    DataItems items;
    EXPECT_EQ(OpenSdeConnectionEx(p, sde, items, 0), 0);
    const std::string log = system.FileExists(home.LibraryFolder() + "/libmarbrook.err")
                                ? ReadFile(home.LibraryFolder() + "/libmarbrook.err")
                                : std::string();
    EXPECT_EQ(log.find(wrong), std::string::npos);
    for (const auto& m : ui.messages) EXPECT_EQ(m.text.find(wrong), std::string::npos);
}

TEST_F(Postgis, AnEmptyPasswordUsesThePasswordFile) {
    const std::string passfile = folder / "pgpass";
    WriteFile(passfile, "*:*:*:" + Env("MARBROOK_PG_USER") + ":" + Env("MARBROOK_PG_PASSWORD") + "\n");
    ::chmod(passfile.c_str(), 0600);
    const std::string old = Env("PGPASSFILE");
    ::setenv("PGPASSFILE", passfile.c_str(), 1);
    auto factory = gdal::NewSpatialDatabaseFactory();
    EXPECT_TRUE(factory->OpenWorkspace(Props(""), gis::kNoWindow)) << factory->LastOpenFailure();
    if (old.empty()) ::unsetenv("PGPASSFILE");
    else ::setenv("PGPASSFILE", old.c_str(), 1);
}

TEST_F(Postgis, VersionsComeFromTheCatalogueTableOrAreTheDefault) {
    frmChangeVersion chooser(p);
    EXPECT_EQ(chooser.InitComboList(Env("MARBROOK_PG_HOST"), Env("MARBROOK_PG_USER"), Env("MARBROOK_PG_PORT"),
                                    Env("MARBROOK_PG_PASSWORD"), "sde.DEFAULT", Env("MARBROOK_PG_DB")),
              2);
    ASSERT_EQ(chooser.ComboVersions.ListCount(), 2);
    EXPECT_EQ(chooser.ComboVersions.List(0), "sde.DEFAULT");
    EXPECT_EQ(chooser.ComboVersions.List(1), "editor.Edits");
    EXPECT_FALSE(chooser.Versions()[1].HasParent);
    EXPECT_TRUE(chooser.Versions()[2].HasParent);
    EXPECT_EQ(chooser.LblDescription.Caption(), "Instance default version.");

    auto factory = gdal::NewSpatialDatabaseFactory();
    auto ws = factory->OpenWorkspace(Props(), gis::kNoWindow);
    ASSERT_TRUE(ws);
    const auto versions = ws->ListVersions();
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[1].parent, "sde.DEFAULT");
    EXPECT_EQ(versions[1].description, "Field edits");

    auto plain = factory->OpenWorkspace(Props(Env("MARBROOK_PG_PASSWORD"), Env("MARBROOK_PG_DB_PLAIN")), gis::kNoWindow);
    ASSERT_TRUE(plain);
    const auto only = plain->ListVersions();
    ASSERT_EQ(only.size(), 1u);
    EXPECT_EQ(only[0].name, "sde.DEFAULT");
    EXPECT_FALSE(only[0].parent);
}

TEST_F(Postgis, OverviewTablesAreHiddenAndTheFirstOfSeveralGeometriesIsListed) {
    gdal::InitGdal();
    const gdal::postgis::PasswordFile password(Env("MARBROOK_PG_PASSWORD"));
    const std::string conn = "PG:" + gdal::postgis::PgConnection::FromProperties(
                                         Props(Env("MARBROOK_PG_PASSWORD"), Env("MARBROOK_PG_DB_PLAIN")))
                                         .ConnInfo(password.Path());
    GDALDataset* ds = GDALDataset::FromHandle(GDALOpenEx(conn.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr));
    ASSERT_NE(ds, nullptr);
    for (const char* sql :
         {"DROP SCHEMA IF EXISTS extra CASCADE", "CREATE EXTENSION IF NOT EXISTS postgis_raster", "CREATE SCHEMA extra",
          "CREATE TABLE extra.two (id integer PRIMARY KEY, a geometry(Polygon, 4326), b geometry(Point, 4326))",
          "CREATE TABLE extra.dem (rid integer PRIMARY KEY, rast raster)",
          "INSERT INTO extra.dem VALUES (1, ST_AddBand(ST_MakeEmptyRaster(8, 8, 0, 8, 1, -1, 0, 0, 4326), '8BUI'::text, 1, 0))",
          "SELECT AddRasterConstraints('extra'::name, 'dem'::name, 'rast'::name)",
          "SELECT ST_CreateOverview('extra.dem'::regclass, 'rast', 2)"}) {
        CPLErrorReset();
        ds->ReleaseResultSet(ds->ExecuteSQL(sql, nullptr, nullptr));
        ASSERT_EQ(CPLGetLastErrorType(), CE_None) << sql << ": " << CPLGetLastErrorMsg();
    }
    GDALClose(GDALDataset::ToHandle(ds));

    auto ws = gdal::NewSpatialDatabaseFactory()->OpenWorkspace(
        Props(Env("MARBROOK_PG_PASSWORD"), Env("MARBROOK_PG_DB_PLAIN")), gis::kNoWindow);
    ASSERT_TRUE(ws);
    const auto datasets = ws->ListDatasetNames(gis::kind::kFeatureDataset);
    ASSERT_EQ(datasets.size(), 1u);
    const auto members = datasets[0]->SubsetNames();
    ASSERT_EQ(members.size(), 2u); // the overview table o_2_dem is not listed
    EXPECT_EQ(members[0]->Name(), "dem");
    EXPECT_EQ(members[0]->Kind(), gis::kind::kRasterDataset);
    EXPECT_EQ(members[1]->Name(), "two");
    EXPECT_EQ(gis::RequireDetails(*members[1]).shapeKind, gis::shape::kPolygon);
    auto two = gis::AsFeatureClass(gis.OpenName(*members[1]));
    EXPECT_EQ(two->FeatureCount(), 0);
}

// ---- Without a server -------------------------------------------------------------

TEST(ConnectionFileFormat, RoundTripsOddValuesAndRejectsForeignText) {
    using namespace gdal::postgis;
    gis::PropertySet props;
    props.SetProperty("SERVER", "db host");
    props.SetProperty("INSTANCE", "sde:postgresql:db");
    props.SetProperty("DATABASE", "línea\nnueva%20");
    props.SetProperty("USER", "");
    props.SetProperty("PASSWORD", " p=ss'word\n ");
    props.SetProperty("VERSION", "sde.DEFAULT");
    const std::string text = FormatConnectionFile(props);
    EXPECT_EQ(text.find("p=ss'word"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
    EXPECT_EQ(ParseConnectionFile(text).Properties(), props.Properties());
    EXPECT_EQ(ParseConnectionFile("\xEF\xBB\xBF" + text + "\r\n").Properties(), props.Properties());

    const char* bad[] = {"", "SERVER=x\n", "[Marbrook connection]\nformat=2\n", "[Marbrook connection]\nno equals\n",
                         "[Marbrook connection]\nPASSWORD=obf1:zz\n", "[Marbrook connection]\nSERVER=%4\n"};
    for (const char* b : bad) {
        SCOPED_TRACE(b);
        try {
            (void)ParseConnectionFile(b);
            ADD_FAILURE() << "accepted";
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.Number(), kInvalidFileFormat);
        }
    }
    // Hand-written clear passwords are taken as they stand.
    EXPECT_EQ(ParseConnectionFile("[Marbrook connection]\nPASSWORD=plain\n").GetProperty("PASSWORD"), "plain");
    EXPECT_EQ(RevealPassword(ObfuscatePassword("")), "");
    EXPECT_EQ(Scrub("a secret in secret", "secret"), "a ******** in ********");
}

TEST(ConnectionFileFormat, InstanceNamesAPortADirectHostOrAService) {
    using gdal::postgis::ResolveInstance;
    const struct {
        const char* server;
        const char* instance;
        const char* host;
        const char* port;
    } cases[] = {{"db", "5433", "db", "5433"},
                 {"db", " 6000 ", "db", "6000"},
                 {"db", "sde:postgresql:other", "other", "5432"},
                 {"db", "SDE:PostgreSQL:", "db", "5432"},
                 {"db", "", "db", "5432"},
                 {"db", "no_such_service_here", "db", "5432"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.instance);
        const auto t = ResolveInstance(c.server, c.instance);
        EXPECT_EQ(t.host, c.host);
        EXPECT_EQ(t.port, c.port);
    }
    EXPECT_EQ(gdal::postgis::QuoteConnValue("it's a\\b"), "'it\\'s a\\\\b'");
}

TEST(ConnectionFileFormat, SslModeAndConnectTimeoutHaveDefaultsAndRefuseWhatLibpqWouldNot) {
    using gdal::postgis::PgConnection;
    gis::PropertySet old; // a file written before these settings
    old.SetProperty("SERVER", "db");
    old.SetProperty("PASSWORD", "pw");
    const PgConnection c = PgConnection::FromProperties(old);
    EXPECT_EQ(c.sslMode, "prefer");
    EXPECT_EQ(c.connectTimeout, 10);
    const std::string info = c.ConnInfo();
    EXPECT_NE(info.find("sslmode='prefer'"), std::string::npos) << info;
    EXPECT_NE(info.find("connect_timeout='10'"), std::string::npos) << info;
    EXPECT_EQ(info.find("pw"), std::string::npos) << info; // the password is never in it

    const struct {
        const char* sslmode;
        const char* timeout;
        const char* mode; // "" when refused
        int seconds;
    } cases[] = {{"require", "3", "require", 3},  {"Verify-Full", "0", "verify-full", 0},
                 {"secure", "10", "", 0},         {"disable", "ten", "", 0},
                 {"allow", "-1", "", 0},          {"prefer", "99999999999", "", 0}};
    for (const auto& row : cases) {
        SCOPED_TRACE(std::string(row.sslmode) + " / " + row.timeout);
        gis::PropertySet p = old;
        p.SetProperty("SSLMODE", row.sslmode);
        p.SetProperty("CONNECT_TIMEOUT", row.timeout);
        if (*row.mode == '\0') {
            EXPECT_THROW((void)PgConnection::FromProperties(p), PlatformError);
            continue;
        }
        const PgConnection read = PgConnection::FromProperties(p);
        EXPECT_EQ(read.sslMode, row.mode);
        EXPECT_EQ(read.connectTimeout, row.seconds);
    }
}

TEST(ConnectionFileFormat, APasswordIsHandedOverInAPrivateFileLibpqReadsBack) {
    using gdal::postgis::PasswordFile;
    EXPECT_TRUE(PasswordFile("").Path().empty()); // libpq's own password file serves
    const PasswordFile file("a:b\\c d'e\"f");
    ASSERT_FALSE(file.Path().empty());
    struct stat st {};
    ASSERT_EQ(::stat(file.Path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // libpq's format: any host, port, database and user; ":" and "\\" escaped.
    EXPECT_EQ(ReadFile(file.Path()), "*:*:*:*:a\\:b\\\\c d'e\"f\n");
    for (const char* broken : {"line\nbreak", "cr\r"}) {
        SCOPED_TRACE(broken);
        try {
            PasswordFile refused(broken);
            ADD_FAILURE() << "accepted";
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.Number(), gdal::postgis::kBadName);
            EXPECT_EQ(e.Description().find(broken), std::string::npos);
        }
    }
}

TEST(ConnectionFileFormat, AMissingOrForeignFileIsAReportedFailure) {
    TempDir dir;
    auto factory = gdal::NewSpatialDatabaseFactory();
    try {
        (void)factory->ReadConnectionProperties(dir / "none.sde");
        ADD_FAILURE();
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.Number(), errnum::kFileNotFound);
    }
    WriteFile(dir / "foreign.sde", std::string("\x00\x01binary", 8));
    EXPECT_THROW((void)factory->ReadConnectionProperties(dir / "foreign.sde"), PlatformError);
    // An unreachable server is an answer (none), not a failure.
    gis::PropertySet p;
    p.SetProperty("SERVER", "127.0.0.1");
    p.SetProperty("INSTANCE", "1");
    p.SetProperty("PASSWORD", "topsecret");
    EXPECT_FALSE(factory->OpenWorkspace(p, gis::kNoWindow));
    EXPECT_FALSE(factory->LastOpenFailure().empty());
    EXPECT_EQ(factory->LastOpenFailure().find("topsecret"), std::string::npos);
}

} // namespace
} // namespace marbrook
