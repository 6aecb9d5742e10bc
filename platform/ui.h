#pragma once
// Toolkit-neutral controls and forms, and the user-interface services.
//
// A control object holds exactly the state the form logic reads and writes.
// Form logic changes it directly; a view (Qt, or the scripted window system
// of the tests) shows it and turns user actions into calls of the form's
// handlers. Setters call Changed() so that a bound view can follow.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/gis.h"

namespace marbrook {
struct Platform;
}

namespace marbrook::ui {

using gis::WindowHandle;
inline constexpr WindowHandle kNoParent = -1;

// Application mouse pointers.
enum class MousePointer { Default = 0, Hourglass = 11, ArrowHourglass = 13 };
enum class MessageIcon { Information, Critical };

struct Point {
    int x = 0;
    int y = 0;
};
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    [[nodiscard]] int Width() const noexcept { return right - left; }
    [[nodiscard]] int Height() const noexcept { return bottom - top; }
};

// ---- Controls ---------------------------------------------------------------

class Control {
public:
    explicit Control(std::string name) : name_(std::move(name)) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    [[nodiscard]] const std::string& ControlName() const noexcept { return name_; }
    [[nodiscard]] bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool v) { enabled_ = v; Changed(); }
    [[nodiscard]] bool Visible() const noexcept { return visible_; }
    void SetVisible(bool v) { visible_ = v; Changed(); }
    [[nodiscard]] const std::string& ToolTipText() const noexcept { return toolTip_; }
    void SetToolTipText(std::string v) { toolTip_ = std::move(v); Changed(); }
    // Gives the control the keyboard focus (recorded; a view moves it).
    void SetFocus() { focusRequests_++; Changed(); }
    [[nodiscard]] int FocusRequests() const noexcept { return focusRequests_; }

    // The view bound to this control, called after every change of state.
    void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }

protected:
    void Changed() const {
        if (observer_) observer_();
    }

private:
    std::string name_;
    bool enabled_ = true;
    bool visible_ = true;
    std::string toolTip_;
    int focusRequests_ = 0;
    std::function<void()> observer_;
};

class Label : public Control {
public:
    using Control::Control;
    [[nodiscard]] const std::string& Caption() const noexcept { return caption_; }
    void SetCaption(std::string v) { caption_ = std::move(v); Changed(); }

private:
    std::string caption_;
};

using Frame = Label; // a frame has a caption and holds controls

class CommandButton : public Control {
public:
    using Control::Control;
    [[nodiscard]] const std::string& Caption() const noexcept { return caption_; }
    void SetCaption(std::string v) { caption_ = std::move(v); Changed(); }
    // Picture name of a picture button ("" for a text button).
    [[nodiscard]] const std::string& Picture() const noexcept { return picture_; }
    void SetPicture(std::string v) { picture_ = std::move(v); Changed(); }
    // The form's default button: Enter presses it wherever the focus is,
    // unless the focused control uses Enter itself.
    [[nodiscard]] bool Default() const noexcept { return default_; }
    void SetDefault(bool v) { default_ = v; Changed(); }
    // The form's cancel button: Escape presses it.
    [[nodiscard]] bool Cancel() const noexcept { return cancel_; }
    void SetCancel(bool v) { cancel_ = v; Changed(); }

private:
    std::string caption_;
    std::string picture_;
    bool default_ = false;
    bool cancel_ = false;
};

// A sign that the form is busy with work the user may wait for or stop: a
// moving bar and a line of text. Hidden while there is none.
class BusyIndicator : public Control {
public:
    using Control::Control;
    [[nodiscard]] const std::string& Caption() const noexcept { return caption_; }
    void SetCaption(std::string v) {
        if (v == caption_) return;
        caption_ = std::move(v);
        Changed();
    }

private:
    std::string caption_;
};

class TextBox : public Control {
public:
    using Control::Control;
    [[nodiscard]] const std::string& Text() const noexcept { return text_; }
    // Sets the text; returns true when it changed (a view then raises the
    // control's Change event).
    bool SetText(std::string v) {
        if (v == text_) return false;
        text_ = std::move(v);
        Changed();
        return true;
    }
    [[nodiscard]] char PasswordChar() const noexcept { return passwordChar_; }
    void SetPasswordChar(char c) { passwordChar_ = c; Changed(); }

private:
    std::string text_;
    char passwordChar_ = 0;
};

class CheckBox : public Control {
public:
    using Control::Control;
    [[nodiscard]] const std::string& Caption() const noexcept { return caption_; }
    void SetCaption(std::string v) { caption_ = std::move(v); Changed(); }
    // 0 unticked, 1 ticked.
    [[nodiscard]] int Value() const noexcept { return value_; }
    void SetValue(int v) { value_ = v; Changed(); }

private:
    std::string caption_;
    int value_ = 0;
};

class OptionButton : public Control {
public:
    using Control::Control;
    [[nodiscard]] const std::string& Caption() const noexcept { return caption_; }
    void SetCaption(std::string v) { caption_ = std::move(v); Changed(); }
    [[nodiscard]] bool Value() const noexcept { return value_; }
    void SetValue(bool v) { value_ = v; Changed(); }
    [[nodiscard]] const std::string& Picture() const noexcept { return picture_; }
    void SetPicture(std::string v) { picture_ = std::move(v); Changed(); }

private:
    std::string caption_;
    bool value_ = false;
    std::string picture_;
};

// A drop-down list whose entries carry an integer item data.
class DropDownList : public Control {
public:
    struct Entry {
        std::string text;
        long itemData = 0;
    };
    using Control::Control;
    void Clear() { entries_.clear(); listIndex_ = -1; Changed(); }
    void AddItem(std::string text) { entries_.push_back({std::move(text), 0}); Changed(); }
    [[nodiscard]] int ListCount() const noexcept { return static_cast<int>(entries_.size()); }
    // Index of the selected entry from 0, -1 for none.
    [[nodiscard]] int ListIndex() const noexcept { return listIndex_; }
    // Selects entry `index` (-1 for none); PlatformError 380 for an index
    // outside the list.
    void SetListIndex(int index);
    // Throws std::out_of_range for an index outside the list.
    [[nodiscard]] long ItemData(int index) const { return entries_.at(static_cast<std::size_t>(index)).itemData; }
    void SetItemData(int index, long data) { entries_.at(static_cast<std::size_t>(index)).itemData = data; Changed(); }
    [[nodiscard]] const std::string& List(int index) const { return entries_.at(static_cast<std::size_t>(index)).text; }
    // The selected entry's text, "" when none is selected.
    [[nodiscard]] std::string Text() const { return listIndex_ < 0 ? std::string{} : List(listIndex_); }
    [[nodiscard]] const std::vector<Entry>& Entries() const noexcept { return entries_; }

private:
    std::vector<Entry> entries_;
    int listIndex_ = -1;
};

// An image combo: entries with text, image numbers, indentation and a tag.
class ImageCombo : public Control {
public:
    struct Item {
        std::string text;
        int image = 0;
        int selectedImage = 0;
        int indentation = 0;
        long tag = 0;
    };
    using Control::Control;
    void Clear() { items_.clear(); selected_ = -1; Changed(); }
    // Appends an item and returns its position (from 1).
    long Add(std::string text, int image, int selectedImage);
    [[nodiscard]] long Count() const noexcept { return static_cast<long>(items_.size()); }
    // Item `index` from 1; std::out_of_range outside 1..Count().
    [[nodiscard]] Item& At(long index);
    [[nodiscard]] const Item& At(long index) const;
    void SetTag(long index, long tag) { At(index).tag = tag; Changed(); }
    void SetIndentation(long index, int indentation) { At(index).indentation = indentation; Changed(); }
    // The selected item's position from 1, 0 when none is selected.
    [[nodiscard]] long SelectedIndex() const noexcept { return selected_ < 0 ? 0 : selected_ + 1; }
    [[nodiscard]] const Item* SelectedItem() const noexcept {
        return selected_ < 0 ? nullptr : &items_[static_cast<std::size_t>(selected_)];
    }
    // Selects item `index` from 1 (0 selects nothing).
    void Select(long index);
    [[nodiscard]] std::string Text() const { return selected_ < 0 ? std::string{} : items_[static_cast<std::size_t>(selected_)].text; }
    [[nodiscard]] const std::vector<Item>& Items() const noexcept { return items_; }

private:
    std::vector<Item> items_;
    long selected_ = -1;
};

// A list view with items, icons, tags, sub-items and report columns.
class ListView : public Control {
public:
    struct Item {
        std::string text;
        int icon = 0;
        int smallIcon = 0;
        long tag = 0;
        bool selected = false;
        std::vector<std::string> subItems;
    };
    struct Column {
        std::string text;
        double width = 0; // twips
    };
    enum ViewMode { kIcon = 0, kSmallIcon = 1, kList = 2, kReport = 3 };

    using Control::Control;
    void ClearItems() { items_.clear(); ++revision_; Changed(); }
    // Appends an item and returns its position (from 1).
    long AddItem(std::string text, int icon, int smallIcon);
    // Takes every item out (the list is then empty), and puts items taken
    // before back: a list shown again as it was, without copying it.
    [[nodiscard]] std::vector<Item> TakeItems();
    void RestoreItems(std::vector<Item> items);
    // Removes the items after the first `count`.
    void Truncate(long count);
    // Puts the items in the order `order` gives (positions from 0 of the
    // items as they are), e.g. after a click on a column header.
    void Reorder(const std::vector<std::size_t>& order);
    [[nodiscard]] long Count() const noexcept { return static_cast<long>(items_.size()); }
    // Item `index` from 1; std::out_of_range outside 1..Count().
    [[nodiscard]] Item& At(long index);
    [[nodiscard]] const Item& At(long index) const;
    void SetTag(long index, long tag) { At(index).tag = tag; Changed(); }
    void SetSubItem(long index, std::size_t sub, std::string text);
    // Selection. With multi-select off, selecting an item deselects the rest.
    void SetSelected(long index, bool selected);
    void ClearSelection();
    // The first selected item's position from 1, 0 when none is selected.
    [[nodiscard]] long SelectedIndex() const noexcept;
    [[nodiscard]] const Item* SelectedItem() const noexcept;
    [[nodiscard]] long SelectedCount() const noexcept;
    [[nodiscard]] bool MultiSelect() const noexcept { return multiSelect_; }
    void SetMultiSelect(bool v) { multiSelect_ = v; Changed(); }
    [[nodiscard]] int View() const noexcept { return view_; }
    void SetView(int v) { view_ = v; Changed(); }
    void ClearColumns() { columns_.clear(); Changed(); }
    void AddColumn(std::string text, double widthTwips) { columns_.push_back({std::move(text), widthTwips}); Changed(); }
    [[nodiscard]] const std::vector<Column>& Columns() const noexcept { return columns_; }
    [[nodiscard]] double Width() const noexcept { return width_; }
    void SetWidth(double twips) { width_ = twips; Changed(); }
    [[nodiscard]] double Height() const noexcept { return height_; }
    void SetHeight(double twips) { height_ = twips; Changed(); }
    [[nodiscard]] const std::vector<Item>& Items() const noexcept { return items_; }
    void Refresh() { Changed(); }

    // For a view that follows the list without redrawing it whole: the
    // revision changes whenever items are removed, replaced or reordered
    // (appending keeps it), and items from TouchedFrom() (a position from 1,
    // past the end when none) on have had a sub-item changed since the view
    // last called ResetTouched().
    [[nodiscard]] std::uint64_t Revision() const noexcept { return revision_; }
    [[nodiscard]] long TouchedFrom() const noexcept { return touchedFrom_; }
    void ResetTouched() noexcept { touchedFrom_ = Count() + 1; }

    // The column the items were last sorted by (from 0, -1 for none) and
    // whether in descending order: a view shows it on the header.
    [[nodiscard]] int SortKey() const noexcept { return sortKey_; }
    [[nodiscard]] bool SortDescending() const noexcept { return sortDescending_; }
    void SetSortKey(int column, bool descending) { sortKey_ = column; sortDescending_ = descending; Changed(); }

private:
    std::vector<Item> items_;
    std::vector<Column> columns_;
    std::uint64_t revision_ = 0;
    long touchedFrom_ = 1;
    int sortKey_ = -1;
    bool sortDescending_ = false;
    bool multiSelect_ = false;
    int view_ = kList;
    double width_ = 7110;
    double height_ = 2940;
};

// A text control of the host that the library reports into. Assigning
// SelText inserts the text at the caret, replacing any selected text, and
// leaves the caret after it (so that successive writes append when the caret
// is at the end).
class TextControl {
public:
    virtual ~TextControl() = default;
    virtual void SetSelText(const std::string& text) = 0;
};

// ---- Forms ------------------------------------------------------------------

class UiService;

// A form: a caption, controls owned by the concrete form, and a life cycle
// (load once, show, hide, unload). Position and size are in twips.
class Form {
public:
    explicit Form(UiService& ui) : ui_(ui) {}
    virtual ~Form() = default;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // The class name of the form ("frmOpenDialog" ...), which a view uses
    // to pick its widgets.
    [[nodiscard]] virtual const char* FormName() const noexcept = 0;
    // Every control of the form, for views and scripts.
    [[nodiscard]] virtual std::vector<Control*> Controls() = 0;

    // Runs Form_Load the first time the form is touched.
    void EnsureLoaded();
    [[nodiscard]] bool IsLoaded() const noexcept { return loaded_; }
    // Marks the form unloaded: the next access loads it again.
    void MarkUnloaded() noexcept { loaded_ = false; }

    [[nodiscard]] const std::string& Caption() const noexcept { return caption_; }
    void SetCaption(std::string v) { caption_ = std::move(v); }
    [[nodiscard]] bool IsVisible() const noexcept { return visible_; }
    void SetVisibleState(bool v) noexcept { visible_ = v; }

    double left = 0, top = 0, width = 7600, height = 5400; // twips
    void Move(double leftTwips, double topTwips) { left = leftTwips; top = topTwips; }

    // Hides the form; a modal show of it then returns.
    void Hide();
    // Finds a control by name; nullptr when the form has none of that name.
    [[nodiscard]] Control* FindControl(const std::string& name);

protected:
    virtual void Form_Load() {}

private:
    UiService& ui_;
    std::string caption_;
    bool loaded_ = false;
    bool visible_ = false;
};

// ---- Work off the interface thread --------------------------------------------

// How long work may keep the user waiting before the form shows that it is
// busy and offers a way out.
inline constexpr std::chrono::milliseconds kBusyDelay{150};

// Work a form has done off the interface thread while the form stays
// responsive (UiService::RunBackground). The work runs once, on a thread the
// service chooses; everything else is called on the interface thread.
class BackgroundTask {
public:
    enum class Progress { Working, Finished };
    BackgroundTask() = default;
    virtual ~BackgroundTask() = default;
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // The work. Tells the service of new output with Wake(). Never throws.
    virtual void Run() noexcept = 0;
    // Takes in what the work has put out so far. Finished once the work has
    // ended and all of it is taken in, or the user cancelled.
    virtual Progress Pump() noexcept = 0;
    // Called once when the work has taken kBusyDelay: the form shows that it
    // is busy and how to stop it.
    virtual void ShowBusy() noexcept = 0;
    // The user stops the work: the next Pump() reports Finished; the work
    // itself may go on until its current call returns, its output unused.
    virtual void Cancel() noexcept = 0;

    // The service's wake-up: called (on any thread) whenever the task has
    // something to take in. Thread-safe; Wake() never calls it once
    // SetWake(nullptr) has returned.
    void SetWake(std::function<void()> wake);
    void Wake();
    // Run() has returned (the service says so); waits up to `limit` for it.
    void MarkEnded();
    [[nodiscard]] bool WaitEnded(std::chrono::milliseconds limit);

private:
    std::mutex wakeMutex_;
    std::function<void()> wake_;
    std::mutex endMutex_;
    std::condition_variable endChanged_;
    std::atomic<bool> ended_{false};
};

// Runs `task` on the calling thread and takes in all it put out: the way of
// a user interface that cannot wait (no event loop, no display).
void RunHere(BackgroundTask& task);

// ---- The service ------------------------------------------------------------

class UiService {
public:
    virtual ~UiService() = default;

    // A modal message box with one OK button; returns when it is closed.
    virtual void MessageBox(const std::string& text, MessageIcon icon, const std::string& title) = 0;
    virtual void SetMousePointer(MousePointer pointer) = 0;
    [[nodiscard]] virtual MousePointer GetMousePointer() const = 0;

    // Windows, in pixels.
    [[nodiscard]] virtual Point MousePosition() = 0;
    [[nodiscard]] virtual Rect WindowRect(WindowHandle window) = 0;
    [[nodiscard]] virtual int ScreenHeightTwips() = 0;
    [[nodiscard]] virtual int TwipsPerPixelX() { return 15; }
    [[nodiscard]] virtual int TwipsPerPixelY() { return 15; }
    // The window of a form (created on first use; loads the form).
    [[nodiscard]] virtual WindowHandle HandleOf(Form& form) = 0;
    virtual void SetParentWindow(Form& form, WindowHandle parent) = 0;
    // Puts the form's window directly behind `insertAfter` in the window
    // order and moves it to (left, top) pixels, keeping its size.
    virtual void SetWindowPosition(Form& form, WindowHandle insertAfter, int left, int top) = 0;
    // Shows the form. Modal: returns only after the form has been hidden or
    // unloaded; modeless returns at once.
    virtual void ShowForm(Form& form, bool modal, WindowHandle parent) = 0;
    virtual void HideForm(Form& form) = 0;
    virtual void UnloadForm(Form& form) = 0;

    // Runs `task` while the interface stays responsive and the form stays
    // modal: events are served, `task->Pump()` takes in the task's output
    // whenever it wakes the service, `task->ShowBusy()` is called after
    // kBusyDelay, and input reaches no window but the form's way out (and
    // Escape, which cancels). Returns when Pump() reports Finished. The
    // service keeps `task` alive until its work has ended.
    virtual void RunBackground(Form& form, std::shared_ptr<BackgroundTask> task) = 0;
};

} // namespace marbrook::ui
