#include "tests/doubles/ScriptedUi.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace marbrook::testing {

void ScriptedUi::Hit(const std::string& operation) {
    if (faults) faults->Hit("ui." + operation);
    own_.Hit(operation);
}

void ScriptedUi::OnModal(std::string formName, Action action) { actions_.emplace_back(std::move(formName), std::move(action)); }

std::size_t ScriptedUi::PendingActions() const { return actions_.size(); }

void ScriptedUi::MessageBox(const std::string& text, ui::MessageIcon icon, const std::string& title) {
    Hit("MessageBox");
    messages.push_back({text, icon, title});
    if (onMessage) {
        const Message shown = messages.back();
        onMessage(shown);
    }
}

void ScriptedUi::SetMousePointer(ui::MousePointer pointer) {
    Hit("SetMousePointer");
    pointer_ = pointer;
    pointerHistory.push_back(pointer);
}

ui::Rect ScriptedUi::WindowRect(ui::WindowHandle window) {
    Hit("WindowRect");
    if (auto it = windows.find(window); it != windows.end()) return it->second;
    for (const auto& [form, handle] : handles_) {
        if (handle == window) {
            const int w = static_cast<int>(form->width / 15), h = static_cast<int>(form->height / 15);
            const int l = static_cast<int>(form->left / 15), t = static_cast<int>(form->top / 15);
            return {l, t, l + w, t + h};
        }
    }
    return {};
}

ui::WindowHandle ScriptedUi::HandleOf(ui::Form& form) {
    Hit("HandleOf");
    form.EnsureLoaded();
    auto [it, added] = handles_.try_emplace(&form, nextHandle_);
    if (added) ++nextHandle_;
    return it->second;
}

void ScriptedUi::SetParentWindow(ui::Form& form, ui::WindowHandle parent) {
    Hit("SetParentWindow");
    parents[&form] = parent;
}

void ScriptedUi::SetWindowPosition(ui::Form& form, ui::WindowHandle, int left, int top) {
    Hit("SetWindowPosition");
    placements[&form] = {left, top};
}

void ScriptedUi::ShowForm(ui::Form& form, bool modal, ui::WindowHandle parent) {
    Hit("ShowForm");
    form.EnsureLoaded();
    const auto at = placements.count(&form) ? placements[&form] : ui::Point{};
    shows.push_back({form.FormName(), modal, parent, at.x, at.y});
    form.SetVisibleState(true);
    if (!modal) return;
    auto it = std::find_if(actions_.begin(), actions_.end(), [&](const auto& a) { return a.first == form.FormName(); });
    if (it != actions_.end()) {
        Action action = std::move(it->second);
        actions_.erase(it);
        action(form);
    }
    form.SetVisibleState(false);
}

void ScriptedUi::HideForm(ui::Form& form) {
    Hit("HideForm");
    form.SetVisibleState(false);
}

void ScriptedUi::UnloadForm(ui::Form& form) {
    Hit("UnloadForm");
    form.SetVisibleState(false);
    form.MarkUnloaded();
    unloaded.emplace_back(form.FormName());
    handles_.erase(&form);
}

void ScriptedUi::OnBackground(BackgroundAction action) { backgroundActions_.push_back(std::move(action)); }

void ScriptedUi::RunBackground(ui::Form& form, std::shared_ptr<ui::BackgroundTask> task) {
    Hit("RunBackground");
    ++backgroundRuns;
    tasks_.push_back(task);
    using Progress = ui::BackgroundTask::Progress;
    if (!backgroundThreads) return ui::RunHere(*task);
    struct Signal {
        std::mutex mutex;
        std::condition_variable changed;
        bool woken = false;
    };
    auto signal = std::make_shared<Signal>();
    task->SetWake([signal] {
        {
            const std::lock_guard lock(signal->mutex);
            signal->woken = true;
        }
        signal->changed.notify_all();
    });
    std::thread([task] {
        task->Run();
        task->MarkEnded();
        task->Wake();
    }).detach();
    if (!backgroundActions_.empty()) {
        BackgroundAction action = std::move(backgroundActions_.front());
        backgroundActions_.pop_front();
        ++busyShown;
        task->ShowBusy();
        action(form, *task);
    }
    while (task->Pump() != Progress::Finished) {
        std::unique_lock lock(signal->mutex);
        signal->changed.wait_for(lock, std::chrono::milliseconds(50), [&] { return signal->woken; });
        signal->woken = false;
    }
    task->SetWake(nullptr);
}

bool ScriptedUi::WaitForBackgroundWork(int limitMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (const auto& weak : tasks_) {
        const auto task = weak.lock();
        if (!task) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (!task->WaitEnded(std::max(left, std::chrono::milliseconds(0)))) return false;
    }
    return true;
}

} // namespace marbrook::testing
