#include "support/basWindowPos.h"

#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Numbers.h"

namespace marbrook {

void QMShowForm(Platform& platform, ui::Form& frm, ui::WindowHandle hParent, long iPosType, long iShowMode) noexcept {
    Steps step(platform, "Tessgate.basWindowPos.QMShowForm:");
    try {
        auto& ui = platform.ui;
        step(100);
        long left = 0;
        long top = 0;
        const ui::WindowHandle self = ui.HandleOf(frm);
        if (iPosType == 1) {
            step(101);
            const auto mouse = ui.MousePosition();
            step(102);
            left = mouse.x + 15L;
            top = mouse.y - 15L;
        } else if (iPosType == 2 || iPosType == 3) {
            step(110);
            const double formHeight = ui.WindowRect(self).Height();
            double refHeight = 0;
            if (hParent == ui::kNoParent) {
                step(111);
                refHeight = static_cast<double>(ui.ScreenHeightTwips()) / ui.TwipsPerPixelY();
            } else {
                step(112);
                refHeight = ui.WindowRect(hParent).Height();
            }
            step(113);
            left = 0;
            top = iPosType == 2 ? RoundHalfEven(refHeight / 2 - formHeight / 2) : RoundHalfEven(refHeight - formHeight);
        } else {
            step(122);
            left = 0;
            top = 0;
        }
        step(123);
        if (iShowMode == 0) ui.SetParentWindow(frm, hParent);
        step(124);
        ui.SetWindowPosition(frm, hParent, static_cast<int>(left), static_cast<int>(top));
        step(125);
        frm.Move(static_cast<double>(left) * ui.TwipsPerPixelX(), static_cast<double>(top) * ui.TwipsPerPixelY());
        step(126);
        ui.ShowForm(frm, iShowMode == 1, hParent);
    } catch (...) {
        step.Report();
    }
}

} // namespace marbrook
