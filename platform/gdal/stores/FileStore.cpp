// The parts every file store shares.
#include "platform/gdal/detail/FileStore.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <system_error>

namespace marbrook::gdal {

namespace fs = std::filesystem;

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

std::string UpperExt(std::string_view name) { return UpperAscii(ExtensionPart(name)); }

namespace {

// The bytes of an extension of up to eight bytes as one number; an
// extension holds no NUL byte, so shorter ones never meet longer ones.
std::uint64_t Packed(std::string_view ext) noexcept {
    std::uint64_t v = 0;
    for (const char c : ext) v = v << 8 | static_cast<unsigned char>(UpperAscii(c));
    return v << (8 * (8 - ext.size()));
}

// The slot a packed extension starts its search at, in a table of 256.
std::size_t SlotOf(std::uint64_t key) noexcept { return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 56); }

} // namespace

ExtensionSet::ExtensionSet(std::initializer_list<std::string_view> upperExts) : slots_(256, 0) {
    for (const std::string_view ext : upperExts) {
        if (ext.empty()) continue;
        if (ext.size() > 8) {
            long_.push_back(ext);
            continue;
        }
        const std::uint64_t key = Packed(ext);
        std::size_t at = SlotOf(key);
        while (slots_[at] != 0 && slots_[at] != key) at = (at + 1) % slots_.size();
        slots_[at] = key;
    }
}

ExtensionSet::ExtensionSet(std::initializer_list<std::string_view> upperExts, const ExtensionSet& more)
    : ExtensionSet(upperExts) {
    for (const std::uint64_t key : more.slots_) {
        if (key == 0) continue;
        std::size_t at = SlotOf(key);
        while (slots_[at] != 0 && slots_[at] != key) at = (at + 1) % slots_.size();
        slots_[at] = key;
    }
    long_.insert(long_.end(), more.long_.begin(), more.long_.end());
}

bool ExtensionSet::HoldsPacked(std::uint64_t key) const noexcept {
    // Never more than half full: a search ends at an empty slot soon.
    for (std::size_t at = SlotOf(key);; at = (at + 1) % slots_.size()) {
        if (slots_[at] == key) return true;
        if (slots_[at] == 0) return false;
    }
}

bool ExtensionSet::Contains(std::string_view upperExt) const noexcept {
    if (upperExt.empty()) return false;
    if (upperExt.size() > 8) return std::find(long_.begin(), long_.end(), upperExt) != long_.end();
    return HoldsPacked(Packed(upperExt));
}

bool ExtensionSet::HoldsExtensionOf(std::string_view name) const noexcept {
    const std::string_view ext = ExtensionPart(name);
    if (ext.empty()) return false;
    if (ext.size() <= 8) return HoldsPacked(Packed(ext));
    return std::any_of(long_.begin(), long_.end(), [ext](std::string_view upper) {
        if (upper.size() != ext.size()) return false;
        for (std::size_t i = 0; i < ext.size(); ++i)
            if (UpperAscii(ext[i]) != upper[i]) return false;
        return true;
    });
}

std::string_view ExtensionPart(std::string_view name) noexcept {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string NormalFolder(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool HasExtensionCi(std::string_view file, std::string_view upperExt) noexcept {
    if (file.size() < upperExt.size() + 2 || file[file.size() - upperExt.size() - 1] != '.') return false;
    const std::string_view tail = file.substr(file.size() - upperExt.size());
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (UpperAscii(tail[i]) != upperExt[i]) return false;
    }
    return true;
}

void RequireFolder(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) throw PlatformError(errnum::kPathNotFound, kGdalSource, "no folder " + folder);
}

WorkspaceNamePtr WsName(FactoryKind kind, const std::string& path) { return std::make_shared<gis::WorkspaceName>(kind, path); }

bool ListsKind(int wanted, int kind) {
    if (wanted == gis::kind::kAny) return true;
    if (wanted == gis::kind::kGeo)
        return kind == gis::kind::kFeatureDataset || kind == gis::kind::kFeatureClass ||
               kind == gis::kind::kRasterDataset || kind == gis::kind::kRasterCatalog;
    return wanted == kind;
}

int CatalogueItemKind(std::string_view typeGuid) {
    std::string key;
    for (const char c : typeGuid)
        if (c != '{' && c != '}') key += UpperAscii(c);
    static const std::map<std::string, int, std::less<>> kinds = {
        {"74737149-DCB5-4257-8904-B9724E32A530", gis::kind::kFeatureDataset},
        {"70737809-852C-4A03-9E22-2CECEA5B9BFA", gis::kind::kFeatureClass},
        {"CD06BC3B-789D-4C51-AAFA-A467912B8965", gis::kind::kTable},
        {"5ED667A3-9CA9-44A2-8029-D95BF23704B9", gis::kind::kRasterDataset},
        {"35B601F7-45CE-4AFF-ADB7-7702D3839B12", gis::kind::kRasterCatalog},
    };
    const auto it = kinds.find(key);
    return it == kinds.end() ? 0 : it->second;
}

long long ReadEveryFeature(const std::vector<OGRLayer*>& layers, const std::string& path, bool askCount) {
    ErrorCapture capture;
    long long n = 0;
    for (OGRLayer* layer : layers) {
        (void)layer->GetSpatialRef();
        if (askCount) (void)layer->GetFeatureCount(TRUE);
        layer->ResetReading();
        while (std::unique_ptr<OGRFeature> f{layer->GetNextFeature()}) ++n;
        if (capture.HasError()) capture.Throw(errnum::kInvalidFileFormat, "cannot read " + path);
    }
    return n;
}

} // namespace marbrook::gdal
