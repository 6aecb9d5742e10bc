#pragma once
// The data catalogue: the records and codes that describe locations and data,
// the enumerators that fill them, the location list, and the building of
// layers from chosen items.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/gis.h"
#include "platform/object.h"
#include "platform/ui.h"

namespace marbrook {
struct Platform;

// Kinds of location (the data list is filled according to them).
enum DataLocation : std::int16_t {
    dlCatalogRoot = 0,
    dlFolder = 1,
    dlDatabaseRoot = 2,
    dlSdeConnection = 3,
    dlPersonalGdb = 4,
    dlSdeFeatureDataset = 5,
    dlPgdbFeatureDataset = 6,
    dlCadFile = 7,
};

// Kinds of entry; also the entry's icon number.
enum DataType : std::int16_t {
    dtUnclassified = 0,
    dtFolder = 1,
    dtDatabaseRoot = 2,
    dtSdeConnection = 3,
    dtNewSdeConnection = 4,
    dtPersonalGdb = 5,
    dtPointFeatureClass = 10,
    dtLineFeatureClass = 11,
    dtPolygonFeatureClass = 12,
    dtRasterFile = 13,
    dtPgdbOtherFeatureClass = 14,
    dtCadFile = 16,
    dtOtherFeatureClass = 19,
    dtSdePointFeatureClass = 20,
    dtSdeLineFeatureClass = 21,
    dtSdePolygonFeatureClass = 22,
    dtAnnotationFeatureClass = 23,
    dtFeatureDataset = 24,
    dtRasterDataset = 25,
    dtRasterCatalog = 26,
    dtSdeTable = 27,
    // The stores of today's data, entered like a personal geodatabase.
    dtFileGeodatabase = 28, // a file geodatabase (a folder *.gdb)
    dtGeoPackage = 29,
    dtSpatiaLite = 30,      // an SQLite database with geometry
    dtVectorFile = 31,      // a vector file of several layers or geometry kinds
    dtMultiRasterFile = 32, // a raster file of several grids (netCDF, HDF)
};

inline constexpr int kDataTypeImageCount = 32;

// Whether entries of this type are stores entered like a personal
// geodatabase (DataLocation dlPersonalGdb): the .mdb and the newer stores.
constexpr bool IsGeodatabaseLike(int dataType) noexcept {
    return dataType == dtPersonalGdb || (dataType >= dtFileGeodatabase && dataType <= dtMultiRasterFile);
}
inline constexpr int kDataLocationImageCount = 8;

// Description texts of the codes that have a single one.
namespace desc {
inline constexpr const char* kFolder = "文件夹连接";
inline constexpr const char* kDatabaseRoot = "空间数据库";
inline constexpr const char* kSdeConnection = "空间数据库连接";
inline constexpr const char* kPersonalGdb = "个人空间数据库";
inline constexpr const char* kShapeFile = "Shape File";
inline constexpr const char* kFeatureClass = "Feature Class";
inline constexpr const char* kCadFeatureClass = "CAD Feature Class";
inline constexpr const char* kRasterFile = "RasterDataset";
inline constexpr const char* kCadFile = "CAD File";
inline constexpr const char* kFeatureDataset = "Feature Dataset";
inline constexpr const char* kRasterDataset = "Raster Dataset";
inline constexpr const char* kRasterCatalog = "Reater Catalog"; // sic: stored files and peers show it so
inline constexpr const char* kSdeTable = "SDE表";
inline constexpr const char* kFileGeodatabase = "文件地理数据库";
inline constexpr const char* kGeoPackage = "GeoPackage数据库";
inline constexpr const char* kSpatiaLite = "SQLite空间数据库";
inline constexpr const char* kVectorFile = "矢量数据文件";
inline constexpr const char* kMultiRasterFile = "多数据集栅格文件";
// A single-file vector dataset: its format's name and this ("GeoJSON File").
inline constexpr const char* kFileSuffix = " File";
} // namespace desc

inline constexpr const char* kCatalogRootName = "数据目录";
inline constexpr const char* kDatabaseRootName = "数据库连接";
inline constexpr const char* kNewSdeConnectionName = "新建空间数据库连接";

// One entry of the location list.
struct DataNode {
    std::int16_t DataLocation = 0;
    std::int16_t DataType = 0;
    std::int16_t ParentNode = 0;
    std::int16_t ChildNode = 0;
    std::string DataName;
    std::string DataTypeDesc;
    std::string DataFullName;
    std::int16_t Level = 0;
};

// One entry of the data list or of the selection. `DataName` is for display
// (valid UTF-8); `DataFullName` is the path as the file system holds it.
struct DataItem {
    std::int16_t DataLocation = 0;
    std::int16_t DataType = 0;
    std::string DataTypeDesc;
    std::string DataName;
    std::string DataFullName;
    gis::DatasetNamePtr pDataSetObj;
};

// Element 0 is blank in a data list and the root in the location list.
using DataItems = std::vector<DataItem>;

// The "数据库连接" entry of the top level, listing the connection files in
// `connectionFolder`.
inline DataItem DatabaseRootItem(const std::string& connectionFolder) {
    DataItem root;
    root.DataLocation = dlDatabaseRoot;
    root.DataType = dtDatabaseRoot;
    root.DataName = kDatabaseRootName;
    root.DataTypeDesc = desc::kDatabaseRoot;
    root.DataFullName = connectionFolder;
    return root;
}
using DataNodes = std::vector<DataNode>;

// ---- Drives, folders and connection files ----------------------------------

// Told of the entries of a listing as they are found, so that the first
// screen of a big folder can be shown before the rest is read; asked
// between the steps of a listing whether it is still wanted.
class ListingProgress {
public:
    virtual ~ListingProgress() = default;
    // Entries 1..upTo of `items` are complete (those before were told of
    // already); called on the listing's thread.
    virtual void Found(const DataItems& items, long upTo) = 0;
    [[nodiscard]] virtual bool Cancelled() const noexcept = 0;
};

long GetLocalDrives4Combo(Platform& p, DataNodes& list);
long GetLocalDrives4Datalist(Platform& p, DataItems& items);
// Replaces `items` with the folder's entries 1..n (files before folders,
// then the datasets the filter admits); appends "/" to `folderPath` when
// missing. `progress` hears of each group as it is complete; a listing it
// calls cancelled stops after the group it is in.
long GetSubFolderFiles(Platform& p, std::string& folderPath, DataItems& items, std::int16_t filterType,
                       gis::WindowHandle parent = gis::kNoWindow, ListingProgress* progress = nullptr);
long GetSDEDataFile(Platform& p, const std::string& folderPath, DataItems& items);

// ---- File-based datasets ----------------------------------------------------

long GetShapeFilesEx(Platform& p, const std::string& folderPath, DataItems& items,
                     gis::WindowHandle parent = gis::kNoWindow);
long GetRasterFilesEx(Platform& p, const std::string& folderPath, DataItems& items);
long GetPGMdbFiles(Platform& p, const std::string& mdbPath, DataItems& items, std::int16_t filterType,
                   gis::WindowHandle parent = gis::kNoWindow);
long GetCadFiles(Platform& p, const std::string& cadPath, DataItems& items, std::int16_t filterType);
gis::DatasetNamePtr GetCADFilesDatasetName(Platform& p, const std::string& folderPath, const std::string& drawingName,
                                           gis::WindowHandle parent = gis::kNoWindow);
// The stores (file geodatabases, GeoPackages, SpatiaLite databases, vector
// files of several layers, raster files of several grids) and the
// single-file vector datasets of a folder, in the platform's order; none
// after a failure, which it logs.
std::vector<gis::DatasetNamePtr> GetDataFiles(Platform& p, const std::string& folderPath);
// The DataType and DataTypeDesc of a store that GetDataFiles names; none for
// a name that is not a store.
std::optional<std::pair<std::int16_t, std::string>> StoreTypeOf(const gis::DatasetName& name);

// ---- Connection-file folder and selected items -----------------------------

std::string InitSDEDataPath(Platform& p);
// The folder InitSDEDataPath would settle on, without creating anything:
// the user's own connection folder when it exists, else the fallback beside
// the library (which may not exist yet). For read-only callers.
std::string SdeDataPathCandidate(Platform& p);
std::string GetCurrentUserName(Platform& p);
long GetSelFilesInfos(Platform& p, DataItems& selected, const ui::ListView& listView, const DataItems& items);
// The layer-kind code (CLayerObj::DataType) a chosen entry of type
// `dataType` is added with; none for kinds that make no layer.
std::optional<std::int16_t> LayerTypeOf(int dataType) noexcept;

// ---- Location list ----------------------------------------------------------

long InitComboList(Platform& p, DataNodes& list, ui::ImageCombo& combo, long selIndex);
long InitComboList1(Platform& p, DataNodes& list, ui::ImageCombo& combo, const std::string& selText);
long InsertToComboList(Platform& p, DataNodes& list, const DataNode& node, long afterIndex);
long RefreshComboList(Platform& p, DataNodes& list, ui::ImageCombo& combo, const DataNode& node);
long RefreshComboListEx(Platform& p, DataNodes& list, ui::ImageCombo& combo, const DataNode& node, long selIndex);
bool DeleteComboList(Platform& p, DataNodes& list, const long& index);
bool IsComboListEqual(const DataNode& a, const DataNode& b);
DataNode CloneComboList(const DataNode& node);
// Shows every entry of `list` in `combo`, afresh, and selects entry
// `selected` (from 0; -1 for none).
void ShowLocationList(const DataNodes& list, ui::ImageCombo& combo, long selected);

// ---- Layers from chosen items -----------------------------------------------

// An item of the user's choice that gave no layer: its name (a feature
// dataset's member as "dataset/member") and why, in words for the user.
struct NoLayer {
    std::string name;
    std::string reason;
};

// Why an item gives no layer.
namespace reason {
inline constexpr const char* kFolder = "文件夹，请打开后再选择其中的数据";
inline constexpr const char* kPersonalGdb = "个人空间数据库，请打开后再选择其中的数据";
inline constexpr const char* kConnection = "数据库连接，请打开后再选择其中的数据";
inline constexpr const char* kTable = "表不能作为图层添加";
inline constexpr const char* kRasterCatalog = "栅格目录不能作为图层添加";
inline constexpr const char* kNotALayer = "该类数据不能作为图层添加";
inline constexpr const char* kUnsupportedShapeKind = "不支持的几何类型";
inline constexpr const char* kUnsupportedFeatureKind = "不支持的要素类型";
inline constexpr const char* kUnreadableGeometry = "无法读取几何类型";
inline constexpr const char* kFailed = "无法生成图层：";
} // namespace reason

// Replaces the CLayerObj items of `items` by layers in group order
// (annotation, point, line, polygon and CAD, raster). Without `noLayers` any
// failure ends the call (false, `items` as they were). With it, an item that
// cannot become a layer is passed over and named there with the reason, as is
// every item of a kind that makes no layer.
bool AddLayersBySort(Platform& p, Collection& items, std::vector<NoLayer>* noLayers = nullptr);

// The layers of a choice the user is still looking at: the items that give
// layers become layers (in group order, in `items`), and one message tells
// which gave none and why. False, `items` unchanged, when nothing gave a
// layer or the building failed: the user chooses again.
bool AddChosenLayers(Platform& p, Collection& items);
// The message of AddChosenLayers: `made` layers were made, `noLayers` gave none.
std::string NoLayerMessage(const std::vector<NoLayer>& noLayers, long made);
void SortLayerByGeometry(const gis::FeatureLayerPtr& layer, Collection& pointGroup, Collection& lineGroup,
                         Collection& polygonGroup, Collection& annotationGroup);

} // namespace marbrook
