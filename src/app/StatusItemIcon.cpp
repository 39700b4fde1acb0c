#include "app/StatusItemIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace StatusItemIcon {

Geometry geometry()
{
    // Specified with y growing upwards from the bottom-left corner.
    const auto at = [](double x, double y) { return QPointF(x, 1.0 - y); };
    QPainterPath wave(at(0.23, 0.56));
    wave.cubicTo(at(0.34, 0.40), at(0.43, 0.32), at(0.52, 0.38));
    wave.cubicTo(at(0.61, 0.44), at(0.69, 0.57), at(0.77, 0.54));
    return Geometry{QRectF(0.16, 0.16, 1.0 - 0.32, 1.0 - 0.32), 0.11, wave, 0.12};
}

QImage make(double size)
{
    const int pixels = int(std::ceil(size));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (pixels <= 0)
        return image;

    QPainter painter(&image);
    if (!painter.isActive())
        return image;
    painter.setRenderHint(QPainter::Antialiasing, true);

    const Geometry lines = geometry();
    const QTransform scale = QTransform::fromScale(size, size);
    QPen pen(Qt::black);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setWidthF(lines.ringWidth * size);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(scale.mapRect(lines.ring));

    pen.setWidthF(lines.waveWidth * size);
    painter.setPen(pen);
    painter.drawPath(scale.map(lines.wave));
    return image;
}

QIcon makeIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(make(18)));
    icon.addPixmap(QPixmap::fromImage(make(36)));
    icon.setIsMask(true);
    return icon;
}

} // namespace StatusItemIcon
