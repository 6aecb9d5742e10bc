#include "browser/BrowserServices.h"

// The spatial-database listings and the new-connection form are not part of
// this build yet: their locations list nothing and the "新建空间数据库连接"
// entry creates nothing. The browser treats both like an empty database.

namespace marbrook::browser {

long ListSdeConnection(Platform&, const std::string&, DataItems& items, std::int16_t, gis::WindowHandle) {
    items.assign(1, DataItem{});
    return 0;
}

long ListSdeFeatureDataset(Platform&, const std::string&, const std::string&, DataItems& items, std::int16_t,
                           gis::WindowHandle) {
    items.assign(1, DataItem{});
    return 0;
}

long ListPgdbFeatureDataset(Platform&, const std::string&, const std::string&, DataItems& items, std::int16_t,
                            gis::WindowHandle) {
    items.assign(1, DataItem{});
    return 0;
}

bool RunNewConnectionForm(Platform&, const std::string&, gis::WindowHandle) { return false; }

} // namespace marbrook::browser
