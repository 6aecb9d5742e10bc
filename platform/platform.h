#pragma once
// The one context through which the library reaches the outside world.
#include "platform/gis.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace marbrook {

// Watches the numbered steps of the library's routines as they are started
// ("Marbrook.COpenLayerDlg.DoModalOpen:", 103): a tool that checks failure
// reports against what really ran (the tests' fault sweep) installs one.
class StepWatcher {
public:
    virtual void Reached(const char* position, int step) noexcept = 0;

protected:
    ~StepWatcher() = default;
};

struct Platform {
    gis::GisService& gis;
    ui::UiService& ui;
    sys::SystemService& system;
    // None in ordinary use.
    StepWatcher* steps = nullptr;
};

} // namespace marbrook
