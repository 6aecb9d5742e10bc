#pragma once
// The pictures of the dialogs: one per data type (the list icons),
// one per location kind (0..7, the location combo) and the button pictures.
// They are small SVG drawings of our own, compiled into the library.
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace marbrook::qt {

// The highest data type that has an icon: they run from 1 to this.
inline constexpr int kLastDataTypeIcon = 32;
// The icon of data type `dataType` (1..kLastDataTypeIcon) at 16 and 32
// pixels; a null icon for 0 and for values outside the table (such items
// show no image).
QIcon DataTypeIcon(int dataType);
// The icon of location image `image` (1..8 = location kind 0..7); null outside.
QIcon LocationImageIcon(int image);
// A named button picture ("up", "view-list" ...); null for "" or an unknown name.
QIcon PictureIcon(const QString& name);
// Renders one SVG of the resource at `size` pixels; null when it is missing.
QPixmap RenderIcon(const QString& resourceName, int size);

} // namespace marbrook::qt
