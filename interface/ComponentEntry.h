#pragma once
// In-process hosting. A host loads libmarbrook.so with dlopen, looks up the
// C entry points below with dlsym and creates the library's objects by
// class name. What it gets is an interface of virtual operations only, so
// the host needs no link-time dependency on the library: every call goes
// through the object's table of operations into the loaded library.
//
//   using GetClassObjectFn = int (*)(const char*, void**);
//   auto create = reinterpret_cast<GetClassObjectFn>(dlsym(lib, "DllGetClassObject"));
//   void* p = nullptr;
//   if (create("Marbrook.CLayerFunctionExport", &p) == marbrook::component::kOk) {
//       auto* layers = static_cast<marbrook::ILayerFunctionExport*>(p);
//       ...
//       layers->Release();
//   }
#include <optional>
#include <string>

#include "marbrook_export.h"
#include "platform/gis.h"
#include "platform/object.h"
#include "platform/ui.h"

namespace marbrook {

// The public class's operations as a host reaches them (see
// CLayerFunctionExport for what each one does), plus the map a host needs to
// receive layers. Objects are counted: Release() drops the host's reference;
// the library may be unloaded once DllCanUnloadNow says so.
class ILayerFunctionExport {
public:
    virtual std::optional<Collection> GetLayersByDlg(ui::WindowHandle pFarentHWnd, bool pIsMultiSelect,
                                                     const std::string& pPath) noexcept = 0;
    virtual void AddLayerForMap(const gis::MapPtr& pMap, ui::WindowHandle pFatherWnd, const std::string& pPath,
                                bool pIsMultiSelect) noexcept = 0;
    virtual bool ResetLayerSource(const gis::LayerPtr& pFLayer, const gis::DatasetNamePtr& pNewDatasetName,
                                  ui::TextControl* pTextCtl) noexcept = 0;
    virtual bool SetFLayerSource(bool pIsConnect, const gis::LayerPtr& pOriFLayer,
                                 const gis::DatasetNamePtr& pNewDatasetName) noexcept = 0;
    // A new, empty map of the library's GIS platform; none on failure.
    virtual gis::MapPtr NewMap() noexcept = 0;
    virtual void AddRef() noexcept = 0;
    virtual void Release() noexcept = 0;

protected:
    ILayerFunctionExport() = default;
    ~ILayerFunctionExport() = default;
};

namespace component {

// Results of the entry points.
inline constexpr int kOk = 0;
inline constexpr int kFalse = 1;              // DllCanUnloadNow: objects are still alive
inline constexpr int kClassNotAvailable = -1; // no class of that name
inline constexpr int kInvalidArgument = -2;
inline constexpr int kFailed = -3;            // logged in the error log

inline constexpr const char* kLayerFunctionClass = "Marbrook.CLayerFunctionExport";
inline constexpr const char* kDescription = "Verdanta Layer Operation";

} // namespace component
} // namespace marbrook

// The entry points, with C linkage. Each returns one of the component::k*
// results and never throws.
extern "C" {
MARBROOK_EXPORT int DllGetClassObject(const char* className, void** object);
MARBROOK_EXPORT int DllCanUnloadNow(void);
MARBROOK_EXPORT int DllRegisterServer(void);
MARBROOK_EXPORT int DllUnregisterServer(void);
}
