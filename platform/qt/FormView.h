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

#include <QDialog>
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
class QStandardItemModel;
class QTreeView;

namespace marbrook::qt {

// Item-data roles of the models the views fill.
inline constexpr int kTagRole = Qt::UserRole + 1;         // the item's tag
inline constexpr int kIndentationRole = Qt::UserRole + 2; // image-combo indentation
inline constexpr int kImageRole = Qt::UserRole + 3;       // the image number shown
// Pixels per indentation level of the image combo.
inline constexpr int kIndentPixels = 12;

// The list view's widget: one model shown by an icon/list view (modes 0 to 2)
// or by a report view with columns (mode 3).
class ListViewWidget : public QWidget {
public:
    explicit ListViewWidget(QWidget* parent = nullptr);
    [[nodiscard]] QListView* List() const noexcept { return list_; }
    [[nodiscard]] QTreeView* Report() const noexcept { return report_; }
    [[nodiscard]] QStandardItemModel* Model() const noexcept { return model_; }
    // The view that is showing (the report view in mode 3).
    [[nodiscard]] QAbstractItemView* Current() const;
    [[nodiscard]] int Mode() const noexcept { return mode_; }
    void SetMode(int mode);
    // Told the new size in pixels whenever the widget is resized.
    std::function<void(int, int)> onResize;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QStackedWidget* stack_;
    QListView* list_;
    QTreeView* report_;
    QStandardItemModel* model_;
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
    // The widget bound to the control named `name`, nullptr for none.
    [[nodiscard]] QWidget* WidgetOf(const std::string& name) const;

    // Set by the UI service while a modal show of this view runs.
    QEventLoop* modalLoop = nullptr;
    // Ends a running modal show (the form was hidden, unloaded or closed).
    void EndModal();
    // Called when the user closes the window with its close box.
    void CloseBox();
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
    void BindListView(ui::ListView& c, ListViewWidget* w, std::function<void()> itemClick,
                      std::function<void()> dblClick);
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
    // Runs a user action: sets control state, then calls the handler, unless
    // the form is gone or the widgets are being brought up to date.
    void UserAction(const std::function<void()>& action);

    ui::Form& form_;
    std::shared_ptr<int> token_;
    std::weak_ptr<int> alive_;
    QPointer<QDialog> dialog_;
    std::unique_ptr<QObject> context_;
    std::vector<std::unique_ptr<Binding>> bindings_;
    bool flushScheduled_ = false;
    bool syncing_ = false;
    std::vector<QPointer<QWidget>> busyWidgets_;
};

// The view of a form: the one `views` makes for it, else a plain column of
// its controls. Brought up to date with the form before it is returned.
std::unique_ptr<FormView> MakeView(ui::Form& form, const ViewMaker& views);

} // namespace marbrook::qt
