#pragma once
// The part of a connection test that the new-connection form and the version
// chooser share: open the spatial database and tell the user how it went.
#include "platform/gis.h"

namespace marbrook {
struct Platform;
class Steps;

// Opens the database `properties` describe with the spatial-database
// factory and no parent window, and shows "连接成功." or "连接不成功." (with
// the server's reason on a second line when it gave one) when `bShowTips` is
// set. Runs the steps 109 to 120 of the caller's routine on
// `step`, ends with the default pointer, and returns the workspace or none.
// Failures propagate to the caller, which reports them.
gis::WorkspacePtr OpenSpatialDatabase(Platform& platform, Steps& step, const gis::PropertySet& properties,
                                      bool bShowTips);

} // namespace marbrook
