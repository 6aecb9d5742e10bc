#include "platform/qt/QtUi.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "platform/error.h"
#include "platform/qt/FormView.h"

namespace marbrook::qt {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

PlatformError NoWindow(ui::WindowHandle h) {
    return {errnum::kInvalidProcedureCall, "Marbrook", "Invalid window handle " + std::to_string(h)};
}

// While a form waits for background work it stays modal and answers: input
// reaches only the form's way out (its cancel button, Escape, scrolling),
// and closing the form stops the work first.
class BusyFilter final : public QObject {
public:
    BusyFilter(FormView& view, ui::BackgroundTask& task) : view_(view), task_(task) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        // A message box the work asked for, shown over the form, is answered
        // as usual (Escape included).
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != view_.Dialog() && widget &&
            (widget == modal || modal->isAncestorOf(widget)))
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                task_.Cancel();
                return true;
            }
            return !Allowed(widget);
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::ContextMenu:
            return !Allowed(widget);
        case QEvent::Wheel:
            return !InForm(widget);
        case QEvent::Close:
            if (widget && widget == view_.Dialog()) {
                task_.Cancel();
                return false;
            }
            return widget && widget->isWindow();
        default:
            return false;
        }
    }

private:
    [[nodiscard]] bool InForm(QWidget* widget) const {
        return widget && view_.Dialog() && (widget == view_.Dialog() || view_.Dialog()->isAncestorOf(widget));
    }
    [[nodiscard]] bool Allowed(QWidget* widget) const {
        if (!InForm(widget)) return false;
        for (QWidget* w = widget; w; w = w->parentWidget())
            if (qobject_cast<QScrollBar*>(w) || view_.AllowedWhileBusy(w)) return true;
        return false;
    }

    FormView& view_;
    ui::BackgroundTask& task_;
};

class QtUi final : public ui::UiService {
public:
    explicit QtUi(ViewMaker views) : viewsOfForms_(std::move(views)) {}
    ~QtUi() override {
        retired_.clear();
        views_.clear();
        if (QGuiApplication::instance() && overridden_) QGuiApplication::restoreOverrideCursor();
    }

    void MessageBox(const std::string& text, ui::MessageIcon icon, const std::string& title) override {
        EnsureApplication();
        QMessageBox box(icon == ui::MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Information, Q(title),
                        Q(text), QMessageBox::Ok, QApplication::activeModalWidget());
        box.setObjectName(QStringLiteral("MarbrookMessageBox"));
        // The pointer must not say "busy" while the user is asked to read.
        const bool busy = overridden_;
        if (busy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
        box.exec();
        if (busy) QGuiApplication::restoreOverrideCursor();
    }

    void SetMousePointer(ui::MousePointer pointer) override {
        pointer_ = pointer;
        if (!QGuiApplication::instance()) return; // applied by the next pointer change once an application runs
        if (pointer == ui::MousePointer::Default) {
            if (overridden_) QGuiApplication::restoreOverrideCursor();
            overridden_ = false;
            return;
        }
        const QCursor cursor(pointer == ui::MousePointer::Hourglass ? Qt::WaitCursor : Qt::BusyCursor);
        if (overridden_) {
            QGuiApplication::changeOverrideCursor(cursor);
        } else {
            QGuiApplication::setOverrideCursor(cursor);
            overridden_ = true;
        }
    }
    ui::MousePointer GetMousePointer() const override { return pointer_; }

    ui::Point MousePosition() override {
        EnsureApplication();
        const QPoint p = QCursor::pos();
        return {p.x(), p.y()};
    }

    ui::Rect WindowRect(ui::WindowHandle window) override {
        EnsureApplication();
        QWidget* w = WidgetOfHandle(window);
        if (!w) throw NoWindow(window);
        const QRect r = w->isWindow() ? w->frameGeometry() : QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }

    int ScreenHeightTwips() override {
        EnsureApplication();
        const QScreen* s = QGuiApplication::primaryScreen();
        if (!s) throw PlatformError(errnum::kNotSupported, "Marbrook", "no screen");
        return s->geometry().height() * TwipsPerPixelY();
    }

    ui::WindowHandle HandleOf(ui::Form& form) override { return HandleOfWidget(View(form).Dialog()); }

    void SetParentWindow(ui::Form& form, ui::WindowHandle parent) override {
        FormView& v = View(form);
        QWidget* p = WidgetOfHandle(parent);
        if (!p) throw NoWindow(parent);
        // A child window lives inside its parent; the view keeps track of
        // the dialog through a guarded pointer, so the parent may go first.
        v.Dialog()->setParent(p, Qt::Widget);
    }

    void SetWindowPosition(ui::Form& form, ui::WindowHandle insertAfter, int left, int top) override {
        FormView& v = View(form);
        QDialog* d = v.Dialog();
        if (d->isWindow()) SetTransientParent(*d, insertAfter);
        d->move(left, top);
    }

    void ShowForm(ui::Form& form, bool modal, ui::WindowHandle parent) override {
        FormView& v = View(form);
        QPointer<QDialog> d = v.Dialog();
        v.Flush();
        if (d->isWindow()) SetTransientParent(*d, parent);
        form.SetVisibleState(true);
        if (!modal) {
            d->setWindowModality(Qt::NonModal);
            d->show();
            return;
        }
        if (v.modalLoop) throw PlatformError(errnum::kInvalidProcedureCall, "Marbrook", "Form already displayed; can't show modally");
        d->setWindowModality(Qt::ApplicationModal);
        // The pointer must not say "busy" over a form waiting for the user.
        const ui::MousePointer before = pointer_;
        if (before != ui::MousePointer::Default) SetMousePointer(ui::MousePointer::Default);
        d->show();
        d->raise();
        d->activateWindow();
        v.FocusFirst();
        QEventLoop loop;
        v.modalLoop = &loop;
        if (form.IsVisible() && d && d->isVisible()) loop.exec(QEventLoop::DialogExec);
        // The view may have been unloaded (retired) meanwhile: it is still
        // owned by this service either way, so the pointer is good.
        v.modalLoop = nullptr;
        if (d) d->setWindowModality(Qt::NonModal);
        // The caller restores its own pointer on its way out.
        if (before != ui::MousePointer::Default) SetMousePointer(before);
    }

    void HideForm(ui::Form& form) override {
        form.SetVisibleState(false);
        auto it = views_.find(&form);
        if (it == views_.end()) return;
        if (QDialog* d = it->second->Dialog()) d->hide();
        it->second->EndModal();
    }

    void UnloadForm(ui::Form& form) override {
        form.SetVisibleState(false);
        form.MarkUnloaded();
        auto it = views_.find(&form);
        if (it == views_.end()) return;
        if (QDialog* d = it->second->Dialog()) d->hide();
        it->second->EndModal();
        // The handler that asked for this may still be running inside one of
        // the view's signals: the view goes at the next service call.
        retired_.push_back(std::move(it->second));
        views_.erase(it);
    }

    void RunBackground(ui::Form& form, std::shared_ptr<ui::BackgroundTask> task) override {
        EnsureApplication();
        FormView& v = View(form);
        QPointer<QDialog> dialog = v.Dialog();
        auto context = std::make_unique<QObject>();
        QEventLoop loop;
        bool finished = false;
        auto queued = std::make_shared<std::atomic<bool>>(false);
        const std::function<void()> pump = [&] {
            queued->store(false);
            if (finished) return;
            if (task->Pump() == ui::BackgroundTask::Progress::Finished) {
                finished = true;
                loop.quit();
            }
        };
        // Called on the work's thread: the pump runs on this one, once per
        // turn of the loop however often the work calls.
        QObject* raw = context.get();
        task->SetWake([raw, queued, &pump] {
            if (!queued->exchange(true)) QMetaObject::invokeMethod(raw, [&pump] { pump(); }, Qt::QueuedConnection);
        });
        BusyFilter filter(v, *task);
        QCoreApplication::instance()->installEventFilter(&filter);
        QTimer::singleShot(ui::kBusyDelay, raw, [&] {
            task->ShowBusy();
            // A form not shown yet (a remembered location replayed before
            // the dialog opens) is shown now, so that the user sees why the
            // host waits and can stop it.
            if (dialog && !dialog->isVisible()) {
                v.Flush();
                dialog->setWindowModality(Qt::ApplicationModal);
                dialog->show();
            }
        });
        v.SetWaiting(true);
        struct Leave {
            ui::BackgroundTask& task;
            BusyFilter& filter;
            FormView& view;
            ~Leave() {
                task.SetWake(nullptr);
                QCoreApplication::instance()->removeEventFilter(&filter);
                view.SetWaiting(false);
            }
        } leave{*task, filter, v};
        std::thread([task] {
            task->Run();
            task->MarkEnded();
            task->Wake();
        }).detach();
        if (!finished) loop.exec();
    }

    FormView* Find(ui::Form& form) {
        Prune();
        auto it = views_.find(&form);
        return it == views_.end() ? nullptr : it->second.get();
    }

private:
    FormView& View(ui::Form& form) {
        EnsureApplication();
        Prune();
        form.EnsureLoaded();
        auto& slot = views_[&form];
        if (!slot) slot = MakeView(form, viewsOfForms_);
        return *slot;
    }

    // Drops views whose forms were destroyed without being unloaded, and the
    // views unloaded earlier.
    void Prune() {
        for (auto it = views_.begin(); it != views_.end();) {
            if (it->second->FormAlive() || it->second->modalLoop) {
                ++it;
                continue;
            }
            retired_.push_back(std::move(it->second));
            it = views_.erase(it);
        }
        std::erase_if(retired_, [](const std::unique_ptr<FormView>& v) { return v->modalLoop == nullptr; });
    }

    void SetTransientParent(QDialog& d, ui::WindowHandle parent) {
        if (parent == ui::kNoParent || parent == gis::kNoWindow) return;
        QWidget* p = WidgetOfHandle(parent);
        QWindow* owner = p ? p->window()->windowHandle() : ForeignWindow(parent);
        if (!owner) return;
        d.winId(); // the native window must exist to take a transient parent
        if (QWindow* self = d.windowHandle()) self->setTransientParent(owner);
    }

    // A window of another process (a host that runs the dialog in a program
    // of its own passes its main window's id): the dialog stays above it as
    // over a window of its own. None where the window system has no foreign
    // windows (offscreen) or the id names no window.
    //
    // The stand-ins for such windows live as long as the application object,
    // to the end of the process: one destroyed while static objects are torn
    // down would reach into Qt's own statics, freed by then.
    static QWindow* ForeignWindow(ui::WindowHandle handle) {
        if (handle <= 0 || !QGuiApplication::instance()) return nullptr;
        static auto* const foreign = new std::map<ui::WindowHandle, QWindow*>;
        const auto found = foreign->find(handle);
        if (found != foreign->end()) return found->second;
        QWindow* window = QWindow::fromWinId(static_cast<WId>(handle));
        if (!window) return nullptr;
        return foreign->emplace(handle, window).first->second;
    }

    ViewMaker viewsOfForms_;
    std::map<ui::Form*, std::unique_ptr<FormView>> views_;
    std::vector<std::unique_ptr<FormView>> retired_;
    ui::MousePointer pointer_ = ui::MousePointer::Default;
    bool overridden_ = false;
};

} // namespace

void EnsureApplication() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (!qobject_cast<QApplication*>(app))
            throw PlatformError(errnum::kNotSupported, "Marbrook",
                                "the host runs a Qt application without widgets; the dialog cannot be shown");
        return;
    }
    if (!DisplayAvailable())
        throw PlatformError(errnum::kNotSupported, "Marbrook",
                            "no display: set DISPLAY (X11) or WAYLAND_DISPLAY to a running display, or run under xvfb-run");
    // Lives to the end of the process: hosts and their widgets may still
    // refer to it while static objects are destroyed.
    static int argc = 1;
    static char name[] = "marbrook";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

ui::WindowHandle HandleOfWidget(QWidget* widget) {
    if (!widget) return gis::kNoWindow;
    return static_cast<ui::WindowHandle>(widget->window()->winId());
}

QWidget* WidgetOfHandle(ui::WindowHandle handle) {
    if (handle == gis::kNoWindow || handle == ui::kNoParent || !QApplication::instance()) return nullptr;
    if (QWidget* w = QWidget::find(static_cast<WId>(handle))) return w;
    // Hosts may also pass a widget's address; accept only a live widget.
    for (QWidget* w : QApplication::allWidgets())
        if (reinterpret_cast<ui::WindowHandle>(w) == handle) return w;
    return nullptr;
}

QWidget* FormWindow(ui::UiService& service, ui::Form& form) {
    auto* q = dynamic_cast<QtUi*>(&service);
    FormView* v = q ? q->Find(form) : nullptr;
    return v ? v->Dialog() : nullptr;
}

void FlushForm(ui::UiService& service, ui::Form& form) {
    auto* q = dynamic_cast<QtUi*>(&service);
    if (FormView* v = q ? q->Find(form) : nullptr) v->Flush();
}

std::unique_ptr<ui::UiService> NewQtUi(ViewMaker views) { return std::make_unique<QtUi>(std::move(views)); }

} // namespace marbrook::qt
