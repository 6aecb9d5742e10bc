#pragma once
// Loads libmarbrook.so the way an in-process host does: dlopen, then the
// library's own entry points, then objects by class name.
#include <string>

#include "interface/ComponentEntry.h"

namespace marbrook::host {

class ComponentLoader {
public:
    // Opens the library at `path`, or the first one found: $MARBROOK_LIBRARY,
    // the installed library beside the program (../lib), the build tree's.
    explicit ComponentLoader(const std::string& path = {});
    ~ComponentLoader();
    ComponentLoader(const ComponentLoader&) = delete;
    ComponentLoader& operator=(const ComponentLoader&) = delete;

    [[nodiscard]] bool Loaded() const noexcept { return handle_ != nullptr; }
    [[nodiscard]] const std::string& Error() const noexcept { return error_; }
    [[nodiscard]] const std::string& Path() const noexcept { return path_; }

    // A new CLayerFunctionExport, or nullptr (Error() says why).
    ILayerFunctionExport* CreateLayerFunctions();
    // True when the library reports that no object of it is alive.
    bool CanUnloadNow();
    int Register();
    int Unregister();

private:
    void* Symbol(const char* name);
    void* handle_ = nullptr;
    std::string path_;
    std::string error_;
};

} // namespace marbrook::host
