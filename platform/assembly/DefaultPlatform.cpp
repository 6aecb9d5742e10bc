// Assembles the real platform of the library: GDAL for the GIS
// services, Qt for the user interface (a module loaded when a window is
// first needed), POSIX for the system.
#include "platform/assembly/DefaultPlatform.h"

#include <dlfcn.h>

#include <filesystem>
#include <memory>
#include <string>

#include "interface/CLayerFunctionExport.h"
#include "platform/error.h"
#include "platform/headless/HeadlessUi.h"
#include "platform/posix/PosixSystem.h"
#ifdef MARBROOK_HAVE_GDAL
#include "platform/gdal/GdalGis.h"
#endif
#ifdef MARBROOK_HAVE_QT
#include "platform/assembly/ToolkitUi.h"
#endif

namespace marbrook {

namespace {

class NoGis final : public gis::GisService {
public:
    gis::WorkspaceFactoryPtr CreateWorkspaceFactory(gis::FactoryKind) override { throw Missing(); }
    gis::DatasetPtr OpenName(const gis::DatasetName&) override { throw Missing(); }
    gis::CadDrawingDatasetPtr OpenCadDrawingDataset(gis::Workspace&, const std::string&) override { throw Missing(); }
    gis::FeatureLayerPtr NewFeatureLayer(gis::LayerKind) override { throw Missing(); }
    gis::RasterLayerPtr NewRasterLayer() override { throw Missing(); }
    gis::CadLayerPtr NewCadLayer() override { throw Missing(); }
    gis::MapPtr NewMap() override { throw Missing(); }
    gis::MapLayerServicePtr CreateMapLayerService() override { throw Missing(); }

private:
    static PlatformError Missing() {
        return {errnum::kNotSupported, "Marbrook", "this build of Marbrook has no GIS back end"};
    }
};

std::string& LibraryFile() {
    static std::string file;
    return file;
}

#ifdef MARBROOK_HAVE_QT
// The folder of the library the code stands for: the shared library it was
// loaded from, or the one a program carrying it named; else the program's.
std::string LibraryFolder() {
    std::string file = LibraryFile();
    Dl_info info{};
    if (file.empty() && ::dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) != 0 && info.dli_fname && *info.dli_fname)
        file = info.dli_fname;
    std::error_code ec;
    std::filesystem::path real = file.empty() ? std::filesystem::path{} : std::filesystem::canonical(file, ec);
    if (file.empty() || ec) real = std::filesystem::canonical("/proc/self/exe", ec);
    return ec ? std::string{} : real.parent_path().string();
}
#endif

struct Assembled {
    std::unique_ptr<gis::GisService> gis;
    std::unique_ptr<ui::UiService> ui;
    posix::PosixSystem system{LibraryFile()};
    Platform platform{*gis, *ui, system};

    static std::unique_ptr<gis::GisService> MakeGis() {
#ifdef MARBROOK_HAVE_GDAL
        return gdal::NewGdalGis();
#else
        return std::make_unique<NoGis>();
#endif
    }
    static std::unique_ptr<ui::UiService> MakeUi() {
#ifdef MARBROOK_HAVE_QT
        return std::make_unique<assembly::ToolkitUi>([] { return assembly::ToolkitModuleCandidates(LibraryFolder()); });
#else
        return std::make_unique<headless::HeadlessUi>(); // can tell, but not show
#endif
    }
    Assembled() : gis(MakeGis()), ui(MakeUi()) {}
};

} // namespace

void SetLibraryFile(std::string path) {
#ifdef MARBROOK_HAVE_GDAL
    gdal::StandForLibrary(path);
#endif
    LibraryFile() = std::move(path);
}

Platform& DefaultPlatform() {
    static Assembled assembled;
    return assembled.platform;
}

// Defined here, not beside the class, so that programs linking only the core
// (the unit tests) need none of the real back ends.
CLayerFunctionExport::CLayerFunctionExport() : CLayerFunctionExport(DefaultPlatform()) {}

} // namespace marbrook
