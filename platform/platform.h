#pragma once
// The one context through which the library reaches the outside world.
#include "platform/gis.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace marbrook {

struct Platform {
    gis::GisService& gis;
    ui::UiService& ui;
    sys::SystemService& system;
};

} // namespace marbrook
