#include "connections/ConnectionTest.h"

#include <string>

#include "platform/platform.h"
#include "support/Failure.h"

namespace marbrook {

gis::WorkspacePtr OpenSpatialDatabase(Platform& platform, Steps& step, const gis::PropertySet& properties,
                                      bool bShowTips) {
    constexpr const char* kTitle = "VERDANTA";
    gis::WorkspacePtr result;
    step(109);
    auto factory = platform.gis.CreateWorkspaceFactory(gis::FactoryKind::SpatialDatabase);
    step(110);
    auto workspace = factory->OpenWorkspace(properties, gis::kNoWindow);
    step(111);
    if (!workspace) {
        step(112);
        if (bShowTips) {
            step(113);
            // The server's reason (never holding the password) tells the
            // user what to change.
            const std::string why = factory->LastOpenFailure();
            platform.ui.MessageBox(why.empty() ? "连接不成功." : "连接不成功.\r\n" + why, ui::MessageIcon::Information,
                                   kTitle);
        }
        step(114);
    } else {
        step(115);
        if (bShowTips) {
            step(116);
            platform.ui.MessageBox("连接成功.", ui::MessageIcon::Information, kTitle);
        }
        step(117);
        result = workspace;
    }
    step(118); // the caller releases its property set
    step(119);
    factory.reset();
    step(120);
    platform.ui.SetMousePointer(ui::MousePointer::Default);
    return result;
}

} // namespace marbrook
