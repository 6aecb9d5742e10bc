// Links the installed library and creates the public class through the
// in-process entry point, without showing anything.
#include <cstdio>

#include "interface/CLayerFunctionExport.h"
#include "interface/ComponentEntry.h"

int main() {
    void* object = nullptr;
    if (DllGetClassObject(marbrook::component::kLayerFunctionClass, &object) != marbrook::component::kOk) return 1;
    auto* layers = static_cast<marbrook::ILayerFunctionExport*>(object);
    const bool map = layers->NewMap() != nullptr;
    layers->Release();
    std::printf("map=%d unload=%d\n", map ? 1 : 0, DllCanUnloadNow());
    return map && DllCanUnloadNow() == marbrook::component::kOk ? 0 : 1;
}
