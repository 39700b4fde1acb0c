#include "app/StatusItemIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace StatusItemIcon {

QImage make(double size, const QColor& color)
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

    // The drawing is specified with y growing upwards from the bottom-left corner.
    const auto at = [size](double x, double y) { return QPointF(x * size, size - y * size); };

    QPen pen(color);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setWidthF(0.11 * size);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(0.16 * size, 0.16 * size, size - 0.32 * size, size - 0.32 * size));

    QPainterPath wave(at(0.23, 0.56));
    wave.cubicTo(at(0.34, 0.40), at(0.43, 0.32), at(0.52, 0.38));
    wave.cubicTo(at(0.61, 0.44), at(0.69, 0.57), at(0.77, 0.54));
    pen.setWidthF(0.12 * size);
    painter.setPen(pen);
    painter.drawPath(wave);
    return image;
}

QColor panelTextColor(const QPalette& palette, const QString& currentDesktop)
{
    // XDG_CURRENT_DESKTOP is a colon-separated list; GNOME's classic and flashback sessions
    // name GNOME too, but their panels follow the (usually light) theme.
    const QStringList desktops = currentDesktop.split(u':', Qt::SkipEmptyParts);
    const bool gnomeShell = desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive) &&
                            !desktops.contains(QStringLiteral("GNOME-Classic"), Qt::CaseInsensitive) &&
                            !desktops.contains(QStringLiteral("GNOME-Flashback"), Qt::CaseInsensitive);
    if (gnomeShell)
        return Qt::white;
    QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    text.setAlpha(255);
    return text;
}

QIcon makeIcon(const QColor& color)
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(make(18, color)));
    icon.addPixmap(QPixmap::fromImage(make(36, color)));
    return icon;
}

QIcon makeIcon()
{
    return makeIcon(panelTextColor(QGuiApplication::palette(),
                                   qEnvironmentVariable("XDG_CURRENT_DESKTOP")));
}

} // namespace StatusItemIcon
