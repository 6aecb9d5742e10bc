#include "platform/qt/FormView.h"

#include <QAbstractButton>

#include <chrono>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QPainter>
#include <QResizeEvent>
#include <QHelpEvent>
#include <QTextLayout>
#include <QKeyEvent>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
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
    // Escape presses the form's cancel button, or acts as the close box.
    void reject() override {
        if (!view_.Escape()) close();
    }
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

namespace {

// The room an item's text may take in the list view at most: a name longer
// than the view is cut, and its tooltip shows it whole.
int MaxListTextWidth(const QListView* view) { return std::max(160, view->viewport()->width() - 40); }

// A name on at most two lines of `width` pixels, broken between words or,
// for a name without blanks, anywhere; `cut` when it needs more.
struct TwoLines {
    QStringList lines;
    bool cut = false;
};

TwoLines BreakName(const QString& text, const QFont& font, int width) {
    TwoLines out;
    const QFontMetrics metrics(font);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setAlignment(Qt::AlignHCenter);
    layout.setTextOption(option);
    layout.beginLayout();
    int start = 0;
    for (int n = 0; n < 2; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        start = line.textStart();
        out.lines << text.mid(start, line.textLength());
        if (n == 1 && line.textStart() + line.textLength() < text.size()) {
            out.cut = true;
            out.lines.last() = metrics.elidedText(text.mid(start), Qt::ElideRight, width);
        }
    }
    layout.endLayout();
    return out;
}

// Draws the list's items and sizes them cheaply: a list of 100 000 names is
// laid out again as it grows, so a size must not need a text layout. Large
// icons show their names on two lines. A name that does not fit its item
// shows whole in a tooltip.
class NameDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto* list = qobject_cast<const QListView*>(option.widget);
        if (!list || list->viewMode() != QListView::IconMode) return QStyledItemDelegate::paint(painter, option, index);
        QStyleOptionViewItem o(option);
        initStyleOption(&o, index);
        const QStyle* style = list->style();
        const QString text = o.text;
        o.text.clear();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &o, painter, list);
        const QSize icon = list->iconSize();
        const QRect iconRect(o.rect.left() + (o.rect.width() - icon.width()) / 2, o.rect.top() + 4, icon.width(), icon.height());
        const QIcon::Mode mode = !(o.state & QStyle::State_Enabled) ? QIcon::Disabled
                                 : (o.state & QStyle::State_Selected) ? QIcon::Selected
                                                                      : QIcon::Normal;
        o.icon.paint(painter, iconRect, Qt::AlignCenter, mode);
        const QRect textRect = TextRoom(o.rect, icon);
        const TwoLines lines = BreakName(text, o.font, textRect.width());
        painter->save();
        painter->setFont(o.font);
        painter->setPen(o.palette.color(o.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        const QFontMetrics metrics(o.font);
        int y = textRect.top();
        for (const QString& line : lines.lines) {
            painter->drawText(QRect(textRect.left(), y, textRect.width(), metrics.lineSpacing()), Qt::AlignHCenter | Qt::AlignTop, line);
            y += metrics.lineSpacing();
        }
        painter->restore();
        if (o.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(o);
            focus.rect = QRect(textRect.left(), textRect.top(), textRect.width(), y - textRect.top());
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, list);
        }
    }

    // Where a large icon's name goes: below the icon, inside the item.
    static QRect TextRoom(const QRect& item, const QSize& icon) {
        return QRect(item.left() + 3, item.top() + icon.height() + 8, std::max(0, item.width() - 6),
                     std::max(0, item.height() - icon.height() - 10));
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto* list = qobject_cast<const QListView*>(option.widget);
        const auto* model = dynamic_cast<const ListModel*>(index.model());
        if (!list || !model) return QStyledItemDelegate::sizeHint(option, index);
        // Large icons: every item fills its cell, so that a name has the
        // cell's width for its two lines.
        if (list->viewMode() == QListView::IconMode && list->gridSize().isValid()) return list->gridSize() - QSize(4, 4);
        const QFontMetrics metrics(option.font);
        const int icon = list->iconSize().width();
        const int text = std::min(model->TextWidth(index.row(), metrics), MaxListTextWidth(list));
        return {icon + text + 14, std::max(list->iconSize().height(), metrics.height()) + 4};
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || !index.isValid()) return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data(Qt::DisplayRole).toString();
        if (!text.isEmpty() && Cut(view, option, index, text)) {
            QToolTip::showText(event->globalPos(), text, view->viewport(), view->visualRect(index));
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }

    // Whether `text` is drawn cut (elided) in its item.
    bool Cut(const QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index,
             const QString& text) const {
        QStyleOptionViewItem o(option);
        initStyleOption(&o, index);
        o.rect = view->visualRect(index);
        const QStyle* style = view->style();
        const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &o, view);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const QRect textRoom = room.adjusted(margin, 0, -margin, 0);
        const QFontMetrics metrics(o.font);
        if (const auto* list = qobject_cast<const QListView*>(view); list && list->viewMode() == QListView::IconMode)
            return BreakName(text, o.font, TextRoom(o.rect, list->iconSize()).width()).cut;
        return metrics.horizontalAdvance(text) > textRoom.width();
    }
};

} // namespace

int ListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max<int>(1, static_cast<int>(headers_.size()));
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == 0) return row.text;
        return column - 1 < row.subItems.size() ? row.subItems[column - 1] : QString();
    case Qt::DecorationRole:
        if (column != 0 || row.image < 1 || row.image > kLastDataTypeIcon) return {};
        if (icons_.empty()) {
            icons_.resize(kLastDataTypeIcon + 1);
            for (int i = 1; i <= kLastDataTypeIcon; ++i) icons_[static_cast<std::size_t>(i)] = DataTypeIcon(i);
        }
        return icons_[static_cast<std::size_t>(row.image)];
    case kTagRole: return row.tag;
    case kImageRole: return row.image;
    case kLargeRole: return large_;
    default: return {};
    }
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= headers_.size()) return {};
    return headers_[section];
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

ListModel::Row ListModel::MakeRow(const ui::ListView::Item& item) const {
    Row row;
    row.text = Q(item.text);
    row.image = large_ ? item.icon : item.smallIcon;
    row.tag = item.tag;
    for (const auto& sub : item.subItems) row.subItems << Q(sub);
    return row;
}

void ListModel::Reset(const std::vector<ui::ListView::Item>& items, const QStringList& headers, bool large) {
    beginResetModel();
    headers_ = headers;
    large_ = large;
    rows_.clear();
    rows_.reserve(items.size());
    for (const auto& item : items) rows_.push_back(MakeRow(item));
    widths_.clear();
    endResetModel();
}

void ListModel::Append(const std::vector<ui::ListView::Item>& items, std::size_t from) {
    if (from >= items.size()) return;
    beginInsertRows({}, static_cast<int>(rows_.size()), static_cast<int>(items.size()) - 1);
    for (std::size_t i = from; i < items.size(); ++i) rows_.push_back(MakeRow(items[i]));
    endInsertRows();
}

void ListModel::UpdateSubItems(const std::vector<ui::ListView::Item>& items, std::size_t first) {
    const std::size_t last = std::min(items.size(), rows_.size());
    if (first >= last) return;
    for (std::size_t i = first; i < last; ++i) {
        QStringList subs;
        for (const auto& sub : items[i].subItems) subs << Q(sub);
        rows_[i].subItems = std::move(subs);
        rows_[i].tag = items[i].tag;
    }
    emit dataChanged(index(static_cast<int>(first), 0), index(static_cast<int>(last) - 1, columnCount() - 1));
}

int ListModel::TextWidth(int row, const QFontMetrics& metrics) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return 0;
    if (widths_.size() < rows_.size()) widths_.resize(rows_.size(), -1);
    int& width = widths_[static_cast<std::size_t>(row)];
    if (width < 0) width = metrics.horizontalAdvance(rows_[static_cast<std::size_t>(row)].text);
    return width;
}

ListViewWidget::ListViewWidget(QWidget* parent)
    : QWidget(parent), stack_(new QStackedWidget(this)), list_(new QListView), report_(new QTreeView),
      model_(new ListModel(this)) {
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
    report_->setSortingEnabled(false);
    report_->header()->setStretchLastSection(false);
    report_->header()->setSectionsClickable(true);
    report_->header()->setSortIndicatorShown(false);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(list_), static_cast<QAbstractItemView*>(report_)}) {
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setItemDelegate(new NameDelegate(v));
        v->setTextElideMode(Qt::ElideMiddle);
    }
    list_->setMovement(QListView::Static);
    list_->setResizeMode(QListView::Adjust);
    // A big folder is laid out a part at a time, between other events.
    list_->setLayoutMode(QListView::Batched);
    list_->setBatchSize(400);
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
    const QFontMetrics metrics(list_->font());
    switch (mode) {
    case 0: { // large icons, in rows; a name wraps on two lines
        list_->setViewMode(QListView::IconMode);
        list_->setIconSize(QSize(32, 32));
        list_->setFlow(QListView::LeftToRight);
        list_->setWrapping(true);
        list_->setWordWrap(true);
        list_->setUniformItemSizes(true);
        list_->setTextElideMode(Qt::ElideRight);
        list_->setGridSize(QSize(std::max(110, metrics.averageCharWidth() * 17), 32 + 20 + 2 * metrics.lineSpacing()));
        break;
    }
    case 1: // small icons, in rows
        list_->setViewMode(QListView::ListMode);
        list_->setIconSize(QSize(16, 16));
        list_->setFlow(QListView::LeftToRight);
        list_->setWrapping(true);
        list_->setWordWrap(false);
        list_->setUniformItemSizes(false);
        list_->setTextElideMode(Qt::ElideMiddle);
        list_->setGridSize(QSize());
        break;
    case 2: // small icons, in columns as wide as their longest name
        list_->setViewMode(QListView::ListMode);
        list_->setIconSize(QSize(16, 16));
        list_->setFlow(QListView::TopToBottom);
        list_->setWrapping(true);
        list_->setWordWrap(false);
        list_->setUniformItemSizes(false);
        list_->setTextElideMode(Qt::ElideMiddle);
        list_->setGridSize(QSize());
        list_->setSpacing(1);
        break;
    default:
        break;
    }
    QWidget* shown = mode == 3 ? static_cast<QWidget*>(report_) : static_cast<QWidget*>(list_);
    stack_->setCurrentWidget(shown);
    setFocusProxy(shown);
}

void ListViewWidget::FitColumns(const std::vector<int>& maxWidths) {
    QHeaderView* header = report_->header();
    const int columns = model_->columnCount();
    if (columns < 1) return;
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    const QFontMetrics metrics(report_->font());
    const int rows = std::min(model_->rowCount(), 500);
    for (int c = 1; c < columns; ++c) {
        int width = metrics.horizontalAdvance(model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) + 28;
        for (int r = 0; r < rows; ++r) width = std::max(width, metrics.horizontalAdvance(model_->index(r, c).data().toString()) + 16);
        const int cap = c - 1 < static_cast<int>(maxWidths.size()) ? maxWidths[static_cast<std::size_t>(c - 1)] : width;
        header->setSectionResizeMode(c, QHeaderView::Interactive);
        report_->setColumnWidth(c, std::max(0, std::min(width, cap)));
    }
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
    QTimer::singleShot(0, context_.get(), [this] {
        // While the form waits for background work, rows that keep coming
        // may wait for the next of a few updates a second.
        forcing_ = !waiting_;
        Flush();
        forcing_ = true;
    });
}

void FormView::SetWaiting(bool waiting) {
    waiting_ = waiting;
    if (!waiting) Flush();
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
        // The default button takes Enter wherever the focus is (the dialog
        // passes it on); no other button does.
        if (auto* push = qobject_cast<QPushButton*>(w)) {
            push->setAutoDefault(false);
            push->setDefault(c.Default());
        }
    });
    if (handler) {
        QObject::connect(w, &QAbstractButton::clicked, context_.get(), [this, handler] { UserAction(handler); });
        buttons_.push_back({&c, w, handler});
    }
}

bool FormView::Escape() {
    if (!FormAlive()) return false;
    for (const auto& b : buttons_) {
        if (!b.control->Cancel() || !b.control->Visible() || !b.control->Enabled() || !b.widget) continue;
        UserAction(b.handler);
        return true;
    }
    return false;
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

namespace {

// Calls `onEvent` for the events of the objects it watches; true consumes.
class EventTap final : public QObject {
public:
    EventTap(QObject* parent, std::function<bool(QObject*, QEvent*)> onEvent) : QObject(parent), onEvent_(std::move(onEvent)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override { return onEvent_(watched, event); }

private:
    std::function<bool(QObject*, QEvent*)> onEvent_;
};

} // namespace

void FormView::BindListView(ui::ListView& c, ListViewWidget* w, std::function<void()> itemClick,
                            std::function<void()> dblClick, std::function<void(int, int)> keyDown,
                            std::function<void(int)> columnClick) {
    struct Shown {
        std::uint64_t revision = ~std::uint64_t{0};
        int mode = -1;
        std::vector<std::pair<std::string, double>> columns;
        std::chrono::steady_clock::time_point lastAppend;
        bool appendWaiting = false;
    };
    auto shown = std::make_shared<Shown>();
    const std::size_t index = bindings_.size();
    Add(c, w, [this, &c, w, shown, index] {
        ListModel& model = *w->Model();
        const int mode = c.View() >= 0 && c.View() <= 3 ? c.View() : 2;
        w->SetMode(mode);
        const auto& items = c.Items();
        std::vector<std::pair<std::string, double>> columns;
        if (mode == 3)
            for (const auto& col : c.Columns()) columns.emplace_back(col.text, col.width);
        std::vector<int> widthCaps;
        for (const auto& col : columns) widthCaps.push_back(std::max(0, Px(col.second)));
        const auto rowsShown = static_cast<std::size_t>(model.rowCount());
        const bool rebuild = shown->revision != c.Revision() || shown->mode != mode || shown->columns != columns ||
                             items.size() < rowsShown;
        if (rebuild) {
            QStringList headers;
            for (const auto& col : columns) headers << Q(col.first);
            model.Reset(items, headers, mode == 0);
            shown->revision = c.Revision();
            shown->mode = mode;
            shown->columns = columns;
            shown->lastAppend = std::chrono::steady_clock::now();
            if (mode == 3) w->FitColumns(widthCaps);
        } else if (items.size() > rowsShown) {
            // Rows that keep coming are taken in a few times a second, not
            // part by part: every part makes the list lay itself out again.
            constexpr auto kAppendEvery = std::chrono::milliseconds(100);
            const auto now = std::chrono::steady_clock::now();
            const auto since = now - shown->lastAppend;
            if (!forcing_ && rowsShown > 0 && since < kAppendEvery) {
                bindings_[index]->dirty = true; // a flush that must show all takes them
                if (!shown->appendWaiting && context_) {
                    shown->appendWaiting = true;
                    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kAppendEvery - since);
                    QTimer::singleShot(static_cast<int>(wait.count()) + 1, context_.get(), [this, shown, index] {
                        shown->appendWaiting = false;
                        MarkDirty(index);
                    });
                }
            } else {
                model.Append(items, rowsShown);
                shown->lastAppend = now;
                if (mode == 3 && rowsShown < 500) w->FitColumns(widthCaps);
            }
        }
        if (c.TouchedFrom() >= 1 && c.TouchedFrom() <= model.rowCount())
            model.UpdateSubItems(items, static_cast<std::size_t>(c.TouchedFrom() - 1));
        c.ResetTouched();
        QHeaderView* header = w->Report()->header();
        header->setSortIndicatorShown(mode == 3 && c.SortKey() >= 0);
        if (mode == 3 && c.SortKey() >= 0)
            header->setSortIndicator(c.SortKey(), c.SortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
        const auto selectionMode = c.MultiSelect() ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
        w->List()->setSelectionMode(selectionMode);
        w->Report()->setSelectionMode(selectionMode);
        QItemSelection selection;
        long first = 0;
        const int rows = model.rowCount();
        for (int i = 0; i < rows; ++i)
            if (items[static_cast<std::size_t>(i)].selected) {
                selection.select(model.index(i, 0), model.index(i, model.columnCount() - 1));
                if (!first) first = i + 1;
            }
        QItemSelectionModel* sm = w->List()->selectionModel();
        if (sm->selection() != selection) sm->select(selection, QItemSelectionModel::ClearAndSelect);
        if (first) sm->setCurrentIndex(model.index(static_cast<int>(first - 1), 0), QItemSelectionModel::NoUpdate);
    });
    // The form computes report column widths from the list's width.
    w->onResize = [this, &c](int widthPx, int heightPx) {
        if (syncing_ || !FormAlive()) return;
        c.SetWidth(widthPx * 15.0);
        c.SetHeight(heightPx * 15.0);
    };
    // The user's selection becomes the control's before any handler runs;
    // true when it changed.
    auto copySelection = [this, &c, w] {
        if (syncing_ || !FormAlive()) return false;
        QItemSelectionModel* sm = w->List()->selectionModel();
        const long n = c.Count();
        std::vector<bool> wanted(static_cast<std::size_t>(n), false);
        for (const QModelIndex& idx : sm->selectedRows(0))
            if (idx.row() < n) wanted[static_cast<std::size_t>(idx.row())] = true;
        bool same = true;
        for (long i = 1; i <= n && same; ++i) same = c.At(i).selected == wanted[static_cast<std::size_t>(i - 1)];
        if (same) return false;
        c.ClearSelection();
        const bool multi = c.MultiSelect();
        for (long i = 1; i <= n; ++i)
            if (wanted[static_cast<std::size_t>(i - 1)]) {
                c.SetSelected(i, true);
                if (!multi) break;
            }
        return true;
    };
    // A change of the selection, by mouse or by keys, runs the handler a
    // click runs; a click that changes nothing runs it too.
    auto clickChanged = std::make_shared<bool>(false);
    QObject::connect(w->List()->selectionModel(), &QItemSelectionModel::selectionChanged, context_.get(),
                     [this, copySelection, itemClick, clickChanged] {
                         if (syncing_ || !FormAlive() || !copySelection()) return;
                         *clickChanged = true;
                         if (itemClick) UserAction(itemClick);
                     });
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(w->List()), static_cast<QAbstractItemView*>(w->Report())}) {
        QObject::connect(v, &QAbstractItemView::clicked, context_.get(), [this, copySelection, itemClick, clickChanged](const QModelIndex& idx) {
            if (!idx.isValid() || syncing_ || !FormAlive()) return;
            copySelection();
            if (!*clickChanged && itemClick) UserAction(itemClick);
        });
        QObject::connect(v, &QAbstractItemView::doubleClicked, context_.get(), [this, &c, copySelection, dblClick](const QModelIndex& idx) {
            if (!idx.isValid() || syncing_ || !FormAlive()) return;
            copySelection();
            if (idx.row() < c.Count() && !c.At(idx.row() + 1).selected) c.SetSelected(idx.row() + 1, true);
            if (dblClick) UserAction(dblClick);
        });
        // Enter and Backspace go to the form; a press starts a new click.
        auto* tap = new EventTap(v, [this, copySelection, keyDown, clickChanged, v](QObject* watched, QEvent* event) {
            if (event->type() == QEvent::MouseButtonPress && watched == v->viewport()) *clickChanged = false;
            if (event->type() != QEvent::KeyPress || watched != v || !keyDown) return false;
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
            int code = 0;
            if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) code = 13;
            else if (plain && key->key() == Qt::Key_Backspace) code = 8;
            if (code == 0) return false;
            copySelection();
            UserAction([&] { keyDown(code, 0); });
            return true;
        });
        v->installEventFilter(tap);
        v->viewport()->installEventFilter(tap);
    }
    QObject::connect(w->Report()->header(), &QHeaderView::sectionClicked, context_.get(), [this, columnClick](int section) {
        if (columnClick) UserAction([&] { columnClick(section); });
    });
}

void FormView::BindBusy(ui::BusyIndicator& c, QWidget* w, QLabel* label) {
    Add(c, w, [&c, label] { label->setText(Q(c.Caption())); });
}

void FormView::OnReturn(QLineEdit* w, std::function<void()> handler) {
    QObject::connect(w, &QLineEdit::returnPressed, context_.get(), [this, handler] { UserAction(handler); });
}

void FormView::BindAny(ui::Control& c, QWidget* w) {
    if (auto* lv = dynamic_cast<ui::ListView*>(&c)) return BindListView(*lv, static_cast<ListViewWidget*>(w), {}, {}, {}, {});
    if (auto* ic = dynamic_cast<ui::ImageCombo*>(&c)) return BindImageCombo(*ic, static_cast<QComboBox*>(w), {});
    if (auto* dd = dynamic_cast<ui::DropDownList*>(&c)) return BindDropDown(*dd, static_cast<QComboBox*>(w), {});
    if (auto* tb = dynamic_cast<ui::TextBox*>(&c)) return BindText(*tb, static_cast<QLineEdit*>(w), {});
    if (auto* cb = dynamic_cast<ui::CheckBox*>(&c)) return BindCheck(*cb, static_cast<QCheckBox*>(w), {});
    if (auto* ob = dynamic_cast<ui::OptionButton*>(&c)) return BindOption(*ob, static_cast<QAbstractButton*>(w), {});
    if (auto* bt = dynamic_cast<ui::CommandButton*>(&c)) return BindButton(*bt, static_cast<QAbstractButton*>(w), {});
    if (auto* lb = dynamic_cast<ui::Label*>(&c)) return BindLabel(*lb, static_cast<QLabel*>(w));
}

} // namespace marbrook::qt
