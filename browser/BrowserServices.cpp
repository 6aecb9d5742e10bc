#include "browser/BrowserServices.h"

#include <memory>

#include "connections/DatabaseListings.h"
#include "connections/frmOpenWorkspace.h"
#include "platform/platform.h"
#include "support/basWindowPos.h"

namespace marbrook::browser {

long ListSdeConnection(Platform& p, const std::string& connectionFile, DataItems& items, std::int16_t filterType,
                       gis::WindowHandle parent) {
    return OpenSdeConnectionEx(p, connectionFile, items, filterType, parent);
}

long ListSdeFeatureDataset(Platform& p, const std::string& connectionFile, const std::string& datasetName,
                           DataItems& items, std::int16_t filterType, gis::WindowHandle parent) {
    return OpenFeatureDatasetFromSDEEx(p, connectionFile, datasetName, items, filterType, parent);
}

long ListPgdbFeatureDataset(Platform& p, const std::string& mdbPath, const std::string& datasetName, DataItems& items,
                            std::int16_t filterType, gis::WindowHandle parent) {
    return OpenFeatureDatasetFromPGeoDBEx(p, mdbPath, datasetName, items, filterType, parent);
}

bool RunNewConnectionForm(Platform& p, const std::string& sdeDataPath, gis::WindowHandle parent) {
    auto form = std::make_unique<frmOpenWorkspace>(p);
    form->msSdeDataPath = sdeDataPath;
    QMShowForm(p, *form, parent, 0, 1);
    // A cancelled form is simply dropped; a confirmed one is unloaded first.
    if (!form->mbOkClik) return false;
    p.ui.UnloadForm(*form);
    return true;
}

} // namespace marbrook::browser
