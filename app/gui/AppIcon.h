#pragma once
// The program's icon, one design for every size: the window's own icon, the
// PNG files of the icon theme and the scalable file are all made from it.

#include <QByteArray>
#include <QImage>

class QPainter;

namespace melodeck::AppIcon {

// Paints the icon into the square (0, 0, size, size) of the painter.
void Paint(QPainter& painter, double size);

// The icon as an image of size × size pixels, transparent around the tile.
QImage Image(int size);

// The same design as an SVG document.
QByteArray Svg();

} // namespace melodeck::AppIcon
