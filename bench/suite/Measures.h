#pragma once
// What a child process of the suite measures: the library's path ("ours")
// and the plain baseline it is held against, one per run of a child.
#include <memory>
#include <string>

#include "platform/gis.h"
#include "platform/headless/HeadlessUi.h"
#include "platform/platform.h"
#include "platform/posix/PosixSystem.h"

namespace marbrook::bench {

// The real back ends (GDAL, POSIX) with a user interface that shows nothing;
// its modal show stands for the user looking at the filled dialog.
struct RealPlatform {
    RealPlatform();
    std::unique_ptr<gis::GisService> gis;
    headless::HeadlessUi ui;
    posix::PosixSystem system;
    Platform platform;
};

// The measurement `what` on `arg` (a folder, a file, a connection file),
// printed as "RESULT <seconds> <count>"; also the data-making steps a child
// runs ("templates", "drawing", "postgis-prepare"). The exit status of the
// child.
int ChildMain(const std::string& what, const std::string& arg);

} // namespace marbrook::bench
