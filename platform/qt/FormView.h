#pragma once
// The Qt view of one form: a dialog whose widgets are bound to the form's
// control objects both ways. A change of a control's state marks the widget
// stale and is applied on the next turn of the event loop (a listing that
// adds 40 000 items redraws once); a user action sets the control's state
// first and then calls the form's handler.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QDialog>
#include <QFontMetrics>
#include <QIcon>
#include <QPointer>
#include <QStringList>

#include "platform/qt/QtUi.h"
#include "platform/ui.h"

class QAbstractButton;
class QAbstractItemView;
class QResizeEvent;
class QCheckBox;
class QComboBox;
class QEventLoop;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QStackedWidget;
class QTreeView;

namespace marbrook::qt {

// Item-data roles of the models the views fill.
inline constexpr int kTagRole = Qt::UserRole + 1;         // the item's tag
inline constexpr int kIndentationRole = Qt::UserRole + 2; // image-combo indentation
inline constexpr int kImageRole = Qt::UserRole + 3;       // the image number shown
inline constexpr int kLargeRole = Qt::UserRole + 4;       // true in the large-icon view
// Pixels per indentation level of the image combo.
inline constexpr int kIndentPixels = 12;

// The rows a list view shows: a copy of the list control's items, kept in
// step by appending what was appended and redrawing only on a real change,
// so that a folder of 100 000 entries arriving in parts is never rebuilt.
class ListModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    struct Row {
        QString text;
        int image = 0;
        qlonglong tag = 0;
        QStringList subItems;
        int textWidth = -1; // pixels in the view's font, measured when first asked
    };
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Shows `items` from scratch with `headers` (report view) or one column.
    void Reset(const std::vector<ui::ListView::Item>& items, const QStringList& headers, bool large);
    // Appends items[from..] to the rows shown.
    void Append(const std::vector<ui::ListView::Item>& items, std::size_t from);
    // Reads the sub-items of rows first.. again.
    void UpdateSubItems(const std::vector<ui::ListView::Item>& items, std::size_t first);
    [[nodiscard]] const Row& At(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    // The width of a row's text in `metrics`, measured once.
    int TextWidth(int row, const QFontMetrics& metrics) const;

private:
    Row MakeRow(const ui::ListView::Item& item) const;
    std::vector<Row> rows_;
    QStringList headers_;
    bool large_ = false;
    mutable std::vector<QIcon> icons_;
    mutable std::vector<int> widths_;
};

// The list view's widget: one model shown by an icon/list view (modes 0 to 2)
// or by a report view with columns (mode 3). Names get the room they need:
// list columns are as wide as their longest name, large icons wrap names on
// two lines, and a name that is still cut shows whole in a tooltip.
class ListViewWidget : public QWidget {
public:
    explicit ListViewWidget(QWidget* parent = nullptr);
    [[nodiscard]] QListView* List() const noexcept { return list_; }
    [[nodiscard]] QTreeView* Report() const noexcept { return report_; }
    [[nodiscard]] ListModel* Model() const noexcept { return model_; }
    // The view that is showing (the report view in mode 3).
    [[nodiscard]] QAbstractItemView* Current() const;
    [[nodiscard]] int Mode() const noexcept { return mode_; }
    void SetMode(int mode);
    // The report columns after the name take what their contents need, at
    // most `maxWidths` pixels each; the name column takes the rest and
    // follows the window.
    void FitColumns(const std::vector<int>& maxWidths);
    // Told the new size in pixels whenever the widget is resized.
    std::function<void(int, int)> onResize;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QStackedWidget* stack_;
    QListView* list_;
    QTreeView* report_;
    ListModel* model_;
    int mode_ = -1;
};

class FormView {
public:
    explicit FormView(ui::Form& form);
    virtual ~FormView();
    FormView(const FormView&) = delete;
    FormView& operator=(const FormView&) = delete;

    [[nodiscard]] ui::Form& Form() const noexcept { return form_; }
    // False once the form object has been destroyed (its controls with it).
    [[nodiscard]] bool FormAlive() const noexcept { return !alive_.expired(); }
    [[nodiscard]] QDialog* Dialog() const noexcept { return dialog_; }

    // Applies every pending change of control state to the widgets.
    void Flush();
    // Set while the form waits for background work; the end of the wait
    // brings every widget up to date at once.
    void SetWaiting(bool waiting);
    // The widget bound to the control named `name`, nullptr for none.
    [[nodiscard]] QWidget* WidgetOf(const std::string& name) const;

    // Set by the UI service while a modal show of this view runs.
    QEventLoop* modalLoop = nullptr;
    // Ends a running modal show (the form was hidden, unloaded or closed).
    void EndModal();
    // Called when the user closes the window with its close box.
    void CloseBox();
    // Escape: presses the form's cancel button; false when it has none.
    bool Escape();
    // Gives the keyboard focus to the control a user starts with.
    virtual void FocusFirst() {}
    // Widgets the user may still use while the form waits for background
    // work (its way out).
    void AllowWhileBusy(QWidget* widget) { busyWidgets_.emplace_back(widget); }
    [[nodiscard]] bool AllowedWhileBusy(const QWidget* widget) const {
        for (const auto& w : busyWidgets_)
            if (w == widget) return true;
        return false;
    }

protected:
    // Bindings. `handler` is the form's event handler, or empty for none.
    void BindLabel(ui::Label& c, QLabel* w);
    void BindFrame(ui::Frame& c, QGroupBox* w);
    void BindButton(ui::CommandButton& c, QAbstractButton* w, std::function<void()> handler);
    void BindOption(ui::OptionButton& c, QAbstractButton* w, std::function<void()> handler);
    void BindCheck(ui::CheckBox& c, QCheckBox* w, std::function<void()> handler);
    void BindText(ui::TextBox& c, QLineEdit* w, std::function<void()> changeHandler);
    void BindDropDown(ui::DropDownList& c, QComboBox* w, std::function<void()> handler);
    void BindImageCombo(ui::ImageCombo& c, QComboBox* w, std::function<void()> handler);
    // `keyDown` gets Enter (13) and Backspace (8); `columnClick` a report
    // header's column (from 0).
    void BindListView(ui::ListView& c, ListViewWidget* w, std::function<void()> itemClick,
                      std::function<void()> dblClick, std::function<void(int, int)> keyDown,
                      std::function<void(int)> columnClick);
    // A busy indicator: `w` holds a moving bar and `label`, its caption.
    void BindBusy(ui::BusyIndicator& c, QWidget* w, QLabel* label);
    // Enter in a text box runs `handler`.
    void OnReturn(QLineEdit* w, std::function<void()> handler);
    // Runs a user action: sets control state, then calls the handler, unless
    // the form is gone or the widgets are being brought up to date.
    void UserAction(const std::function<void()>& action);
    // Binds a control of a form that has no view of its own, by its kind.
    void BindAny(ui::Control& c, QWidget* w);
    // Sizes the dialog from the form's size in twips.
    void SizeFromForm();

private:
    struct Binding {
        ui::Control* control = nullptr;
        QPointer<QWidget> widget;
        std::function<void()> sync;
        bool dirty = true;
        int focusSeen = 0;
    };
    class Dialog_;
    Binding& Add(ui::Control& c, QWidget* w, std::function<void()> sync);
    void MarkDirty(std::size_t index);
    void SyncCommon(Binding& b);

    ui::Form& form_;
    std::shared_ptr<int> token_;
    std::weak_ptr<int> alive_;
    QPointer<QDialog> dialog_;
    std::unique_ptr<QObject> context_;
    std::vector<std::unique_ptr<Binding>> bindings_;
    bool flushScheduled_ = false;
    bool syncing_ = false;
    bool waiting_ = false;
    bool forcing_ = true;
    std::vector<QPointer<QWidget>> busyWidgets_;
    struct Button {
        ui::CommandButton* control;
        QPointer<QAbstractButton> widget;
        std::function<void()> handler;
    };
    std::vector<Button> buttons_;
};

// The view of a form: the one `views` makes for it, else a plain column of
// its controls. Brought up to date with the form before it is returned.
std::unique_ptr<FormView> MakeView(ui::Form& form, const ViewMaker& views);

} // namespace marbrook::qt
