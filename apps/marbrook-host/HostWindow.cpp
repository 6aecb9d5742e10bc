#include "HostWindow.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "FirstStart.h"
#include "platform/object.h"

namespace marbrook::host {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

enum class Shape { Point, Line, Polygon, Annotation, Raster, Cad, Other };

Shape ShapeOf(const gis::Layer& layer) {
    switch (layer.Kind()) {
    case gis::LayerKind::Raster: return Shape::Raster;
    case gis::LayerKind::Cad: return Shape::Cad;
    case gis::LayerKind::Annotation:
    case gis::LayerKind::CoverageAnnotation: return Shape::Annotation;
    case gis::LayerKind::Feature: break;
    }
    const auto* fl = dynamic_cast<const gis::FeatureLayer*>(&layer);
    gis::FeatureClassPtr fc;
    try {
        fc = fl ? fl->GetFeatureClass() : nullptr;
    } catch (...) {
    }
    if (!fc) return Shape::Other;
    switch (fc->ShapeKind()) {
    case gis::shape::kPoint:
    case gis::shape::kMultipoint: return Shape::Point;
    case gis::shape::kPolyline:
    case gis::shape::kLine: return Shape::Line;
    case gis::shape::kPolygon:
    case gis::shape::kMultiPatch: return Shape::Polygon;
    default: return Shape::Other;
    }
}

QString KindText(Shape s) {
    switch (s) {
    case Shape::Point: return QStringLiteral("points");
    case Shape::Line: return QStringLiteral("lines");
    case Shape::Polygon: return QStringLiteral("polygons");
    case Shape::Annotation: return QStringLiteral("annotation");
    case Shape::Raster: return QStringLiteral("raster");
    case Shape::Cad: return QStringLiteral("CAD drawing");
    case Shape::Other: break;
    }
    return QStringLiteral("features");
}

// The host's own small pictures of the layer kinds.
QIcon KindIcon(Shape s) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (s) {
    case Shape::Point:
        p.setBrush(QColor(0x2e, 0x9e, 0x44));
        for (QPointF c : {QPointF(4, 4), QPointF(11, 6), QPointF(6, 12)}) p.drawEllipse(c, 2.2, 2.2);
        break;
    case Shape::Line:
        p.setPen(QPen(QColor(0x20, 0x60, 0xc0), 2));
        p.drawPolyline(QPolygonF({QPointF(1, 14), QPointF(5, 5), QPointF(9, 11), QPointF(15, 2)}));
        break;
    case Shape::Polygon:
        p.setBrush(QColor(0xf0, 0x8c, 0x3a));
        p.drawPolygon(QPolygonF({QPointF(2, 5), QPointF(8, 1), QPointF(14, 4), QPointF(12, 14), QPointF(4, 14)}));
        break;
    case Shape::Raster:
        for (int i = 0; i < 16; ++i) p.fillRect((i % 4) * 4, (i / 4) * 4, 4, 4, QColor::fromHsv(90 - i * 5, 160, 120 + i * 8));
        break;
    case Shape::Cad:
        p.setPen(QPen(QColor(0x2d, 0x5b, 0x99), 1));
        p.drawRect(1, 2, 13, 11);
        p.setPen(QPen(Qt::red, 1));
        p.drawEllipse(QPointF(6, 8), 3, 3);
        break;
    case Shape::Annotation:
        p.setPen(QColor(0x7a, 0x2a, 0x9a));
        p.setFont(QFont(QStringLiteral("serif"), 11, QFont::Bold));
        p.drawText(pm.rect(), Qt::AlignCenter, QStringLiteral("A"));
        break;
    case Shape::Other:
        p.setBrush(Qt::gray);
        p.drawRect(3, 3, 10, 10);
        break;
    }
    return QIcon(pm);
}

} // namespace

void TextPane::SetSelText(const std::string& text) {
    edit_->insertPlainText(Q(text)); // replaces the selection, leaves the caret after the text
}

HostWindow::HostWindow(ComponentLoader& loader, QWidget* parent) : QMainWindow(parent), loader_(loader) {
    setWindowTitle(QStringLiteral("Marbrook host"));
    setObjectName(QStringLiteral("MarbrookHost"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("&Add Data..."), central);
    auto* get = new QPushButton(QStringLiteral("&Get Layers..."), central);
    auto* repoint = new QPushButton(QStringLiteral("&Re-point..."), central);
    add->setObjectName(QStringLiteral("AddData"));
    get->setObjectName(QStringLiteral("GetLayers"));
    repoint->setObjectName(QStringLiteral("Repoint"));
    for (auto* b : {add, get, repoint}) buttons->addWidget(b);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    auto* split = new QSplitter(Qt::Vertical, central);
    layers_ = new QTreeWidget(split);
    layers_->setObjectName(QStringLiteral("LayerList"));
    layers_->setHeaderLabels({QStringLiteral("#"), QStringLiteral("Layer"), QStringLiteral("Kind"), QStringLiteral("Source")});
    layers_->setRootIsDecorated(false);
    layers_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    layers_->setColumnWidth(1, 180);
    pane_ = new QPlainTextEdit(split);
    pane_->setObjectName(QStringLiteral("SelText"));
    pane_->setPlaceholderText(QStringLiteral("Reports of the library appear here."));
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    setCentralWidget(central);
    resize(720, 480);
    textControl_ = std::make_unique<TextPane>(pane_);

    // The dialog offers the database connections only when the per-user
    // setting QM_VERDANTA / QM_DataSource / Type is 1.
    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    databases_ = settings->addAction(QStringLiteral("Offer &database connections (数据库连接)"));
    databases_->setObjectName(QStringLiteral("OfferDatabases"));
    databases_->setCheckable(true);
    databases_->setChecked(ReadSetting(DataSourceTypeFile(), "QM_DataSource", "Type").value_or("0") == "1");
    connect(databases_, &QAction::toggled, this, [this](bool on) { OfferDatabases(on); });

    connect(add, &QPushButton::clicked, this, [this] { AddData(); });
    connect(get, &QPushButton::clicked, this, [this] { GetLayers(); });
    connect(repoint, &QPushButton::clicked, this, [this] { Repoint(); });

    if (loader_.Loaded()) component_ = loader_.CreateLayerFunctions();
    if (component_) map_ = component_->NewMap();
    if (!Ready()) {
        Say(QStringLiteral("The library could not be loaded: ") + Q(loader_.Error()));
        for (auto* b : {add, get, repoint}) b->setEnabled(false);
    } else {
        Say(QStringLiteral("Loaded ") + Q(loader_.Path()));
    }
}

HostWindow::~HostWindow() {
    // Everything made by the library goes before the library may be unloaded.
    map_.reset();
    if (component_) component_->Release();
}

ui::WindowHandle HostWindow::Handle() { return static_cast<ui::WindowHandle>(winId()); }

// Host messages are whole lines at the end of the pane, so that report lines
// the library inserts at the caret start on a line of their own.
void HostWindow::Say(const QString& line) {
    pane_->moveCursor(QTextCursor::End);
    pane_->insertPlainText(line + QStringLiteral("\n"));
}

void HostWindow::AddData() {
    if (!Ready()) return;
    component_->AddLayerForMap(map_, Handle(), {}, true);
    RefreshLayers();
}

void HostWindow::GetLayers() {
    if (!Ready()) return;
    std::optional<Collection> got = component_->GetLayersByDlg(Handle(), true, {});
    if (!got) {
        Say(QStringLiteral("Get Layers: nothing came back (cancelled, or see the error log)."));
        return;
    }
    Say(QStringLiteral("Get Layers: %1 layer(s)").arg(got->Count()));
    for (long i = 1; i <= got->Count(); ++i)
        if (auto layer = got->ItemAs<gis::Layer>(i))
            Say(QStringLiteral("  %1  %2  %3").arg(KindText(ShapeOf(*layer)), Q(layer->Name()), Q(layer->DataSourceText())));
}

void HostWindow::Repoint() {
    if (!Ready()) return;
    QTreeWidgetItem* current = layers_->currentItem();
    const auto all = map_->Layers();
    const int row = current ? layers_->indexOfTopLevelItem(current) : -1;
    if (row < 0 || row >= static_cast<int>(all.size())) {
        Say(QStringLiteral("Re-point: select a layer of the list first."));
        return;
    }
    gis::LayerPtr target = all[static_cast<std::size_t>(row)];
    if (!dynamic_cast<gis::DataLayer*>(target.get())) {
        Refuse(QStringLiteral("Re-point: only a feature layer can be re-pointed; select one first."));
        return;
    }
    // The new source is chosen with the library's own dialog.
    std::optional<Collection> got = component_->GetLayersByDlg(Handle(), false, {});
    if (!got || got->Count() == 0) {
        Say(QStringLiteral("Re-point: no new source chosen."));
        return;
    }
    // Only one feature class can be a layer's new source: a raster, a
    // drawing, a folder's worth of data or several classes would disconnect
    // the layer and report it missing from the database.
    if (got->Count() != 1) {
        Refuse(QStringLiteral("Re-point: choose one feature class as the new source (%1 layers were chosen); "
                              "the layer was left as it was.").arg(got->Count()));
        return;
    }
    const gis::LayerPtr chosen = got->ItemAs<gis::Layer>(1);
    gis::DatasetNamePtr newName;
    if (auto* source = dynamic_cast<gis::DataLayer*>(chosen.get())) newName = source->DataSourceName();
    if (!chosen || chosen->Kind() == gis::LayerKind::Raster || chosen->Kind() == gis::LayerKind::Cad || !newName ||
        newName->Kind() != gis::kind::kFeatureClass) {
        Refuse(QStringLiteral("Re-point: %1 is not a feature class; the layer was left as it was.")
                   .arg(chosen ? Q(chosen->DataSourceText()) : QStringLiteral("the choice")));
        return;
    }
    component_->ResetLayerSource(target, newName, textControl_.get());
    RefreshLayers();
}

void HostWindow::Refuse(const QString& why) {
    Say(why);
    QMessageBox::information(this, QStringLiteral("Re-point"), why);
}

void HostWindow::OfferDatabases(bool offer) {
    if (WriteSetting(DataSourceTypeFile(), "QM_DataSource", "Type", offer ? "1" : "0"))
        Say(offer ? QStringLiteral("The dialog offers the database connections (数据库连接) from now on.")
                  : QStringLiteral("The dialog no longer offers the database connections."));
    else
        Say(QStringLiteral("The setting could not be written to ") + Q(DataSourceTypeFile()));
}

void HostWindow::RefreshLayers() {
    layers_->clear();
    if (!map_) return;
    int order = 0;
    for (const gis::LayerPtr& layer : map_->Layers()) {
        const Shape s = ShapeOf(*layer);
        auto* item = new QTreeWidgetItem(layers_);
        item->setText(0, QString::number(++order));
        item->setIcon(1, KindIcon(s));
        item->setText(1, Q(layer->Name()));
        item->setText(2, KindText(s) + (layer->Valid() ? QString() : QStringLiteral(" (no source)")));
        item->setText(3, Q(layer->DataSourceText()));
    }
}

} // namespace marbrook::host
