#include "interface/ComponentServer.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "interface/CLayerFunctionExport.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Text.h"

namespace marbrook::component {

namespace {

std::atomic<long> gLiveObjects{0};

class LayerFunctionComponent final : public ILayerFunctionExport {
public:
    explicit LayerFunctionComponent(Platform& platform) : platform_(platform), impl_(platform) { ++gLiveObjects; }
    LayerFunctionComponent(const LayerFunctionComponent&) = delete;
    LayerFunctionComponent& operator=(const LayerFunctionComponent&) = delete;

    std::optional<Collection> GetLayersByDlg(ui::WindowHandle pFarentHWnd, bool pIsMultiSelect,
                                             const std::string& pPath) noexcept override {
        return impl_.GetLayersByDlg(pFarentHWnd, pIsMultiSelect, pPath);
    }
    void AddLayerForMap(const gis::MapPtr& pMap, ui::WindowHandle pFatherWnd, const std::string& pPath,
                        bool pIsMultiSelect) noexcept override {
        impl_.AddLayerForMap(pMap, pFatherWnd, pPath, pIsMultiSelect);
    }
    bool ResetLayerSource(const gis::LayerPtr& pFLayer, const gis::DatasetNamePtr& pNewDatasetName,
                          ui::TextControl* pTextCtl) noexcept override {
        return impl_.ResetLayerSource(pFLayer, pNewDatasetName, pTextCtl);
    }
    bool SetFLayerSource(bool pIsConnect, const gis::LayerPtr& pOriFLayer,
                         const gis::DatasetNamePtr& pNewDatasetName) noexcept override {
        return impl_.SetFLayerSource(pIsConnect, pOriFLayer, pNewDatasetName);
    }
    gis::MapPtr NewMap() noexcept override {
        Steps step(platform_, "Marbrook.CLayerFunctionExport.NewMap:");
        try {
            step(100);
            return platform_.gis.NewMap();
        } catch (...) {
            step.Report();
            return nullptr;
        }
    }
    void AddRef() noexcept override { ++refs_; }
    void Release() noexcept override {
        if (--refs_ == 0) delete this;
    }

private:
    ~LayerFunctionComponent() { --gLiveObjects; }

    Platform& platform_;
    CLayerFunctionExport impl_;
    std::atomic<long> refs_{1};
};

std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return text::JoinPath(xdg, "marbrook");
    const char* home = std::getenv("HOME");
    return text::JoinPath(text::JoinPath(home && *home ? home : "/tmp", ".config"), "marbrook");
}

} // namespace

int CreateObject(Platform& platform, const char* className, void** object) noexcept {
    if (object == nullptr) return kInvalidArgument;
    *object = nullptr;
    if (className == nullptr) return kInvalidArgument;
    if (std::strcmp(className, kLayerFunctionClass) != 0) return kClassNotAvailable;
    Steps step(platform, "Marbrook.ComponentEntry.DllGetClassObject:");
    try {
        step(100);
        ILayerFunctionExport* created = new LayerFunctionComponent(platform);
        *object = created;
        return kOk;
    } catch (...) {
        step.Report();
        return kFailed;
    }
}

long LiveObjects() noexcept { return gLiveObjects.load(); }

std::string RegistrationFile() { return text::JoinPath(ConfigFolder(), "marbrook.component"); }

int RegisterServer(Platform& platform) noexcept {
    Steps step(platform, "Marbrook.ComponentEntry.DllRegisterServer:");
    try {
        step(100);
        const std::string folder = ConfigFolder();
        if (!platform.system.FolderExists(folder)) platform.system.CreateFolder(folder);
        step(101);
        const auto lib = platform.system.Library();
        const std::string file = RegistrationFile();
        const std::string version =
            std::to_string(lib.major) + "." + std::to_string(lib.minor) + "." + std::to_string(lib.revision);
        step(102);
        platform.system.WriteProfileString(file, kLayerFunctionClass, "Description", kDescription);
        platform.system.WriteProfileString(file, kLayerFunctionClass, "Library",
                                           text::JoinPath(lib.folder, lib.baseName + ".so"));
        platform.system.WriteProfileString(file, kLayerFunctionClass, "Version", version);
        platform.system.WriteProfileString(file, kLayerFunctionClass, "EntryPoint", "DllGetClassObject");
        return kOk;
    } catch (...) {
        step.Report();
        return kFailed;
    }
}

int UnregisterServer(Platform& platform) noexcept {
    Steps step(platform, "Marbrook.ComponentEntry.DllUnregisterServer:");
    try {
        step(100);
        std::error_code ec;
        std::filesystem::remove(RegistrationFile(), ec); // absent already: nothing to undo
        if (ec) throw std::filesystem::filesystem_error("cannot remove the registration file", RegistrationFile(), ec);
        return kOk;
    } catch (...) {
        step.Report();
        return kFailed;
    }
}

} // namespace marbrook::component
