#include "platform/qt/QtIcons.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

// Outside any namespace: the resource initialiser of a static library must
// be called by name before its first use.
static void InitMarbrookIcons() { Q_INIT_RESOURCE(marbrook_icons); }

namespace marbrook::qt {

namespace {

QIcon Cached(const QString& resourceName) {
    static QHash<QString, QIcon> cache;
    if (auto it = cache.constFind(resourceName); it != cache.constEnd()) return *it;
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm = RenderIcon(resourceName, size);
        if (!pm.isNull()) icon.addPixmap(pm);
    }
    cache.insert(resourceName, icon);
    return icon;
}

} // namespace

QPixmap RenderIcon(const QString& resourceName, int size) {
    static const bool initialised = [] {
        InitMarbrookIcons();
        return true;
    }();
    (void)initialised;
    const QString path = QStringLiteral(":/marbrook/icons/") + resourceName + QStringLiteral(".svg");
    if (!QFile::exists(path)) return {};
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return {};
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    return pm;
}

QIcon DataTypeIcon(int dataType) {
    if (dataType < 1 || dataType > kLastDataTypeIcon) return {};
    return Cached(QStringLiteral("dt%1").arg(dataType, 2, 10, QLatin1Char('0')));
}

QIcon LocationImageIcon(int image) {
    if (image < 1 || image > 8) return {};
    return Cached(QStringLiteral("loc%1").arg(image - 1));
}

QIcon PictureIcon(const QString& name) {
    if (name.isEmpty()) return {};
    return Cached(name);
}

} // namespace marbrook::qt
