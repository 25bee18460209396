#include "app/gui/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace melodeck::AppIcon {

namespace {

// A white eighth note on a rose-to-violet tile, in a 32-unit square. Both the
// painter and the SVG text read these numbers, so the two cannot drift apart.
constexpr double kUnits = 32;
constexpr double kTile[] = {1, 1, 30, 30};
constexpr double kTileRadius = 7;
const QColor kTop(0xE8, 0x4A, 0x7A);
const QColor kBottom(0x6A, 0x2C, 0x9A);
constexpr double kHeadCentre[] = {11.5, 22.5};
constexpr double kHeadAngle = -20;
constexpr double kHeadRadii[] = {5, 3.5};
constexpr double kStem[] = {14.6, 6, 2.2, 16.5};
// Flag: a start point and two cubic curves (two control points and an end each).
constexpr double kFlagStart[] = {16.8, 6};
constexpr double kFlagCurves[2][6] = {{19, 10, 25, 11, 23.5, 18.5},
                                      {22.5, 14.5, 19.5, 13, 16.8, 12.5}};

QString num(double v) {
    return QString::number(v, 'g', 6);
}

} // namespace

void Paint(QPainter& p, double size) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kUnits, size / kUnits);
    QLinearGradient tile(0, 0, 0, kUnits);
    tile.setColorAt(0, kTop);
    tile.setColorAt(1, kBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(kTile[0], kTile[1], kTile[2], kTile[3]), kTileRadius, kTileRadius);
    p.setBrush(Qt::white);
    p.save();
    p.translate(kHeadCentre[0], kHeadCentre[1]);
    p.rotate(kHeadAngle);
    p.drawEllipse(QRectF(-kHeadRadii[0], -kHeadRadii[1], 2 * kHeadRadii[0], 2 * kHeadRadii[1]));
    p.restore();
    p.drawRect(QRectF(kStem[0], kStem[1], kStem[2], kStem[3]));
    QPainterPath flag;
    flag.moveTo(kFlagStart[0], kFlagStart[1]);
    for (const auto& c : kFlagCurves)
        flag.cubicTo(c[0], c[1], c[2], c[3], c[4], c[5]);
    flag.closeSubpath();
    p.drawPath(flag);
    p.restore();
}

QImage Image(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    Paint(p, size);
    p.end();
    return image;
}

QByteArray Svg() {
    QString flag = QStringLiteral("M%1 %2").arg(num(kFlagStart[0]), num(kFlagStart[1]));
    for (const auto& c : kFlagCurves) {
        flag += QStringLiteral(" C%1 %2 %3 %4 %5 %6")
                    .arg(num(c[0]), num(c[1]), num(c[2]), num(c[3]), num(c[4]), num(c[5]));
    }
    flag += QStringLiteral(" Z");
    const QString svg =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                       "viewBox=\"0 0 %1 %1\">\n"
                       "  <defs>\n"
                       "    <linearGradient id=\"tile\" gradientUnits=\"userSpaceOnUse\" "
                       "x1=\"0\" y1=\"0\" x2=\"0\" y2=\"%1\">\n"
                       "      <stop offset=\"0\" stop-color=\"%2\"/>\n"
                       "      <stop offset=\"1\" stop-color=\"%3\"/>\n"
                       "    </linearGradient>\n"
                       "  </defs>\n"
                       "  <rect x=\"%4\" y=\"%5\" width=\"%6\" height=\"%7\" rx=\"%8\" ry=\"%8\" "
                       "fill=\"url(#tile)\"/>\n"
                       "  <g fill=\"#ffffff\">\n")
            .arg(num(kUnits), kTop.name(), kBottom.name(), num(kTile[0]), num(kTile[1]),
                 num(kTile[2]), num(kTile[3]), num(kTileRadius)) +
        QStringLiteral("    <ellipse cx=\"0\" cy=\"0\" rx=\"%1\" ry=\"%2\" "
                       "transform=\"translate(%3 %4) rotate(%5)\"/>\n"
                       "    <rect x=\"%6\" y=\"%7\" width=\"%8\" height=\"%9\"/>\n")
            .arg(num(kHeadRadii[0]), num(kHeadRadii[1]), num(kHeadCentre[0]), num(kHeadCentre[1]),
                 num(kHeadAngle), num(kStem[0]), num(kStem[1]), num(kStem[2]), num(kStem[3])) +
        QStringLiteral("    <path d=\"%1\"/>\n  </g>\n</svg>\n").arg(flag);
    return svg.toUtf8();
}

} // namespace melodeck::AppIcon
