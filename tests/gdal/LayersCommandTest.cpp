// "marbrook layers" run as a program on real files: the dialog's Add, from a
// script.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/doubles/ProgramRun.h"
#include "tests/gdal/GdalFixtures.h"

namespace marbrook {
namespace {

using testing::ProgramRun;
using testing::TempDir;

std::string ProgramPath() { return MARBROOK_CLI; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

class LayersCommand : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string d = data.Path();
        testing::WriteShapefile(d, "wells", wkbPoint, {"POINT (1 1)", "POINT (2 2)"});
        testing::WriteShapefile(d, "roads", wkbLineString, {"LINESTRING (0 0,1 1)"});
        testing::WriteShapefile(d, "parcels", wkbPolygon, {"POLYGON ((0 0,0 1,1 1,0 0))", "POLYGON ((0 0,0 2,2 2,0 0))",
                                                           "POLYGON ((0 0,0 3,3 3,0 0))"});
        testing::WriteRaster("GTiff", d + "/dem.tif", 4, 3);
        testing::WriteDxf(d + "/site.dxf");
    }
    ProgramRun Layers(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"layers"};
        all.insert(all.end(), args.begin(), args.end());
        return testing::RunProgram(ProgramPath(), home.Path(), all);
    }
    TempDir home;
    TempDir data;
};

TEST_F(LayersCommand, ItemsBecomeLayersInTheDialogsGroupOrder) {
    const std::string d = data.Path();
    // Chosen in this order; Add orders them by group (annotation, point, line,
    // polygon and CAD, raster), keeping the chosen order inside a group.
    const ProgramRun r = Layers({d + "::dem.tif", d + "::parcels.shp", d + "::site.dxf", d + "/roads.shp",
                                 d + "::wells.shp", d + "/site.dxf::Polyline"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 6u) << r.out;
    const struct {
        const char* start;
        const char* end;
    } expected[] = {{"feature\twells\t", "\t2"},        {"feature\troads\t", "\t1"},
                    {"feature\tPolyline\t", "\t1"},     {"feature\tparcels\t", "\t3"},
                    {"cad\tsite.dxf\t", "\t"},          {"raster\tdem.tif\t", "\t4x3"}};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(lines[i].rfind(expected[i].start, 0), 0u);
        EXPECT_TRUE(lines[i].size() >= std::strlen(expected[i].end) &&
                    lines[i].compare(lines[i].size() - std::strlen(expected[i].end), std::string::npos, expected[i].end) == 0);
    }
    EXPECT_NE(lines[1].find(d + "/roads"), std::string::npos); // the data source
}

TEST_F(LayersCommand, ItemsThatGiveNoLayerAreNamedAndTheOthersStillPrinted) {
    const std::string d = data.Path();
    const ProgramRun r = Layers({d + "::roads.shp", d + "::nosuch.shp", d + "/missing::x", d + "/site.dxf::Nothing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;
    EXPECT_EQ(r.out.rfind("feature\troads\t", 0), 0u);
    const std::vector<std::string> errors = Lines(r.err);
    ASSERT_EQ(errors.size(), 3u) << r.err;
    EXPECT_NE(errors[0].find("nosuch.shp: no dataset \"nosuch.shp\" in " + d), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("missing::x: "), std::string::npos) << errors[1];
    EXPECT_NE(errors[2].find("no dataset \"Nothing\""), std::string::npos) << errors[2];

    EXPECT_EQ(Layers({}).status, 2);
    EXPECT_EQ(Layers({"--frobnicate", d + "::roads.shp"}).status, 2);
    const ProgramRun help = Layers({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: marbrook layers"), std::string::npos);
}

TEST_F(LayersCommand, JsonHasOneObjectPerLayer) {
    const std::string d = data.Path();
    const ProgramRun r = Layers({"--json", d + "::dem.tif", d + "::wells.shp", d + "::site.dxf"});
    EXPECT_EQ(r.status, 0) << r.err;
    const nlohmann::json layers = nlohmann::json::parse(r.out);
    ASSERT_TRUE(layers.is_array());
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(layers[0]["kind"], "feature");
    EXPECT_EQ(layers[0]["name"], "wells");
    EXPECT_EQ(layers[0]["geometry"], "point");
    EXPECT_EQ(layers[0]["count"], 2);
    EXPECT_EQ(layers[1]["kind"], "cad");
    EXPECT_EQ(layers[1]["drawing"], d + "/site.dxf");
    EXPECT_EQ(layers[2]["kind"], "raster");
    EXPECT_EQ(layers[2]["width"], 4);
    EXPECT_EQ(layers[2]["height"], 3);
    EXPECT_EQ(layers[2]["bands"], 1);
    // Nothing at all is still an array.
    const ProgramRun none = Layers({"--json", d + "::nosuch.shp"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(nlohmann::json::parse(none.out), nlohmann::json::array());
}

TEST_F(LayersCommand, AGridListedAsFolderAndRasterIsTheRaster) {
    if (!testing::HaveSharedDir()) GTEST_SKIP() << testing::NoSharedDir();
    const ProgramRun r = Layers({testing::Sample("aig/mygrid"), testing::Sample("aig") + "::abc3x1"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("raster\tmygrid\t", 0), 0u);
    EXPECT_EQ(lines[1].rfind("raster\tabc3x1\t", 0), 0u);
}

} // namespace
} // namespace marbrook
