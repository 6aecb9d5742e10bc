// The connection-file folder, the user's name and the gathering of the
// selected list entries.
#include "catalogue/basOpenDialogs.h"
#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Text.h"

namespace marbrook {

namespace {
// The GIS platform's own per-user connection folder lives under a fixed root;
// for a user whose home is elsewhere the candidate never exists.
constexpr const char* kProfileRoot = "/home";
constexpr const char* kProfileConnectionFolder = ".config/ESRI/ArcCatalog";
constexpr const char* kFallbackFolder = "SdeData";
} // namespace

std::string GetCurrentUserName(Platform& p) {
    std::string name;
    IgnoreFailure([&] { name = text::Trim(p.system.UserName()); });
    return name;
}

std::string InitSDEDataPath(Platform& p) {
    Steps step(p, "Marbrook.basOpenDialogs.InitSDEDataPath:");
    std::string result;
    try {
        step(100);
        const std::string library = p.system.Library().folder;
        result = text::JoinPath(library, kFallbackFolder);
        step(101);
        const std::string user = GetCurrentUserName(p);
        step(102);
        if (user.empty()) return result;
        step(103);
        const std::string candidate = text::JoinPath(text::JoinPath(kProfileRoot, user), kProfileConnectionFolder);
        if (p.system.FolderExists(candidate)) return candidate;
        step(104);
        result = text::JoinPath(library, kFallbackFolder);
        if (!p.system.FolderExists(result)) {
            step(105);
            try {
                p.system.CreateFolder(result);
            } catch (...) {
                return library;
            }
        }
        step(106);
    } catch (...) {
        step.Report();
    }
    return result;
}

std::string SdeDataPathCandidate(Platform& p) {
    std::string fallback;
    IgnoreFailure([&] { fallback = text::JoinPath(p.system.Library().folder, kFallbackFolder); });
    const std::string user = GetCurrentUserName(p);
    if (user.empty()) return fallback;
    const std::string candidate = text::JoinPath(text::JoinPath(kProfileRoot, user), kProfileConnectionFolder);
    return p.system.FolderExists(candidate) ? candidate : fallback;
}

long GetSelFilesInfos(Platform& p, DataItems& selected, const ui::ListView& listView, const DataItems& items) {
    Steps step(p, "Marbrook.basOpenDialogs.GetSelFilesInfos:");
    try {
        step(100);
        p.ui.SetMousePointer(ui::MousePointer::Hourglass);
        step(101);
        selected.assign(1, DataItem{});
        long count = 0;
        step(102);
        for (const auto& item : listView.Items()) {
            if (!item.selected) continue;
            step(103);
            const DataItem& source = items.at(static_cast<std::size_t>(item.tag));
            ++count;
            selected.push_back(source);
        }
        step(104);
        p.ui.SetMousePointer(ui::MousePointer::Default);
        return count;
    } catch (...) {
        step.Report();
        IgnoreFailure([&] { p.ui.SetMousePointer(ui::MousePointer::Default); });
        return 0;
    }
}

} // namespace marbrook
