// The order in which listings show names: case folded, then by bytes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "catalogue/NameOrder.h"
#include "catalogue/basOpenDialogs.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook {
namespace {

using Names = std::vector<std::string>;

TEST(NameOrder, FoldsCaseThenOrdersByBytes) {
    struct Row {
        const char* what;
        Names given;
        Names listed;
    };
    const Row rows[] = {
        {"case does not separate names", {"b", "A", "a", "B"}, {"A", "a", "B", "b"}},
        {"upper-case files among lower-case ones", {"roads.shp", "Rivers.shp", "ROADS.SHP", "parcels.shp"},
         {"parcels.shp", "Rivers.shp", "ROADS.SHP", "roads.shp"}},
        {"a shorter name first", {"road", "roads", "Road"}, {"Road", "road", "roads"}},
        {"digits and punctuation by their bytes", {"b", "_a", "10", "9", "Z"}, {"10", "9", "_a", "b", "Z"}},
        {"accented letters fold too", {"émile", "Zeta", "Émile", "alpha"}, {"alpha", "Zeta", "Émile", "émile"}},
        {"Greek final sigma folds to sigma", {"ς1", "Σ2", "σ0"}, {"σ0", "ς1", "Σ2"}},
        {"capital sharp s folds to sharp s", {"ßb", "ẞa"}, {"ẞa", "ßb"}},
        {"Cyrillic", {"Дом", "дача", "ГОРОД"}, {"ГОРОД", "дача", "Дом"}},
        {"bytes that are not UTF-8 sort as themselves", {"\xff" "x", "X", "\xc3"}, {"X", "\xc3", "\xff" "x"}},
        {"empty and single names", {""}, {""}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Names names = r.given;
        names::Sort(names);
        EXPECT_EQ(names, r.listed);
        for (std::size_t i = 1; i < r.listed.size(); ++i) {
            EXPECT_TRUE(names::Before(r.listed[i - 1], r.listed[i])) << r.listed[i - 1] << " / " << r.listed[i];
            EXPECT_FALSE(names::Before(r.listed[i], r.listed[i - 1]));
        }
    }
}

TEST(NameOrder, FoldingKeepsEveryByteThatIsNotALetter) {
    EXPECT_EQ(names::Fold("Roads_2026.SHP"), "roads_2026.shp");
    EXPECT_EQ(names::Fold("ÀÉÎ"), "àéî");
    EXPECT_EQ(names::Fold("数据目录"), "数据目录");
    EXPECT_EQ(names::Fold(std::string("a\0B", 3)), std::string("a\0b", 3));
    // A character cut short keeps its bytes.
    EXPECT_EQ(names::Fold("A\xe6\x95"), "a\xe6\x95");
}

TEST(NameOrder, NamesEqualButForLongSharedBeginningsStillSort) {
    // The first eight bytes are compared as one number; longer names that
    // share them are told apart by the rest.
    Names names{"document_00010.txt", "Document_00002.txt", "document_00001.TXT", "document_0000"};
    names::Sort(names);
    EXPECT_EQ(names, (Names{"document_0000", "document_00001.TXT", "Document_00002.txt", "document_00010.txt"}));
}

TEST(NameOrder, ManyNamesComeInTheOrderOfTheComparisonOfTwo) {
    // Names sharing long beginnings, case variants and letters of several
    // scripts, in a fixed pseudo-random mix: the fast ordering of a whole
    // folder must agree with comparing two names at a time.
    const std::vector<std::string> parts{"a", "A", "b", "_", "0", "9", "é", "É", "ß", "ẞ", "Σ", "ς", "数", "\xff", "document_", "DOCUMENT_"};
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    Names names;
    for (int i = 0; i < 3000; ++i) {
        std::string name;
        const int length = 1 + static_cast<int>(next() % 6);
        for (int k = 0; k < length; ++k) name += parts[next() % parts.size()];
        names.push_back(name);
    }
    Names expected = names;
    std::stable_sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) { return names::Before(a, b); });
    names::Sort(names);
    EXPECT_EQ(names, expected);
}

void Touch(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ::close(fd);
}

TEST(FolderListingOrder, EachGroupIsInNameOrderAndTheGroupsKeepTheirPlaces) {
    testing::TestPlatform t;
    testing::TempDir dir;
    for (const char* f : {"zeta.dxf", "Alpha.mdb", "beta.DWG", "notes.txt"}) Touch(dir / f);
    for (const char* d : {"maps", "Archive", "b"}) t.system.CreateFolder(dir / d);
    const std::string key = dir.Path() + "/";
    auto& shapes = t.gis.AddWorkspace(gis::FactoryKind::Shapefile, key);
    for (const char* name : {"wells", "Roads", "parcels"})
        t.gis.Add(shapes, t.gis.FeatureClass(name, gis::feature::kSimple, gis::shape::kPoint));
    auto& rasters = t.gis.AddWorkspace(gis::FactoryKind::Raster, key);
    for (const char* name : {"zz.tif", "DEM.tif", "a.img"}) t.gis.Add(rasters, t.gis.Name(name, gis::kind::kRasterDataset));

    std::string folder = dir.Path();
    DataItems items;
    ASSERT_EQ(GetSubFolderFiles(t, folder, items, 0), 12);
    Names listed;
    for (std::size_t i = 1; i < items.size(); ++i) listed.push_back(items[i].DataName);
    // Databases and drawings, folders, shapefiles, rasters: each in name order.
    EXPECT_EQ(listed, (Names{"Alpha.mdb", "beta.DWG", "zeta.dxf", "Archive", "b", "maps", "parcels.shp", "Roads.shp",
                             "wells.shp", "a.img", "DEM.tif", "zz.tif"}));
    for (std::size_t i = 1; i < items.size(); ++i) EXPECT_EQ(items[i].DataFullName, dir / items[i].DataName);

    // The connection files after the new-connection entry.
    testing::TempDir sde;
    for (const char* f : {"b.sde", "A.SDE", "c.txt", "a.sde"}) Touch(sde / f);
    ASSERT_EQ(GetSDEDataFile(t, sde.Path(), items), 4);
    EXPECT_EQ(items[1].DataName, kNewSdeConnectionName);
    EXPECT_EQ((Names{items[2].DataName, items[3].DataName, items[4].DataName}), (Names{"A.SDE", "a.sde", "b.sde"}));
}

} // namespace
} // namespace marbrook
