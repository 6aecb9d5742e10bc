#pragma once
// The library's public class: asks the user for data and returns it as ready
// layers, adds those layers to a map, and re-points or disconnects existing
// feature layers.
#include <optional>
#include <string>
#include <variant>

#include "marbrook_export.h"
#include "platform/gis.h"
#include "platform/object.h"
#include "platform/ui.h"

namespace marbrook {
struct Platform;

class MARBROOK_EXPORT CLayerFunctionExport {
public:
    // Empty, a text, or an object reference; AddLayerForMap returns it empty.
    using Variant = std::variant<std::monostate, std::string, ObjectPtr>;

    // Uses the platform of the shared library (GDAL, Qt, POSIX).
    CLayerFunctionExport();
    // Uses the given platform (tests, embedding); it must outlive the object.
    explicit CLayerFunctionExport(Platform& platform) noexcept : platform_(platform) {}

    // Shows the data browser over `pFarentHWnd` and returns the chosen data
    // as layers in group order (annotation, point, line, polygon and CAD,
    // raster). None when the user cancels or anything fails; an empty
    // collection when the chosen data makes no layer.
    std::optional<Collection> GetLayersByDlg(ui::WindowHandle pFarentHWnd, bool pIsMultiSelect,
                                             const std::string& pPath = {}) noexcept;

    // Asks as GetLayersByDlg does and hands each layer to the map-layer
    // service, the last one first. Always returns the empty variant.
    Variant AddLayerForMap(const gis::MapPtr& pMap, ui::WindowHandle pFatherWnd, const std::string& pPath = {},
                           bool pIsMultiSelect = true) noexcept;

    // Re-points `pFLayer` to `pNewDatasetName`, or disconnects it when that
    // is none, writing one report line into `pTextCtl` when given.
    bool ResetLayerSource(const gis::LayerPtr& pFLayer, const gis::DatasetNamePtr& pNewDatasetName = nullptr,
                          ui::TextControl* pTextCtl = nullptr) noexcept;

    // Disconnects `pOriFLayer` (pIsConnect false), reconnects it to its own
    // source (no new name), or re-points it to `pNewDatasetName`. False when
    // the layer could not be connected.
    bool SetFLayerSource(bool pIsConnect, const gis::LayerPtr& pOriFLayer,
                         const gis::DatasetNamePtr& pNewDatasetName) noexcept;

private:
    Platform& platform_;
};

} // namespace marbrook
