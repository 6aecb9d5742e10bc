// The C entry points of the shared library, on its own platform. Kept apart
// from ComponentEntry.cpp so that programs linking only the core (the unit
// tests) do not need the real back ends.
#include "interface/ComponentServer.h"
#include "platform/assembly/DefaultPlatform.h"

extern "C" {

int DllGetClassObject(const char* className, void** object) {
    try {
        return marbrook::component::CreateObject(marbrook::DefaultPlatform(), className, object);
    } catch (...) {
        return marbrook::component::kFailed;
    }
}

int DllCanUnloadNow(void) {
    return marbrook::component::LiveObjects() == 0 ? marbrook::component::kOk : marbrook::component::kFalse;
}

int DllRegisterServer(void) {
    try {
        return marbrook::component::RegisterServer(marbrook::DefaultPlatform());
    } catch (...) {
        return marbrook::component::kFailed;
    }
}

int DllUnregisterServer(void) {
    try {
        return marbrook::component::UnregisterServer(marbrook::DefaultPlatform());
    } catch (...) {
        return marbrook::component::kFailed;
    }
}

} // extern "C"
