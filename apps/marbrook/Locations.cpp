#include "Locations.h"

#include <algorithm>
#include <map>
#include <vector>

#include "ProgramPlatform.h"
#include "connections/DatabaseListings.h"
#include "interface/CLayerFunctionExport.h"
#include "interface/DataSourceType.h"
#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Globals.h"
#include "support/Text.h"

namespace marbrook::cli {

namespace {

constexpr std::string_view kSeparator = "::";

bool HasExtension(const std::string& path, const char* upper) {
    return text::UpperAscii(text::ExtensionPart(path)) == upper;
}

// Whether `path` is a store listed like a personal geodatabase: a .mdb file,
// or a store that the listing of its folder shows as one (a GeoPackage, a
// file geodatabase folder, a netCDF file ...).
bool IsStore(Platform& p, const std::string& path) {
    const bool folder = p.system.FolderExists(path);
    if (HasExtension(path, "MDB")) return !folder;
    if (!folder && !p.system.FileExists(path)) return false;
    // The only folders that are stores are file geodatabases: any other
    // folder is listed without looking at its parent.
    if (folder && !HasExtension(path, "GDB")) return false;
    std::string parent = text::ParentFolder(path);
    if (parent.empty()) parent = ".";
    const std::string name = text::FileNamePart(path);
    const auto names = GetDataFiles(p, parent + (parent.back() == '/' ? "" : "/"));
    return std::any_of(names.begin(), names.end(),
                       [&](const gis::DatasetNamePtr& n) { return n->Kind() == gis::kind::kStore && n->Name() == name; });
}

bool IsDatabaseFile(Platform& p, const std::string& path) { return HasExtension(path, "SDE") || IsStore(p, path); }

// "FILE.sde::DATASET" or "FILE.mdb::DATASET" (or any other store): the file
// and the dataset, split at the first "::" that follows such a file name.
std::optional<std::pair<std::string, std::string>> SplitDatasetLocation(Platform& p, const std::string& location) {
    for (auto pos = location.find(kSeparator); pos != std::string::npos; pos = location.find(kSeparator, pos + 1)) {
        const std::string file = location.substr(0, pos);
        if (IsDatabaseFile(p, file)) return std::make_pair(file, location.substr(pos + kSeparator.size()));
    }
    return std::nullopt;
}

long ListRoot(Platform& p, DataItems& items) {
    long count = GetLocalDrives4Datalist(p, items);
    items.resize(static_cast<std::size_t>(std::max(count, 0L)) + 1);
    try {
        giDataSourceType = DataSourceTypeFromText(p.system.GetSetting("QM_VERDANTA", "QM_DataSource", "Type").value_or("0"));
    } catch (...) {
        giDataSourceType = 0; // an unreadable setting offers no database root, as in the library
    }
    if (giDataSourceType == 1) {
        items.push_back(DatabaseRootItem(InitSDEDataPath(p)));
        count = static_cast<long>(items.size()) - 1;
    }
    return count;
}

long ListWith(Platform& p, const std::string& location, DataItems& items, std::int16_t filter) {
    if (location == "--root") return ListRoot(p, items);
    if (location == "--connections") return GetSDEDataFile(p, InitSDEDataPath(p), items);
    if (const auto target = SplitDatasetLocation(p, location)) {
        const auto& [file, dataset] = *target;
        if (HasExtension(file, "SDE")) return OpenFeatureDatasetFromSDEEx(p, file, dataset, items, filter);
        return OpenFeatureDatasetFromPGeoDBEx(p, file, dataset, items, filter);
    }
    if (HasExtension(location, "SDE")) return OpenSdeConnectionEx(p, location, items, filter);
    if (IsStore(p, location)) {
        items.assign(1, DataItem{});
        return GetPGMdbFiles(p, location, items, filter);
    }
    if (!p.system.FolderExists(location)) {
        items.assign(1, DataItem{});
        // A drawing is opened through its folder: a bare name lies in the
        // current one.
        if (HasExtension(location, "DXF") || HasExtension(location, "DWG"))
            return GetCadFiles(p, location.find('/') == std::string::npos ? "./" + location : location, items, filter);
    }
    std::string folder = location;
    return GetSubFolderFiles(p, folder, items, filter);
}

// Whether the database file holds a feature dataset of exactly this name.
bool HasFeatureDataset(Platform& p, const std::string& file, const std::string& dataset) {
    DataItems top(1);
    const long count = HasExtension(file, "SDE") ? OpenSdeConnectionEx(p, file, top, 0) : GetPGMdbFiles(p, file, top, 0);
    top.resize(static_cast<std::size_t>(std::max(count, 0L)) + 1);
    return std::any_of(top.begin() + 1, top.end(),
                       [&](const DataItem& e) { return e.DataType == dtFeatureDataset && e.DataName == dataset; });
}

std::vector<DataItem> Named(const DataItems& items, const std::string& name) {
    std::vector<DataItem> out;
    for (std::size_t i = 1; i < items.size(); ++i)
        if (items[i].DataName == name) out.push_back(items[i]);
    return out;
}

// The entries named by `name` inside a database file: a top-level name, or
// a member of a feature dataset written DATASET/NAME or DATASET::NAME. Every
// reading is tried, so that a name holding "/" is found as well.
std::vector<DataItem> DatabaseEntries(ProgramPlatform& program, const std::string& file, const std::string& name,
                                      std::string& error) {
    DataItems top(1);
    const Listing listed = ListLocation(program, file, top, 0);
    if (listed.failed) {
        error = listed.reason;
        return {};
    }
    std::vector<DataItem> found = Named(top, name);
    std::map<std::string, DataItems> members; // listed once per dataset
    for (std::string_view separator : {std::string_view("/"), kSeparator}) {
        for (auto pos = name.find(separator); pos != std::string::npos; pos = name.find(separator, pos + 1)) {
            const std::string dataset = name.substr(0, pos);
            const bool isDataset = std::any_of(top.begin() + 1, top.end(), [&](const DataItem& e) {
                return e.DataType == dtFeatureDataset && e.DataName == dataset;
            });
            if (!isDataset) continue;
            auto [it, fresh] = members.try_emplace(dataset, DataItems(1));
            if (fresh) {
                const Listing inside = ListLocation(program, file + std::string(kSeparator) + dataset, it->second, 0);
                if (inside.failed) {
                    error = inside.reason;
                    return {};
                }
            }
            for (DataItem& e : Named(it->second, name.substr(pos + separator.size()))) found.push_back(std::move(e));
        }
    }
    return found;
}

} // namespace

Listing ListLocation(ProgramPlatform& program, const std::string& location, DataItems& items, std::int16_t filter) {
    Platform& p = program.Get();
    program.Forget();
    Listing out;
    FailureWatch watch;
    out.count = std::max(ListWith(p, location, items, filter), 0L);
    items.resize(static_cast<std::size_t>(out.count) + 1);
    // An empty feature dataset lists nothing, and so does a name that is
    // none: the program tells them apart.
    bool missing = false;
    if (const auto target = SplitDatasetLocation(p, location); target && out.count == 0 && !watch.Failed() &&
                                                              program.Ui().messages.empty())
        missing = !HasFeatureDataset(p, target->first, target->second);
    // A failure is known from the listing itself: its failure path ran, or it
    // told the user that nothing opened.
    if (watch.Failed() || !program.Ui().messages.empty()) {
        out.failed = true;
        if (watch.First()) out.reason = watch.First()->error.description;
        if (out.reason.empty()) out.reason = program.Told();
        if (out.reason.empty()) out.reason = "the listing failed";
    } else if (missing) {
        const auto target = SplitDatasetLocation(p, location);
        out.failed = true;
        out.reason = "no such dataset \"" + target->second + "\" in " + target->first;
    }
    return out;
}

ResolvedItem ResolveItem(ProgramPlatform& program, const std::string& item) {
    Platform& p = program.Get();
    std::string location;
    std::string name;
    bool split = false;
    for (auto pos = item.find(kSeparator); pos != std::string::npos && !split; pos = item.find(kSeparator, pos + 1)) {
        location = item.substr(0, pos);
        split = !location.empty() && (p.system.FolderExists(location) || p.system.FileExists(location));
        if (split) name = item.substr(pos + kSeparator.size());
    }
    if (!split) {
        if (item.find(kSeparator) != std::string::npos)
            return {std::nullopt, "no folder or file to look in (write LOCATION::NAME)"};
        // The path of a dataset: its folder and its name there.
        location = text::ParentFolder(item);
        if (location.empty()) location = ".";
        name = text::FileNamePart(item);
    }
    if (name.empty()) return {std::nullopt, "no name after the location"};

    std::vector<DataItem> found;
    std::string error;
    if (IsDatabaseFile(p, location)) {
        found = DatabaseEntries(program, location, name, error);
    } else {
        DataItems items(1);
        const Listing listed = ListLocation(program, location, items, 0);
        if (listed.failed) error = listed.reason;
        else found = Named(items, name);
    }
    if (!error.empty()) return {std::nullopt, location + " cannot be listed: " + error};
    if (found.empty()) return {std::nullopt, "no dataset \"" + name + "\" in " + location};
    // A name may be listed twice (a grid is a folder and a raster): the entry
    // that makes layers is meant.
    std::vector<DataItem> layered;
    for (const DataItem& e : found)
        if (LayerTypeOf(e.DataType)) layered.push_back(e);
    if (layered.size() > 1)
        return {std::nullopt, "\"" + name + "\" names " + std::to_string(layered.size()) + " datasets in " + location};
    return {layered.empty() ? found.front() : layered.front(), {}};
}

} // namespace marbrook::cli
