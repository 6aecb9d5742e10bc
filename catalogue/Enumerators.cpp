// The enumerators of the data catalogue: drives, folder contents, connection
// files, and the datasets of folders, personal geodatabases and drawings.
#include <map>
#include <string_view>
#include <type_traits>
#include <vector>

#include "catalogue/basOpenDialogs.h"
#include "catalogue/NameOrder.h"
#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Text.h"

namespace marbrook {

namespace {

constexpr std::int16_t kFilterAll = 0;
constexpr std::int16_t kFilterShapefiles = 1;
constexpr std::int16_t kFilterRasters = 2;
constexpr std::int16_t kFilterGeo = 3;
constexpr std::int16_t kFilterRasterDatasets = 4;
constexpr int kCdDrive = 5;

// The upper bound of a data list: its last index (element 0 is blank).
long UpperBound(const DataItems& items) { return static_cast<long>(items.size()) - 1; }

void ResetToBlank(DataItems& items) { items.assign(1, DataItem{}); }

// Puts entries first..last (from 1) of a data list into listing order by the
// file names their paths end in: the names as the file system holds them.
void SortEntries(DataItems& items, long first, long last) {
    if (first < 1 || last <= first || last >= static_cast<long>(items.size())) return;
    const auto begin = items.begin() + first;
    const std::size_t count = static_cast<std::size_t>(last - first + 1);
    std::vector<std::string> fileNames(count);
    for (std::size_t i = 0; i < count; ++i) fileNames[i] = text::FileNamePart(begin[static_cast<std::ptrdiff_t>(i)].DataFullName);
    const auto order = names::Order(count, [&](std::size_t i) { return std::string_view(fileNames[i]); });
    DataItems sorted;
    sorted.reserve(count);
    for (const std::size_t i : order) sorted.push_back(std::move(begin[static_cast<std::ptrdiff_t>(i)]));
    std::move(sorted.begin(), sorted.end(), begin);
}

// The extension of a file name, without its dot ("" for ".profile"); no
// copy: a folder listing asks it of every file.
std::string_view ExtensionOf(std::string_view name) {
    const auto slash = name.rfind('/');
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

bool EqualsUpper(std::string_view s, std::string_view upper) {
    if (s.size() != upper.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (text::UpperAscii(s[i]) != upper[i]) return false;
    return true;
}

bool HasExtension(std::string_view name, std::string_view upper) { return EqualsUpper(ExtensionOf(name), upper); }

DataItem& Append(DataItems& items) {
    if (items.empty()) items.emplace_back(); // element 0 is always there
    return items.emplace_back();
}

[[noreturn]] void ThrowNothingOpened(const std::string& what) {
    throw PlatformError(errnum::kObjectNotSet, "Marbrook", "nothing could be opened at " + what);
}

gis::WorkspacePtr OpenByDatabase(Platform& p, gis::FactoryKind kind, const std::string& path, gis::WindowHandle parent) {
    const auto factory = p.gis.CreateWorkspaceFactory(kind);
    const auto properties = p.gis.CreatePropertySet();
    properties->SetProperty("DATABASE", path);
    auto workspace = factory->OpenWorkspace(*properties, parent);
    if (!workspace) ThrowNothingOpened(path);
    return workspace;
}

gis::WorkspacePtr OpenFromFile(Platform& p, gis::FactoryKind kind, const std::string& path) {
    auto workspace = p.gis.CreateWorkspaceFactory(kind)->OpenWorkspaceFromFile(path, gis::kNoWindow);
    if (!workspace) ThrowNothingOpened(path);
    return workspace;
}

// The geometry classification of a feature-class name, one column per store.
enum class Store { Shapefile, PersonalGdb, Cad };

// Returns dtUnclassified for "left at 0".
std::int16_t Classify(const gis::FeatureClassDetails& d, Store store) {
    if (d.featureKind == gis::feature::kSimple) {
        // A shapefile of multipoints or multipatches is still a layer the
        // user can add: listed without a kind, it would be dropped unseen.
        if (store == Store::Shapefile && d.shapeKind == gis::shape::kMultipoint) return dtPointFeatureClass;
        if (store == Store::Shapefile && d.shapeKind == gis::shape::kMultiPatch) return dtPolygonFeatureClass;
        switch (d.shapeKind) {
        case gis::shape::kPoint: return dtPointFeatureClass;
        case gis::shape::kPolyline:
        case gis::shape::kLine: return dtLineFeatureClass;
        case gis::shape::kPolygon: return dtPolygonFeatureClass;
        case gis::shape::kMultiPatch:
            // Drawings never get here: their multipatch class is not listed.
            return store == Store::PersonalGdb ? dtOtherFeatureClass : dtUnclassified;
        default: break;
        }
        return store == Store::Shapefile ? dtUnclassified : dtOtherFeatureClass;
    }
    if (store == Store::Shapefile) return dtUnclassified;
    if (d.featureKind == gis::feature::kAnnotation) return dtAnnotationFeatureClass;
    if (d.featureKind == gis::feature::kCoverageAnnotation && store == Store::Cad) return dtAnnotationFeatureClass;
    return dtOtherFeatureClass;
}

// The drawings of one folder by name: one opening of the folder as a CAD
// workspace serves every drawing of a listing, so a folder of n drawings
// costs n, not n times n. Looks names up exactly as GetCADFilesDatasetName.
class CadNameIndex {
public:
    CadNameIndex(Platform& p, const std::string& folderPath, gis::WindowHandle parent) : p_(p), folder_(folderPath), parent_(parent) {}

    gis::DatasetNamePtr Find(const std::string& drawingName) {
        if (!loaded_) Load();
        const auto it = names_.find(drawingName);
        return it == names_.end() ? nullptr : it->second;
    }

private:
    void Load() {
        loaded_ = true;
        Steps step(p_, "Marbrook.basOpenDialogs.GetCADFilesDatasetName:");
        try {
            step(100);
            const auto workspace = OpenByDatabase(p_, gis::FactoryKind::Cad, folder_, parent_);
            step(101);
            for (const auto& name : workspace->ListDatasetNames(gis::kind::kFeatureDataset)) {
                step(102);
                names_.try_emplace(name->Name(), name); // the first of equal names wins
            }
        } catch (...) {
            // One failed opening is one entry; every drawing then has no name.
            step.Report();
            names_.clear();
        }
    }

    Platform& p_;
    std::string folder_;
    gis::WindowHandle parent_;
    bool loaded_ = false;
    std::map<std::string, gis::DatasetNamePtr> names_;
};

// The stores and single-file datasets of one folder by name, read once for
// a listing: the first of equal names wins.
class DataFileIndex {
public:
    explicit DataFileIndex(std::vector<gis::DatasetNamePtr> names) : names_(std::move(names)) {
        for (const auto& name : names_) byName_.try_emplace(name->Name(), name);
    }
    // The store named `name`; none when it is no store.
    gis::DatasetNamePtr Store(const std::string& name) const {
        const auto it = byName_.find(name);
        return it != byName_.end() && it->second->Kind() == gis::kind::kStore ? it->second : nullptr;
    }
    const std::vector<gis::DatasetNamePtr>& Names() const { return names_; }

private:
    std::vector<gis::DatasetNamePtr> names_;
    std::map<std::string, gis::DatasetNamePtr, std::less<>> byName_;
};

// A store's entry: entered like a personal geodatabase. The store's type is
// asked before the entry is added, so that a failure leaves no half entry.
void AppendStoreEntry(DataItems& items, const gis::DatasetName& store, const std::string& name, const std::string& path) {
    const auto type = StoreTypeOf(store);
    DataItem& item = Append(items);
    item.DataLocation = dlPersonalGdb;
    item.DataType = type ? type->first : std::int16_t{dtUnclassified};
    item.DataTypeDesc = type ? type->second : std::string();
    item.DataName = text::SanitizeUtf8(name);
    item.DataFullName = path;
}

} // namespace

// ---- Drives ---------------------------------------------------------------

namespace {

// The drive entries of the location list and of the data list: one entry per
// drive that is not a CD/DVD drive at 1..n, and a blank spare at n + 1 that
// the caller removes or fills.
template <class Record>
long FillDrives(Platform& p, std::vector<Record>& records, Steps& step, int lastStep) {
    long count = 0;
    step(103);
    const auto drives = p.system.LogicalDrives();
    step(104);
    if (drives.empty()) return 0;
    step(107);
    records.assign(1, Record{});
    for (const auto& drive : drives) {
        step(112);
        if (drive.type == kCdDrive) continue;
        step(114);
        ++count;
        step(115);
        records.resize(static_cast<std::size_t>(count) + 2);
        step(116);
        Record& entry = records[static_cast<std::size_t>(count)];
        entry.DataLocation = dlFolder;
        entry.DataType = dtFolder;
        entry.DataTypeDesc = desc::kFolder;
        entry.DataFullName = drive.root;
        entry.DataName = text::SanitizeUtf8(drive.root);
        if constexpr (std::is_same_v<Record, DataNode>) {
            entry.ParentNode = 0;
            entry.ChildNode = -1;
            entry.Level = 1;
        }
    }
    step(lastStep);
    return count;
}

} // namespace

long GetLocalDrives4Combo(Platform& p, DataNodes& list) {
    Steps step(p, "Marbrook.basOpenDialogs.GetLocalDrives4Combo:");
    try {
        return FillDrives(p, list, step, 125);
    } catch (...) {
        step.Report();
        return 0;
    }
}

long GetLocalDrives4Datalist(Platform& p, DataItems& items) {
    Steps step(p, "Marbrook.basOpenDialogs.GetLocalDrives4Datalist:");
    try {
        return FillDrives(p, items, step, 122);
    } catch (...) {
        step.Report();
        return 0;
    }
}

// ---- Folders ----------------------------------------------------------------

long GetSubFolderFiles(Platform& p, std::string& folderPath, DataItems& items, std::int16_t filterType,
                       gis::WindowHandle parent, ListingProgress* progress) {
    Steps step(p, "Marbrook.basOpenDialogs.GetSubFolderFiles:");
    long count = 0;
    const auto found = [&] {
        if (progress) progress->Found(items, count);
        return !progress || !progress->Cancelled();
    };
    try {
        step(103);
        // Listed before the caller's array is touched: an unreadable folder
        // leaves the previous listing in place.
        sys::FolderContents contents = p.system.ListFolder(folderPath);
        // Listed in the order a user can search (the file system's own order
        // is a hash), each group on its own: files (sorted below, once the
        // databases among the folders have joined them), then folders.
        names::Sort(contents.folders);
        step(104);
        if (folderPath.empty() || folderPath.back() != '/') {
            step(106);
            folderPath += '/';
        }
        // Names stay a list: a name holding CR or LF is one entry, never two.
        step(120);
        count = 0;
        step(121);
        ResetToBlank(items);
        items.reserve(contents.files.size() + contents.folders.size() + 1);
        std::vector<std::size_t> drawings;
        const DataFileIndex dataFiles(GetDataFiles(p, folderPath));
        // A file geodatabase is a folder on disk but a database to the user:
        // it is listed in name order among the databases, never entered as
        // a folder.
        // Only the files listed here are put in order: in a folder of 100 000
        // names most are the shapefiles' and rasters' files, which their
        // stores list below, or no data at all.
        std::erase_if(contents.files, [&](const std::string& name) {
            const std::string_view ext = ExtensionOf(name);
            return !EqualsUpper(ext, "MDB") && !EqualsUpper(ext, "DXF") && !EqualsUpper(ext, "DWG") &&
                   !dataFiles.Store(name);
        });
        std::erase_if(contents.folders, [&](const std::string& name) {
            if (!dataFiles.Store(name)) return false;
            contents.files.push_back(name);
            return true;
        });
        names::Sort(contents.files);
        for (const std::string& name : contents.files) {
            step(131);
            const std::string_view ext = ExtensionOf(name);
            if (EqualsUpper(ext, "MDB")) {
                step(132);
                DataItem& item = Append(items);
                item.DataLocation = dlPersonalGdb;
                item.DataType = dtPersonalGdb;
                item.DataTypeDesc = desc::kPersonalGdb;
                item.DataName = text::SanitizeUtf8(name);
                item.DataFullName = folderPath + name;
                ++count;
            } else if (EqualsUpper(ext, "DXF") || EqualsUpper(ext, "DWG")) {
                step(138);
                DataItem& item = Append(items);
                item.DataLocation = dlCadFile;
                item.DataType = dtCadFile;
                item.DataTypeDesc = desc::kCadFile;
                item.DataName = text::SanitizeUtf8(name);
                item.DataFullName = folderPath + name;
                ++count;
                drawings.push_back(items.size() - 1);
            } else if (const auto store = dataFiles.Store(name)) {
                step(139);
                AppendStoreEntry(items, *store, name, folderPath + name);
                ++count;
            }
        }
        for (const std::string& name : contents.folders) {
            step(124);
            DataItem& item = Append(items);
            item.DataLocation = dlFolder;
            item.DataType = dtFolder;
            item.DataTypeDesc = desc::kFolder;
            item.DataName = text::SanitizeUtf8(name);
            item.DataFullName = folderPath + name;
            ++count;
        }
        // The files and folders can be shown while the drawings' dataset
        // names are looked up and the datasets are read: a big folder's
        // first screen comes at once.
        if (!found()) return count;
        if (!drawings.empty()) {
            step(138);
            // Looked up by the real bytes of the name, which the platform's
            // dataset name carries too.
            CadNameIndex cadNames(p, folderPath, parent);
            for (const std::size_t at : drawings) items[at].pDataSetObj = cadNames.Find(text::FileNamePart(items[at].DataFullName));
        }
        // The dataset enumerators log their own failures; whatever they (or
        // the steps above) wrote is counted, so a failing raster probe never
        // hides the folder's files and subfolders.
        step(140);
        if (filterType == kFilterShapefiles || filterType == kFilterAll) {
            step(141);
            const long before = UpperBound(items);
            GetShapeFilesEx(p, folderPath, items, parent);
            count = UpperBound(items);
            // The other single-file vector datasets, listed as shapefiles are.
            for (const auto& name : dataFiles.Names()) {
                step(142);
                if (name->Kind() != gis::kind::kFeatureClass) continue;
                const std::string fileName = name->Name();
                DataItem& item = Append(items);
                count = UpperBound(items);
                item.DataLocation = dlDatabaseRoot;
                item.DataName = text::SanitizeUtf8(fileName);
                item.DataFullName = folderPath + fileName;
                item.pDataSetObj = name;
                step(143);
                item.DataType = Classify(gis::RequireDetails(*name), Store::Shapefile);
                item.DataTypeDesc = text::SanitizeUtf8(name->FormatName()) + desc::kFileSuffix;
            }
            SortEntries(items, before + 1, count);
            if (!found()) return count;
        }
        step(144);
        if (filterType == kFilterRasters || filterType == kFilterAll) {
            step(145);
            const long before = UpperBound(items);
            GetRasterFilesEx(p, folderPath, items);
            count = UpperBound(items);
            SortEntries(items, before + 1, count);
            if (!found()) return count;
        }
        step(149);
        return count;
    } catch (...) {
        step.Report();
        return count;
    }
}

long GetSDEDataFile(Platform& p, const std::string& folderPath, DataItems& items) {
    Steps step(p, "Marbrook.basOpenDialogs.GetSDEDataFile:");
    long count = 0;
    try {
        step(103);
        sys::FolderContents contents = p.system.ListFolder(folderPath);
        names::Sort(contents.files);
        step(110);
        ResetToBlank(items);
        step(113);
        count = 1;
        step(115);
        DataItem& entry = Append(items);
        entry.DataLocation = dlSdeFeatureDataset;
        entry.DataType = dtNewSdeConnection;
        entry.DataName = kNewSdeConnectionName;
        entry.DataFullName = folderPath;
        for (const std::string& name : contents.files) {
            step(121);
            if (!HasExtension(name, "SDE")) continue;
            step(122);
            DataItem& item = Append(items);
            item.DataLocation = dlSdeConnection;
            item.DataType = dtSdeConnection;
            item.DataTypeDesc = desc::kSdeConnection;
            item.DataName = text::SanitizeUtf8(name);
            item.DataFullName = text::JoinPath(folderPath, name);
            ++count;
        }
        step(130);
        return count;
    } catch (...) {
        step.Report();
        return 0;
    }
}

// ---- File-based datasets ----------------------------------------------------

long GetShapeFilesEx(Platform& p, const std::string& folderPath, DataItems& items, gis::WindowHandle parent) {
    Steps step(p, "Marbrook.basOpenDialogs.GetShapeFilesEx:");
    long i = 0;
    try {
        step(100);
        const auto workspace = OpenByDatabase(p, gis::FactoryKind::Shapefile, folderPath, parent);
        step(101);
        if (items.empty()) items.emplace_back();
        i = UpperBound(items);
        step(102);
        for (const auto& name : workspace->ListDatasetNames(gis::kind::kFeatureClass)) {
            step(103);
            // The extension as the file spells it (ROADS.SHP names a file
            // that ROADS.shp does not, on Linux).
            std::string extension = name->FileExtension();
            const std::string fileName = name->Name() + (extension.empty() ? std::string(".shp") : std::move(extension));
            DataItem& item = Append(items);
            ++i;
            item.DataLocation = dlDatabaseRoot;
            item.DataName = text::SanitizeUtf8(fileName);
            item.DataFullName = folderPath + fileName;
            item.pDataSetObj = name;
            step(104);
            if (name->Kind() == gis::kind::kFeatureClass) {
                step(105);
                item.DataType = Classify(gis::RequireDetails(*name), Store::Shapefile);
                item.DataTypeDesc = desc::kShapeFile;
            }
        }
        step(106);
        return i;
    } catch (...) {
        step.Report();
        return i;
    }
}

long GetRasterFilesEx(Platform& p, const std::string& folderPath, DataItems& items) {
    Steps step(p, "Marbrook.basOpenDialogs.GetRasterFilesEx:");
    try {
        step(100);
        const auto workspace = OpenFromFile(p, gis::FactoryKind::Raster, folderPath);
        step(101);
        if (items.empty()) items.emplace_back();
        long i = UpperBound(items);
        step(102);
        for (const auto& name : workspace->ListDatasetNames(gis::kind::kRasterDataset)) {
            step(103);
            const std::string rasterName = name->Name();
            DataItem& item = Append(items);
            ++i;
            item.DataLocation = dlDatabaseRoot;
            item.DataType = dtRasterFile;
            item.DataTypeDesc = desc::kRasterFile;
            item.DataName = text::SanitizeUtf8(rasterName);
            item.DataFullName = folderPath + rasterName;
            item.pDataSetObj = name;
        }
        step(104);
        return i;
    } catch (...) {
        step.Report();
        return 0;
    }
}

long GetPGMdbFiles(Platform& p, const std::string& mdbPath, DataItems& items, std::int16_t filterType,
                   gis::WindowHandle parent) {
    Steps step(p, "Marbrook.basOpenDialogs.GetPGMdbFiles:");
    try {
        step(100);
        if (filterType != kFilterAll && filterType != kFilterGeo && filterType != kFilterRasterDatasets) return 0;
        step(101);
        const auto workspace = OpenByDatabase(p, gis::FactoryKind::PersonalGeodatabase, mdbPath, parent);
        step(102);
        if (items.empty()) items.emplace_back();
        step(103);
        const int listKind = filterType == kFilterGeo               ? gis::kind::kGeo
                             : filterType == kFilterRasterDatasets ? gis::kind::kRasterDataset
                                                                    : gis::kind::kAny;
        step(104);
        for (const auto& name : workspace->ListDatasetNames(listKind)) {
            step(105);
            DataItem entry;
            entry.DataLocation = dlPersonalGdb;
            entry.DataName = text::SanitizeUtf8(name->Name());
            entry.DataFullName = mdbPath;
            entry.pDataSetObj = name;
            step(106);
            const int k = name->Kind();
            const bool geo = filterType == kFilterAll || filterType == kFilterGeo;
            if (k == gis::kind::kFeatureDataset) {
                if (geo) {
                    entry.DataType = dtFeatureDataset;
                    entry.DataTypeDesc = desc::kFeatureDataset;
                    entry.DataLocation = dlPgdbFeatureDataset;
                }
            } else if (k == gis::kind::kFeatureClass) {
                if (geo) {
                    step(107);
                    entry.DataType = Classify(gis::RequireDetails(*name), Store::PersonalGdb);
                    entry.DataTypeDesc = desc::kFeatureClass;
                }
            } else if (k == gis::kind::kRasterDataset) {
                if (filterType == kFilterAll || filterType == kFilterRasterDatasets) {
                    entry.DataType = dtRasterDataset;
                    entry.DataTypeDesc = desc::kRasterDataset;
                }
            } else {
                continue; // tables and the like are not listed
            }
            step(108);
            items.push_back(std::move(entry));
        }
        step(109);
        return UpperBound(items);
    } catch (...) {
        step.Report();
        return 0;
    }
}

long GetCadFiles(Platform& p, const std::string& cadPath, DataItems& items, std::int16_t filterType) {
    Steps step(p, "Marbrook.basOpenDialogs.GetCadFiles:");
    try {
        step(100);
        if (filterType != kFilterAll && filterType != kFilterGeo && filterType != kFilterRasterDatasets) return 0;
        step(101);
        const std::string fileName = text::FileNamePart(cadPath);
        const std::string folder = text::ParentFolder(cadPath);
        step(102);
        const auto workspace = OpenFromFile(p, gis::FactoryKind::Cad, folder);
        step(103);
        gis::DatasetNamePtr drawing;
        for (const auto& name : workspace->ListDatasetNames(gis::kind::kFeatureDataset)) {
            if (name->Name() == fileName) {
                drawing = name;
                break;
            }
        }
        step(104);
        if (!drawing) return 0;
        step(105);
        if (items.empty()) items.emplace_back();
        step(106);
        const bool classify = filterType == kFilterAll || filterType == kFilterGeo;
        for (const auto& member : drawing->SubsetNames()) {
            step(107);
            if (member->Kind() != gis::kind::kFeatureClass) continue;
            DataItem entry;
            entry.DataLocation = dlPersonalGdb;
            entry.DataName = text::SanitizeUtf8(member->Name());
            entry.DataFullName = cadPath;
            entry.pDataSetObj = member;
            if (classify) {
                // Classified, a drawing's multipatch class is not offered: no
                // layer can be made of it. Under the raster filter every
                // member stays unclassified, the multipatch one included.
                step(108);
                const gis::FeatureClassDetails details = gis::RequireDetails(*member);
                if (details.featureKind == gis::feature::kSimple && details.shapeKind == gis::shape::kMultiPatch) continue;
                entry.DataType = Classify(details, Store::Cad);
                entry.DataTypeDesc = desc::kCadFeatureClass;
            }
            step(109);
            items.push_back(std::move(entry));
        }
        step(110);
        return UpperBound(items);
    } catch (...) {
        step.Report();
        return 0;
    }
}

gis::DatasetNamePtr GetCADFilesDatasetName(Platform& p, const std::string& folderPath, const std::string& drawingName,
                                           gis::WindowHandle parent) {
    Steps step(p, "Marbrook.basOpenDialogs.GetCADFilesDatasetName:");
    try {
        step(100);
        const auto workspace = OpenByDatabase(p, gis::FactoryKind::Cad, folderPath, parent);
        step(101);
        for (const auto& name : workspace->ListDatasetNames(gis::kind::kFeatureDataset)) {
            step(102);
            if (name->Name() == drawingName) return name;
        }
        return nullptr;
    } catch (...) {
        step.Report();
        return nullptr;
    }
}

std::vector<gis::DatasetNamePtr> GetDataFiles(Platform& p, const std::string& folderPath) {
    Steps step(p, "Marbrook.basOpenDialogs.GetDataFiles:");
    try {
        step(100);
        const auto workspace = OpenFromFile(p, gis::FactoryKind::DataFile, folderPath);
        step(101);
        std::vector<gis::DatasetNamePtr> names;
        for (auto& name : workspace->ListDatasetNames(gis::kind::kAny)) {
            step(102);
            const int k = name->Kind();
            if (k == gis::kind::kStore || k == gis::kind::kFeatureClass) names.push_back(std::move(name));
        }
        return names;
    } catch (...) {
        step.Report();
        return {};
    }
}

std::optional<std::pair<std::int16_t, std::string>> StoreTypeOf(const gis::DatasetName& name) {
    if (name.Kind() != gis::kind::kStore) return std::nullopt;
    switch (name.StoreKind()) {
    case gis::store::kFileGeodatabase: return std::make_pair(std::int16_t{dtFileGeodatabase}, std::string(desc::kFileGeodatabase));
    case gis::store::kGeoPackage: return std::make_pair(std::int16_t{dtGeoPackage}, std::string(desc::kGeoPackage));
    case gis::store::kSpatiaLite: return std::make_pair(std::int16_t{dtSpatiaLite}, std::string(desc::kSpatiaLite));
    case gis::store::kVectorFile: return std::make_pair(std::int16_t{dtVectorFile}, std::string(desc::kVectorFile));
    case gis::store::kRasterFile: return std::make_pair(std::int16_t{dtMultiRasterFile}, std::string(desc::kMultiRasterFile));
    default: return std::nullopt;
    }
}

} // namespace marbrook
