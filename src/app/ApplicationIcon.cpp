#include "app/ApplicationIcon.h"

#include "app/StatusItemIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QString>
#include <cmath>

namespace ApplicationIcon {

namespace {

// In a 1 × 1 square: the tile leaves a margin as desktop icon themes do, with rounded corners.
constexpr double kTileMargin = 0.06;
constexpr double kTileRadius = 0.2;
const QColor kTileTop(0x30, 0x30, 0x36);
const QColor kTileBottom(0x0c, 0x0c, 0x0e);
const QColor kMark(Qt::white);

QRectF tile()
{
    return QRectF(kTileMargin, kTileMargin, 1.0 - 2 * kTileMargin, 1.0 - 2 * kTileMargin);
}

// The tray's lines, moved from their own square into the tile: the ring keeps the same inset
// from the tile's edge as from the tray icon's.
QTransform markTransform()
{
    const QRectF t = tile();
    return QTransform::fromTranslate(t.x(), t.y()).scale(t.width(), t.height());
}

QString number(double value)
{
    return QString::number(value, 'f', 3);
}

} // namespace

QImage render(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (size <= 0)
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);

    // The tile's edges on whole pixels keep small sizes crisp.
    const double margin = std::round(kTileMargin * size);
    const QRectF tileRect(margin, margin, size - 2 * margin, size - 2 * margin);
    const double radius = kTileRadius * size;
    QLinearGradient fill(0, tileRect.top(), 0, tileRect.bottom());
    fill.setColorAt(0, kTileTop);
    fill.setColorAt(1, kTileBottom);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(tileRect, radius, radius);

    const double scale = tileRect.width();
    StatusItemIcon::drawLines(
        painter, QTransform::fromTranslate(margin, margin).scale(scale, scale), scale, kMark);
    return image;
}

QByteArray svg()
{
    // Written in a 128-unit square; renderers scale it.
    constexpr double units = 128;
    const auto u = [](double value) { return number(value * units); };
    const StatusItemIcon::Geometry lines = StatusItemIcon::geometry();
    const QTransform toTile = markTransform();
    const QRectF ring = toTile.mapRect(lines.ring);
    const QPainterPath wave = toTile.map(lines.wave);
    const double scale = tile().width();

    QString path;
    for (int i = 0; i < wave.elementCount(); ++i) {
        const QPainterPath::Element e = wave.elementAt(i);
        if (e.isMoveTo())
            path += QStringLiteral("M");
        else if (e.type == QPainterPath::CurveToElement)
            path += QStringLiteral(" C");
        else if (e.isLineTo())
            path += QStringLiteral(" L");
        path += QStringLiteral(" %1 %2").arg(u(e.x), u(e.y));
    }

    const QRectF t = tile();
    QString text;
    text += QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                           "viewBox=\"0 0 %1 %1\">\n")
                .arg(units);
    text += QStringLiteral("  <defs>\n    <linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"0\" "
                           "y2=\"1\">\n      <stop offset=\"0\" stop-color=\"%1\"/>\n      "
                           "<stop offset=\"1\" stop-color=\"%2\"/>\n    </linearGradient>\n"
                           "  </defs>\n")
                .arg(kTileTop.name(), kTileBottom.name());
    text += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" "
                           "fill=\"url(#tile)\"/>\n")
                .arg(u(t.x()), u(t.y()), u(t.width()), u(t.height()), u(kTileRadius));
    text += QStringLiteral("  <g fill=\"none\" stroke=\"%1\" stroke-linecap=\"round\" "
                           "stroke-linejoin=\"round\">\n")
                .arg(kMark.name());
    text += QStringLiteral("    <circle cx=\"%1\" cy=\"%2\" r=\"%3\" stroke-width=\"%4\"/>\n")
                .arg(u(ring.center().x()), u(ring.center().y()), u(ring.width() / 2),
                     u(lines.ringWidth * scale));
    text += QStringLiteral("    <path d=\"%1\" stroke-width=\"%2\"/>\n")
                .arg(path, u(lines.waveWidth * scale));
    text += QStringLiteral("  </g>\n</svg>\n");
    return text.toUtf8();
}

} // namespace ApplicationIcon
