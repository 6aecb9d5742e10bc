#include "platform/qt/FormView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QResizeEvent>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "platform/qt/QtIcons.h"

namespace marbrook::qt {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }
int Px(double twips) { return static_cast<int>(twips / 15.0 + 0.5); }

// Draws an image-combo entry moved right by its indentation.
class IndentDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem o(option);
        o.rect.setLeft(o.rect.left() + kIndentPixels * index.data(kIndentationRole).toInt());
        QStyledItemDelegate::paint(painter, o, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.rwidth() += kIndentPixels * index.data(kIndentationRole).toInt();
        return s;
    }
};

} // namespace

// ---- The dialog window -------------------------------------------------------

class FormView::Dialog_ final : public QDialog {
public:
    explicit Dialog_(FormView& view) : view_(view) {}

protected:
    // The close box ends the display without running a handler of the form.
    void closeEvent(QCloseEvent* e) override {
        e->accept();
        view_.CloseBox();
    }
    // Escape acts as the close box; the form decides what its buttons do.
    void reject() override { close(); }
    void resizeEvent(QResizeEvent* e) override {
        QDialog::resizeEvent(e);
        if (!view_.FormAlive() || view_.syncing_) return;
        view_.form_.width = e->size().width() * 15.0;
        view_.form_.height = e->size().height() * 15.0;
    }

private:
    FormView& view_;
};

// ---- List view widget --------------------------------------------------------

ListViewWidget::ListViewWidget(QWidget* parent)
    : QWidget(parent), stack_(new QStackedWidget(this)), list_(new QListView), report_(new QTreeView),
      model_(new QStandardItemModel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack_);
    list_->setObjectName(QStringLiteral("LVDataList.list"));
    report_->setObjectName(QStringLiteral("LVDataList.report"));
    list_->setModel(model_);
    report_->setModel(model_);
    // One selection for both views: switching shows the same selected items.
    QItemSelectionModel* old = report_->selectionModel();
    report_->setSelectionModel(list_->selectionModel());
    delete old;
    report_->setRootIsDecorated(false);
    report_->setItemsExpandable(false);
    report_->setUniformRowHeights(true);
    report_->setIconSize(QSize(16, 16));
    report_->header()->setStretchLastSection(false);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(list_), static_cast<QAbstractItemView*>(report_)}) {
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
    }
    list_->setUniformItemSizes(true);
    list_->setTextElideMode(Qt::ElideMiddle);
    list_->setMovement(QListView::Static);
    list_->setResizeMode(QListView::Adjust);
    stack_->addWidget(list_);
    stack_->addWidget(report_);
    SetMode(2);
}

QAbstractItemView* ListViewWidget::Current() const {
    return mode_ == 3 ? static_cast<QAbstractItemView*>(report_) : static_cast<QAbstractItemView*>(list_);
}

void ListViewWidget::SetMode(int mode) {
    if (mode == mode_) return;
    mode_ = mode;
    switch (mode) {
    case 0: // large icons, in rows
        list_->setViewMode(QListView::IconMode);
        list_->setIconSize(QSize(32, 32));
        list_->setFlow(QListView::LeftToRight);
        list_->setWrapping(true);
        list_->setWordWrap(true);
        list_->setGridSize(QSize(100, 64));
        break;
    case 1: // small icons, in rows
        list_->setViewMode(QListView::ListMode);
        list_->setIconSize(QSize(16, 16));
        list_->setFlow(QListView::LeftToRight);
        list_->setWrapping(true);
        list_->setWordWrap(false);
        list_->setGridSize(QSize(150, 20));
        break;
    case 2: // small icons, in columns
        list_->setViewMode(QListView::ListMode);
        list_->setIconSize(QSize(16, 16));
        list_->setFlow(QListView::TopToBottom);
        list_->setWrapping(true);
        list_->setWordWrap(false);
        list_->setGridSize(QSize());
        break;
    default:
        break;
    }
    stack_->setCurrentWidget(mode == 3 ? static_cast<QWidget*>(report_) : static_cast<QWidget*>(list_));
}

void ListViewWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (onResize) onResize(e->size().width(), e->size().height());
}

// ---- Form view ---------------------------------------------------------------

FormView::FormView(ui::Form& form)
    : form_(form), token_(std::make_shared<int>(0)), alive_(token_), context_(std::make_unique<QObject>()) {
    auto* d = new Dialog_(*this);
    d->setObjectName(QString::fromLatin1(form.FormName()));
    d->setAttribute(Qt::WA_DeleteOnClose, false);
    d->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    dialog_ = d;
}

FormView::~FormView() {
    context_.reset(); // cancels a pending flush
    if (FormAlive())
        for (auto& b : bindings_) b->control->SetObserver(nullptr);
    if (modalLoop) modalLoop->quit();
    if (dialog_) {
        dialog_->hide();
        dialog_->deleteLater();
    }
}

FormView::Binding& FormView::Add(ui::Control& c, QWidget* w, std::function<void()> sync) {
    auto b = std::make_unique<Binding>();
    b->control = &c;
    b->widget = w;
    b->sync = std::move(sync);
    b->focusSeen = c.FocusRequests();
    const std::size_t index = bindings_.size();
    bindings_.push_back(std::move(b));
    // The observer holds the token: when the form and its controls go, the
    // view learns that its form is gone.
    c.SetObserver([this, index, token = token_] { MarkDirty(index); });
    if (w) w->setObjectName(Q(c.ControlName()));
    return *bindings_.back();
}

void FormView::MarkDirty(std::size_t index) {
    bindings_[index]->dirty = true;
    if (flushScheduled_ || !context_) return;
    flushScheduled_ = true;
    QTimer::singleShot(0, context_.get(), [this] { Flush(); });
}

void FormView::Flush() {
    flushScheduled_ = false;
    token_.reset(); // from now on only the controls keep the token
    if (!FormAlive() || syncing_) return;
    syncing_ = true;
    for (auto& b : bindings_) {
        if (!b->dirty || !b->widget) continue;
        b->dirty = false;
        try {
            SyncCommon(*b);
            b->sync();
        } catch (...) {
            // A view must never take the host down; the next change retries.
        }
    }
    if (dialog_) dialog_->setWindowTitle(Q(form_.Caption()));
    syncing_ = false;
}

QWidget* FormView::WidgetOf(const std::string& name) const {
    for (const auto& b : bindings_)
        if (b->control->ControlName() == name) return b->widget;
    return nullptr;
}

void FormView::EndModal() {
    if (modalLoop) modalLoop->quit();
}

void FormView::CloseBox() {
    if (FormAlive()) form_.SetVisibleState(false);
    if (dialog_) dialog_->hide();
    EndModal();
}

void FormView::SyncCommon(Binding& b) {
    QWidget* w = b.widget;
    const ui::Control& c = *b.control;
    w->setEnabled(c.Enabled());
    w->setVisible(c.Visible());
    const QString tip = Q(c.ToolTipText());
    if (w->toolTip() != tip) w->setToolTip(tip);
    if (c.FocusRequests() != b.focusSeen) {
        b.focusSeen = c.FocusRequests();
        w->setFocus(Qt::OtherFocusReason);
    }
}

void FormView::UserAction(const std::function<void()>& action) {
    if (syncing_ || !FormAlive()) return;
    Flush(); // the widgets must show the state the user acted on
    action();
}

void FormView::SizeFromForm() {
    if (dialog_) dialog_->resize(std::max(Px(form_.width), 200), std::max(Px(form_.height), 120));
}

void FormView::BindLabel(ui::Label& c, QLabel* w) {
    Add(c, w, [&c, w] { w->setText(Q(c.Caption())); });
}

void FormView::BindFrame(ui::Frame& c, QGroupBox* w) {
    Add(c, w, [&c, w] { w->setTitle(Q(c.Caption())); });
}

void FormView::BindButton(ui::CommandButton& c, QAbstractButton* w, std::function<void()> handler) {
    Add(c, w, [&c, w] {
        w->setText(c.Picture().empty() ? Q(c.Caption()) : QString());
        w->setIcon(PictureIcon(Q(c.Picture())));
    });
    if (handler)
        QObject::connect(w, &QAbstractButton::clicked, context_.get(), [this, handler] { UserAction(handler); });
}

void FormView::BindOption(ui::OptionButton& c, QAbstractButton* w, std::function<void()> handler) {
    w->setCheckable(true);
    w->setAutoExclusive(false);
    Add(c, w, [&c, w] {
        w->setChecked(c.Value());
        w->setIcon(PictureIcon(Q(c.Picture())));
        w->setText(c.Picture().empty() ? Q(c.Caption()) : QString());
    });
    QObject::connect(w, &QAbstractButton::clicked, context_.get(), [this, &c, w, handler] {
        UserAction([&] {
            w->setChecked(true);
            c.SetValue(true);
            if (handler) handler();
        });
    });
}

void FormView::BindCheck(ui::CheckBox& c, QCheckBox* w, std::function<void()> handler) {
    Add(c, w, [&c, w] {
        w->setText(Q(c.Caption()));
        w->setChecked(c.Value() == 1);
    });
    QObject::connect(w, &QAbstractButton::clicked, context_.get(), [this, &c, handler](bool checked) {
        UserAction([&] {
            c.SetValue(checked ? 1 : 0);
            if (handler) handler();
        });
    });
}

void FormView::BindText(ui::TextBox& c, QLineEdit* w, std::function<void()> changeHandler) {
    Add(c, w, [&c, w] {
        const QString text = Q(c.Text());
        if (w->text() != text) w->setText(text);
        w->setEchoMode(c.PasswordChar() ? QLineEdit::Password : QLineEdit::Normal);
    });
    QObject::connect(w, &QLineEdit::textEdited, context_.get(), [this, &c, changeHandler](const QString& text) {
        if (syncing_ || !FormAlive()) return;
        // No flush first: the widget holds the newer text.
        if (c.SetText(S(text)) && changeHandler) changeHandler();
    });
}

void FormView::BindDropDown(ui::DropDownList& c, QComboBox* w, std::function<void()> handler) {
    auto shown = std::make_shared<std::vector<std::string>>();
    Add(c, w, [&c, w, shown] {
        std::vector<std::string> texts;
        texts.reserve(c.Entries().size());
        for (const auto& e : c.Entries()) texts.push_back(e.text);
        if (texts != *shown) {
            w->clear();
            for (std::size_t i = 0; i < texts.size(); ++i)
                w->addItem(Q(texts[i]), QVariant::fromValue<qlonglong>(c.Entries()[i].itemData));
            *shown = std::move(texts);
        }
        w->setCurrentIndex(c.ListIndex());
    });
    QObject::connect(w, &QComboBox::activated, context_.get(), [this, &c, handler](int index) {
        UserAction([&] {
            if (index >= 0 && index < c.ListCount()) c.SetListIndex(index);
            if (handler) handler();
        });
    });
}

void FormView::BindImageCombo(ui::ImageCombo& c, QComboBox* w, std::function<void()> handler) {
    w->setItemDelegate(new IndentDelegate(w));
    w->setIconSize(QSize(16, 16));
    auto* model = new QStandardItemModel(w);
    w->setModel(model);
    Add(c, w, [&c, w, model] {
        const auto& items = c.Items();
        if (model->rowCount() != static_cast<int>(items.size())) {
            model->setRowCount(0);
            model->setRowCount(static_cast<int>(items.size()));
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto& it = items[i];
            QStandardItem* m = model->item(static_cast<int>(i));
            if (!m) {
                m = new QStandardItem;
                model->setItem(static_cast<int>(i), m);
            }
            const QString text = Q(it.text);
            if (m->text() != text) m->setText(text);
            if (m->data(kImageRole).toInt() != it.image || !m->data(kImageRole).isValid()) {
                m->setData(it.image, kImageRole);
                m->setIcon(LocationImageIcon(it.image));
            }
            m->setData(it.indentation, kIndentationRole);
            m->setData(QVariant::fromValue<qlonglong>(it.tag), kTagRole);
            m->setEditable(false);
        }
        w->setCurrentIndex(static_cast<int>(c.SelectedIndex()) - 1);
    });
    QObject::connect(w, &QComboBox::activated, context_.get(), [this, &c, handler](int index) {
        UserAction([&] {
            if (index >= 0 && index < c.Count()) c.Select(index + 1);
            if (handler) handler();
        });
    });
}

void FormView::BindListView(ui::ListView& c, ListViewWidget* w, std::function<void()> itemClick,
                            std::function<void()> dblClick) {
    struct Shown {
        std::vector<std::string> texts;
        std::vector<int> icons;
        std::vector<std::vector<std::string>> subItems;
        std::vector<std::pair<std::string, double>> columns;
        int mode = -1;
    };
    auto shown = std::make_shared<Shown>();
    Add(c, w, [&c, w, shown] {
        QStandardItemModel* model = w->Model();
        const int mode = c.View() >= 0 && c.View() <= 3 ? c.View() : 2;
        w->SetMode(mode);
        const auto& items = c.Items();
        Shown now;
        now.mode = mode;
        now.texts.reserve(items.size());
        for (const auto& it : items) {
            now.texts.push_back(it.text);
            now.icons.push_back(mode == 0 ? it.icon : it.smallIcon);
            now.subItems.push_back(it.subItems);
        }
        if (mode == 3)
            for (const auto& col : c.Columns()) now.columns.emplace_back(col.text, col.width);
        const bool rebuild = now.texts != shown->texts || now.icons != shown->icons ||
                             now.subItems != shown->subItems || now.columns != shown->columns || now.mode != shown->mode;
        if (rebuild) {
            model->clear();
            const int columns = mode == 3 ? std::max<int>(1, static_cast<int>(now.columns.size())) : 1;
            model->setColumnCount(columns);
            if (mode == 3) {
                QStringList headers;
                for (const auto& col : now.columns) headers << Q(col.first);
                model->setHorizontalHeaderLabels(headers);
            }
            model->setRowCount(static_cast<int>(items.size()));
            for (std::size_t i = 0; i < items.size(); ++i) {
                auto* m = new QStandardItem(Q(items[i].text));
                m->setIcon(DataTypeIcon(now.icons[i]));
                m->setData(now.icons[i], kImageRole);
                m->setData(QVariant::fromValue<qlonglong>(items[i].tag), kTagRole);
                m->setEditable(false);
                model->setItem(static_cast<int>(i), 0, m);
                if (mode == 3)
                    for (std::size_t s = 0; s < items[i].subItems.size() && static_cast<int>(s) + 1 < columns; ++s) {
                        auto* sub = new QStandardItem(Q(items[i].subItems[s]));
                        sub->setEditable(false);
                        model->setItem(static_cast<int>(i), static_cast<int>(s) + 1, sub);
                    }
            }
            if (mode == 3)
                for (std::size_t k = 0; k < now.columns.size(); ++k)
                    w->Report()->setColumnWidth(static_cast<int>(k), std::max(0, Px(now.columns[k].second)));
            *shown = std::move(now);
        } else {
            for (std::size_t i = 0; i < items.size(); ++i)
                model->item(static_cast<int>(i))->setData(QVariant::fromValue<qlonglong>(items[i].tag), kTagRole);
        }
        const auto mode_ = c.MultiSelect() ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
        w->List()->setSelectionMode(mode_);
        w->Report()->setSelectionMode(mode_);
        QItemSelection selection;
        long first = 0;
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].selected) {
                const QModelIndex left = model->index(static_cast<int>(i), 0);
                const QModelIndex right = model->index(static_cast<int>(i), model->columnCount() - 1);
                selection.select(left, right);
                if (!first) first = static_cast<long>(i) + 1;
            }
        QItemSelectionModel* sm = w->List()->selectionModel();
        if (sm->selection() != selection) sm->select(selection, QItemSelectionModel::ClearAndSelect);
        if (first) sm->setCurrentIndex(model->index(static_cast<int>(first - 1), 0), QItemSelectionModel::NoUpdate);
    });
    // The form computes report column widths from the list's width.
    w->onResize = [this, &c](int widthPx, int heightPx) {
        if (syncing_ || !FormAlive()) return;
        c.SetWidth(widthPx * 15.0);
        c.SetHeight(heightPx * 15.0);
    };
    // The user's selection becomes the control's before any handler runs.
    auto copySelection = [this, &c, w] {
        if (syncing_ || !FormAlive()) return;
        QItemSelectionModel* sm = w->List()->selectionModel();
        const long n = c.Count();
        std::vector<bool> wanted(static_cast<std::size_t>(n), false);
        for (const QModelIndex& idx : sm->selectedRows(0))
            if (idx.row() < n) wanted[static_cast<std::size_t>(idx.row())] = true;
        bool same = true;
        for (long i = 1; i <= n && same; ++i) same = c.At(i).selected == wanted[static_cast<std::size_t>(i - 1)];
        if (same) return;
        c.ClearSelection();
        const bool multi = c.MultiSelect();
        for (long i = 1; i <= n; ++i)
            if (wanted[static_cast<std::size_t>(i - 1)]) {
                c.SetSelected(i, true);
                if (!multi) break;
            }
    };
    QObject::connect(w->List()->selectionModel(), &QItemSelectionModel::selectionChanged, context_.get(), copySelection);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(w->List()), static_cast<QAbstractItemView*>(w->Report())}) {
        QObject::connect(v, &QAbstractItemView::clicked, context_.get(), [this, copySelection, itemClick](const QModelIndex& idx) {
            if (!idx.isValid() || syncing_ || !FormAlive()) return;
            copySelection();
            if (itemClick) itemClick();
        });
        QObject::connect(v, &QAbstractItemView::doubleClicked, context_.get(), [this, &c, copySelection, dblClick](const QModelIndex& idx) {
            if (!idx.isValid() || syncing_ || !FormAlive()) return;
            copySelection();
            if (idx.row() < c.Count() && !c.At(idx.row() + 1).selected) c.SetSelected(idx.row() + 1, true);
            if (dblClick) dblClick();
        });
    }
}

void FormView::BindAny(ui::Control& c, QWidget* w) {
    if (auto* lv = dynamic_cast<ui::ListView*>(&c)) return BindListView(*lv, static_cast<ListViewWidget*>(w), {}, {});
    if (auto* ic = dynamic_cast<ui::ImageCombo*>(&c)) return BindImageCombo(*ic, static_cast<QComboBox*>(w), {});
    if (auto* dd = dynamic_cast<ui::DropDownList*>(&c)) return BindDropDown(*dd, static_cast<QComboBox*>(w), {});
    if (auto* tb = dynamic_cast<ui::TextBox*>(&c)) return BindText(*tb, static_cast<QLineEdit*>(w), {});
    if (auto* cb = dynamic_cast<ui::CheckBox*>(&c)) return BindCheck(*cb, static_cast<QCheckBox*>(w), {});
    if (auto* ob = dynamic_cast<ui::OptionButton*>(&c)) return BindOption(*ob, static_cast<QAbstractButton*>(w), {});
    if (auto* bt = dynamic_cast<ui::CommandButton*>(&c)) return BindButton(*bt, static_cast<QAbstractButton*>(w), {});
    if (auto* lb = dynamic_cast<ui::Label*>(&c)) return BindLabel(*lb, static_cast<QLabel*>(w));
}

} // namespace marbrook::qt
