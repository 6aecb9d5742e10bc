#include "tests/doubles/ScriptedUi.h"

#include <algorithm>

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

} // namespace marbrook::testing
