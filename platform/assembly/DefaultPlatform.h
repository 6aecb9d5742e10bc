#pragma once
// The real platform: GDAL for the GIS services, Qt for the user interface,
// POSIX for the system, assembled once per process.
#include <string>

#include "platform/platform.h"

namespace marbrook {

// The platform the library uses when a host creates its objects without
// naming one.
Platform& DefaultPlatform();

// Names the shared library whose folder and file name the default platform
// reports as the library's own (sys::LibraryIdentity): a program that carries
// the library inside it stands for the shared library installed beside it,
// so that both use one error log, one settings file and one connection-file
// folder. Call before the first DefaultPlatform(); by default the identity is
// that of the file the code was loaded from.
void SetLibraryFile(std::string path);

} // namespace marbrook
