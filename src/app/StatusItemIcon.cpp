#include "app/StatusItemIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
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

void drawLines(QPainter& painter, const QTransform& toTarget, double scale, const QColor& color)
{
    const Geometry lines = geometry();
    QPen pen(color);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setWidthF(lines.ringWidth * scale);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(toTarget.mapRect(lines.ring));
    pen.setWidthF(lines.waveWidth * scale);
    painter.setPen(pen);
    painter.drawPath(toTarget.map(lines.wave));
}

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
    drawLines(painter, QTransform::fromScale(size, size), size, color);
    return image;
}

QColor panelTextColor(const QPalette& palette, const QString& currentDesktop)
{
    // XDG_CURRENT_DESKTOP is a colon-separated list; GNOME's classic and flashback sessions
    // name GNOME too, but their panels follow the (usually light) theme.
    const QStringList desktops = currentDesktop.split(u':', Qt::SkipEmptyParts);
    const bool gnomeShell =
        desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive) &&
        !desktops.contains(QStringLiteral("GNOME-Classic"), Qt::CaseInsensitive) &&
        !desktops.contains(QStringLiteral("GNOME-Flashback"), Qt::CaseInsensitive);
    if (gnomeShell)
        return Qt::white;
    QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    text.setAlpha(255);
    return text;
}

namespace {

double luminance(const QColor& color)
{
    const auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
}

double contrast(double a, double b)
{
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

} // namespace

QColor colorOver(const QImage& backdrop, const QColor& preferred)
{
    if (backdrop.isNull() || backdrop.width() < 4 || backdrop.height() < 4)
        return preferred;
    // The corners lie outside the ring at every size; a 2 × 2 block of each.
    double sum = 0;
    int count = 0;
    const int right = backdrop.width() - 2;
    const int bottom = backdrop.height() - 2;
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)}) {
        for (int dy = 0; dy < 2; ++dy) {
            for (int dx = 0; dx < 2; ++dx) {
                sum += luminance(backdrop.pixelColor(corner + QPoint(dx, dy)));
                ++count;
            }
        }
    }
    const double panel = sum / count;
    if (contrast(luminance(preferred), panel) >= 3.0)
        return preferred;
    return contrast(0.0, panel) >= contrast(1.0, panel) ? QColor(Qt::black) : QColor(Qt::white);
}

QImage grabPanel(const QRect& area)
{
    if (area.isEmpty())
        return {};
    QScreen* screen = QGuiApplication::screenAt(area.center());
    if (!screen)
        return {};
    const QPoint offset = area.topLeft() - screen->geometry().topLeft();
    return screen->grabWindow(0, offset.x(), offset.y(), area.width(), area.height()).toImage();
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
    return makeIcon(
        panelTextColor(QGuiApplication::palette(), qEnvironmentVariable("XDG_CURRENT_DESKTOP")));
}

} // namespace StatusItemIcon
