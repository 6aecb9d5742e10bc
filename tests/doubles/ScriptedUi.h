#pragma once
// A window system for tests. A test queues what "the user" does while a form
// is shown modally; message boxes are recorded; windows have the rectangles
// the test gives them.
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "tests/doubles/FaultPlan.h"

namespace marbrook::testing {

class ScriptedUi : public ui::UiService {
public:
    struct Message {
        std::string text;
        ui::MessageIcon icon;
        std::string title;
    };
    struct Show {
        std::string form;
        bool modal;
        ui::WindowHandle parent;
        int left;
        int top;
    };
    using Action = std::function<void(ui::Form&)>;

    // Queues `action` for the next modal show of a form named `formName`. A
    // modal show runs its queued action, then ends; a form the action leaves
    // visible is closed as by its close box.
    void OnModal(std::string formName, Action action);
    [[nodiscard]] std::size_t PendingActions() const;

    // Work a form hands over (RunBackground). By default the work runs at
    // once on the calling thread and the wait ends when everything it put
    // out is taken in: deterministic, as the fault sweep needs. With
    // `backgroundThreads` the work runs on a thread of its own and the
    // action queued by OnBackground (if any) plays the user while it runs,
    // after the busy delay has passed.
    bool backgroundThreads = false;
    using BackgroundAction = std::function<void(ui::Form&, ui::BackgroundTask&)>;
    void OnBackground(BackgroundAction action);
    // Waits until the work of every task handed over has ended; false when
    // some still runs after `limitMs`.
    bool WaitForBackgroundWork(int limitMs = 10000);
    int backgroundRuns = 0;
    int busyShown = 0;

    // Called for every message box while it is open; the box is answered
    // (its one button pressed) when this returns. A script uses it to act at
    // that moment or to check what the user sees.
    std::function<void(const Message&)> onMessage;

    // What happened.
    std::vector<Message> messages;
    std::vector<ui::MousePointer> pointerHistory;
    std::vector<Show> shows;
    std::vector<std::string> unloaded;

    // Failures on demand. `faults` is the plan shared with the other doubles
    // (operations counted as "ui.<name>"); FailAt plans a failure of this
    // double's own operation `operation` ("ShowForm", "SetMousePointer" ...).
    FaultPlan* faults = nullptr;
    void FailAt(const std::string& operation, int nth = 1, long number = 440,
                const std::string& description = "simulated failure") {
        own_.FailAt(operation, nth, number, description);
    }
    [[nodiscard]] int Calls(const std::string& operation) const { return own_.Calls(operation); }

    // The world.
    ui::Point mouse{};
    int screenHeightTwips = 768 * 15;
    std::map<ui::WindowHandle, ui::Rect> windows;

    void MessageBox(const std::string& text, ui::MessageIcon icon, const std::string& title) override;
    void SetMousePointer(ui::MousePointer pointer) override;
    ui::MousePointer GetMousePointer() const override { return pointer_; }
    ui::Point MousePosition() override {
        Hit("MousePosition");
        return mouse;
    }
    ui::Rect WindowRect(ui::WindowHandle window) override;
    int ScreenHeightTwips() override {
        Hit("ScreenHeightTwips");
        return screenHeightTwips;
    }
    int TwipsPerPixelX() override {
        Hit("TwipsPerPixelX");
        return 15;
    }
    int TwipsPerPixelY() override {
        Hit("TwipsPerPixelY");
        return 15;
    }
    ui::WindowHandle HandleOf(ui::Form& form) override;
    void SetParentWindow(ui::Form& form, ui::WindowHandle parent) override;
    void SetWindowPosition(ui::Form& form, ui::WindowHandle insertAfter, int left, int top) override;
    void ShowForm(ui::Form& form, bool modal, ui::WindowHandle parent) override;
    void HideForm(ui::Form& form) override;
    void UnloadForm(ui::Form& form) override;
    void RunBackground(ui::Form& form, std::shared_ptr<ui::BackgroundTask> task) override;

    // The window a form was last placed at, in pixels.
    std::map<const ui::Form*, ui::Point> placements;
    std::map<const ui::Form*, ui::WindowHandle> parents;

private:
    // Counts a call and throws a failure planned for it.
    void Hit(const std::string& operation);

    FaultPlan own_;
    ui::MousePointer pointer_ = ui::MousePointer::Default;
    std::map<const ui::Form*, ui::WindowHandle> handles_;
    ui::WindowHandle nextHandle_ = 1000;
    std::deque<std::pair<std::string, Action>> actions_;
    std::deque<BackgroundAction> backgroundActions_;
    std::vector<std::weak_ptr<ui::BackgroundTask>> tasks_;
};

} // namespace marbrook::testing
