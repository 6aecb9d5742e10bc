#include "interface/CLayerFunctionExport.h"

#include <memory>

#include "catalogue/basOpenDialogs.h"
#include "interface/COpenLayerDlg.h"
#include "interface/DataSourceType.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Globals.h"

namespace marbrook {

namespace {

constexpr const char* kSource = "Marbrook";
constexpr const char* kCrLf = "\r\n";

constexpr const char* kLineStart = "修改【";
constexpr const char* kLineEmptySource = "】数据源为空，因为目标数据库中不存在该图层。";
constexpr const char* kLineSuccess = "】数据源成功！";
constexpr const char* kLineFailure = "】数据源失败！原因：";

[[noreturn]] void ObjectNotSet(const char* what) {
    throw PlatformError(errnum::kObjectNotSet, kSource, std::string("Object variable not set: ") + what);
}

// One report line, written in one assignment so that it lands at the caret
// as a whole.
void WriteLine(ui::TextControl& control, const gis::Layer& layer, const char* second, const std::string& tail = {}) {
    control.SetSelText(kLineStart + layer.Name() + second + tail + kCrLf);
}

// Connects `layer` to `name`; a connection that does not take is a failure
// the caller must hear of.
void ConnectOrFail(gis::DataLayer& layer, const gis::DatasetName& name) {
    if (!layer.Connect(name)) {
        std::string what;
        IgnoreFailure([&] { what = name.Name(); });
        throw PlatformError(errnum::kAutomationError, kSource, "the layer could not be connected to its data source '" + what + "'");
    }
}

} // namespace

std::optional<Collection> CLayerFunctionExport::GetLayersByDlg(ui::WindowHandle pFarentHWnd, bool pIsMultiSelect,
                                                               const std::string& pPath) noexcept {
    Steps step(platform_, "Marbrook.CLayerFunctionExport.GetLayersByDlg:");
    std::optional<Collection> result;
    std::unique_ptr<COpenLayerDlg> dialog;
    try {
        step(100);
        giDataSourceType = DataSourceTypeFromText(
            platform_.system.GetSetting("QM_VERDANTA", "QM_DataSource", "Type").value_or("0"));
        step(101);
        dialog = std::make_unique<COpenLayerDlg>(platform_);
        step(102);
        dialog->Title("打开对话框");
        step(103);
        dialog->ButtonCaption("打开(&A)");
        step(104);
        dialog->AllowMultiSelect(pIsMultiSelect);
        step(105);
        dialog->StartingLocation(pPath);
        step(106);
        dialog->DataName(std::string("test"));
        step(107);
        dialog->FilterType(0);
        step(108);
        Collection chosen;
        // The layers are made while the user still sees the dialog: a choice
        // of which nothing becomes a layer keeps it open, and the user hears
        // which items gave no layer and why.
        std::optional<Collection> layers;
        dialog->AddCheck([this, &layers](Collection& choice) {
            Collection built = choice;
            if (!AddChosenLayers(platform_, built)) return false;
            layers = std::move(built);
            return true;
        });
        step(109);
        if (dialog->DoModalOpen(pFarentHWnd, chosen)) {
            step(110);
            if (layers || AddLayersBySort(platform_, chosen)) {
                step(111);
                result = layers ? std::move(*layers) : std::move(chosen);
            }
        }
        step(112);
        dialog.reset();
    } catch (...) {
        result.reset();
        step.Report();
    }
    return result;
}

CLayerFunctionExport::Variant CLayerFunctionExport::AddLayerForMap(const gis::MapPtr& pMap, ui::WindowHandle pFatherWnd,
                                                                   const std::string& pPath, bool pIsMultiSelect) noexcept {
    Steps step(platform_, "Marbrook.CLayerFunctionExport.AddLayerForMap:");
    try {
        step(100);
        const std::optional<Collection> layers = GetLayersByDlg(pFatherWnd, pIsMultiSelect, pPath);
        step(101);
        if (layers) {
            step(102);
            if (layers->Count() > 0) {
                gis::MapLayerServicePtr service;
                for (long i = layers->Count(); i >= 1; --i) {
                    step(103);
                    const auto layer = layers->ItemAs<gis::Layer>(i);
                    if (!layer) throw PlatformError(errnum::kTypeMismatch, kSource, "Type mismatch: the item is not a layer");
                    step(104);
                    if (!service) service = platform_.gis.CreateMapLayerService();
                    if (!service) ObjectNotSet("no map-layer service");
                    if (!pMap) ObjectNotSet("no map");
                    service->InsertLayer(nullptr, *pMap, layer);
                }
            }
        }
    } catch (...) {
        step.Report();
    }
    return Variant{};
}

bool CLayerFunctionExport::ResetLayerSource(const gis::LayerPtr& pFLayer, const gis::DatasetNamePtr& pNewDatasetName,
                                            ui::TextControl* pTextCtl) noexcept {
    Steps step(platform_, "Marbrook.CLayerFunctionExport.ResetLayerSource:");
    bool result = false;
    try {
        step(100);
        if (!pFLayer) return false;
        step(101);
        gis::DataLayer& dataLayer = gis::AsDataLayer(*pFLayer);
        step(102);
        if (!pNewDatasetName) {
            step(103);
            if (!pFLayer->Valid()) return false;
            step(104);
            dataLayer.Disconnect();
            step(105);
            result = true;
            step(106);
            if (pTextCtl) WriteLine(*pTextCtl, *pFLayer, kLineEmptySource);
        } else {
            step(107);
            if (pFLayer->Valid()) dataLayer.Disconnect();
            step(108);
            const gis::DatasetNamePtr current = dataLayer.DataSourceName();
            step(110);
            if (!current) ObjectNotSet("the layer has no data-source name");
            current->SetWorkspaceName(pNewDatasetName->GetWorkspaceName());
            step(111);
            current->SetName(pNewDatasetName->Name());
            step(112);
            (void)dataLayer.Connect(*pNewDatasetName);
            step(113);
            const gis::DatasetPtr dataset = platform_.gis.OpenName(*pNewDatasetName);
            step(114);
            const gis::FeatureClassPtr featureClass = gis::AsFeatureClass(dataset);
            step(115);
            pFLayer->SetName(featureClass->AliasName());
            step(116);
            result = true;
            step(117);
            if (pTextCtl) WriteLine(*pTextCtl, *pFLayer, kLineSuccess);
        }
    } catch (...) {
        if (pTextCtl) {
            const ErrorInfo failure = DescribeCurrentException();
            IgnoreFailure([&] { WriteLine(*pTextCtl, *pFLayer, kLineFailure, failure.description); });
        }
        step.Report();
    }
    return result;
}

bool CLayerFunctionExport::SetFLayerSource(bool pIsConnect, const gis::LayerPtr& pOriFLayer,
                                           const gis::DatasetNamePtr& pNewDatasetName) noexcept {
    Steps step(platform_, "Marbrook.CLayerFunctionExport.SetFLayerSource:");
    bool result = false;
    try {
        step(100);
        gis::DataLayer* dataLayer = pOriFLayer ? &gis::AsDataLayer(*pOriFLayer) : nullptr;
        step(101);
        if (!dataLayer) return false;
        step(102);
        if (!pIsConnect) {
            step(103);
            dataLayer->Disconnect();
            result = true;
            return result;
        }
        step(104);
        const gis::DatasetNamePtr current = dataLayer->DataSourceName();
        step(105);
        if (!pNewDatasetName) {
            // Reconnecting to its own source: the layer is only usable when
            // that connection takes.
            step(106);
            if (!current) ObjectNotSet("the layer has no data-source name");
            ConnectOrFail(*dataLayer, *current);
            result = true;
            return result;
        }
        step(107);
        if (pOriFLayer->Valid()) dataLayer->Disconnect();
        step(108);
        if (!current) ObjectNotSet("the layer has no data-source name");
        current->SetWorkspaceName(pNewDatasetName->GetWorkspaceName());
        step(109);
        current->SetName(pNewDatasetName->Name());
        step(110);
        ConnectOrFail(*dataLayer, *pNewDatasetName);
        // What follows only dresses the layer: a failure there leaves a
        // connected layer and is passed over.
        gis::FeatureClassPtr featureClass;
        IgnoreFailure([&] { featureClass = gis::AsFeatureClass(platform_.gis.OpenName(*pNewDatasetName)); });
        IgnoreFailure([&] {
            if (featureClass) pOriFLayer->SetName(featureClass->AliasName());
        });
        IgnoreFailure([&] {
            if (auto* featureLayer = dynamic_cast<gis::FeatureLayer*>(pOriFLayer.get())) featureLayer->SetSelectable(true);
        });
        result = true;
    } catch (...) {
        result = false;
        step.Report();
    }
    return result;
}

} // namespace marbrook
