#pragma once
// The implementations behind the in-process entry points (see
// ComponentEntry.h), on a given platform: the shared library binds them to
// its own platform, tests to theirs.
#include <string>

#include "interface/ComponentEntry.h"

namespace marbrook {
struct Platform;

namespace component {

int CreateObject(Platform& platform, const char* className, void** object) noexcept;
// Number of objects created and not yet released.
long LiveObjects() noexcept;
// The registration file: $XDG_CONFIG_HOME/marbrook/marbrook.component
// (default ~/.config/marbrook/marbrook.component).
std::string RegistrationFile();
int RegisterServer(Platform& platform) noexcept;
int UnregisterServer(Platform& platform) noexcept;

} // namespace component
} // namespace marbrook
