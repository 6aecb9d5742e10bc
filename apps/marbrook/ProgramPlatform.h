#pragma once
// The platform the program's listing commands run on: the library's GIS and
// system services, and a user interface that never shows a window. A command
// must not wait for ever on a box nobody sees: what the library would show is
// kept, and the command prints it and fails.
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/HeadlessUi.h"
#include "platform/platform.h"

namespace marbrook::cli {

// Shows nothing: a message box is kept, a form cannot be shown.
class QuietUi final : public headless::HeadlessUi {
public:
    QuietUi() : HeadlessUi("the marbrook program shows no window here") {}
};

// The library's GIS services, remembering the workspace factories handed out
// so that the reason a connection did not open can be asked afterwards.
class WatchedGis final : public gis::GisService {
public:
    explicit WatchedGis(gis::GisService& inner) : inner_(inner) {}

    gis::PropertySetPtr CreatePropertySet() override { return inner_.CreatePropertySet(); }
    gis::WorkspaceFactoryPtr CreateWorkspaceFactory(gis::FactoryKind kind) override;
    gis::DatasetPtr OpenName(const gis::DatasetName& name) override { return inner_.OpenName(name); }
    gis::CadDrawingDatasetPtr OpenCadDrawingDataset(gis::Workspace& workspace, const std::string& name) override {
        return inner_.OpenCadDrawingDataset(workspace, name);
    }
    gis::FeatureLayerPtr NewFeatureLayer(gis::LayerKind kind) override { return inner_.NewFeatureLayer(kind); }
    gis::RasterLayerPtr NewRasterLayer() override { return inner_.NewRasterLayer(); }
    gis::CadLayerPtr NewCadLayer() override { return inner_.NewCadLayer(); }
    gis::MapPtr NewMap() override { return inner_.NewMap(); }
    gis::MapLayerServicePtr CreateMapLayerService() override { return inner_.CreateMapLayerService(); }

    // Why the latest workspace that did not open gave none ("" when none
    // said so). Never holds a password.
    [[nodiscard]] std::string LastOpenFailure() const;
    void Forget() { factories_.clear(); }

private:
    gis::GisService& inner_;
    std::vector<gis::WorkspaceFactoryPtr> factories_;
};

// The quiet platform over the library's default one.
class ProgramPlatform {
public:
    ProgramPlatform();
    Platform& Get() noexcept { return platform_; }
    QuietUi& Ui() noexcept { return ui_; }
    WatchedGis& Gis() noexcept { return gis_; }

    // What the library told the user since the last Forget(): the reason a
    // connection gave, else the last message; "" when it said nothing.
    [[nodiscard]] std::string Told() const;
    void Forget();

private:
    QuietUi ui_;
    WatchedGis gis_;
    Platform platform_;
};

} // namespace marbrook::cli
