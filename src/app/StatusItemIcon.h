#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QPalette>
#include <QRectF>
#include <QString>
#include <QTransform>

class QPainter;

// The tray icon: a circle with a wave through it, strokes of one colour on transparency.
// Linux trays show it as drawn (none recolours a mask), so it is drawn in the colour of the
// panel's text.
namespace StatusItemIcon {

// The drawing in a 1 × 1 square, y growing downwards: a ring and an open wave, each stroked
// with round caps and joins. The application icon is drawn from the same lines.
struct Geometry
{
    QRectF ring;
    double ringWidth;
    QPainterPath wave;
    double waveWidth;
};
Geometry geometry();

// Strokes the ring and the wave in `color` onto `painter`, the unit square placed by
// `toTarget`, which must scale both axes by `scale` (stroke widths scale with it).
void drawLines(QPainter& painter, const QTransform& toTarget, double scale, const QColor& color);

// One square image of `size` × `size` pixels; every length scales with the size.
QImage make(double size, const QColor& color = Qt::black);

// The text colour of the panel the tray sits in, as far as it can be known: GNOME Shell's
// top bar is dark whatever the application theme; elsewhere panels follow the desktop's
// colour scheme, which is the palette's window text. `currentDesktop` is the value of
// XDG_CURRENT_DESKTOP.
QColor panelTextColor(const QPalette& palette, const QString& currentDesktop);

// The colour to draw in over `backdrop`, the panel as it shows around the icon: `preferred`
// when it stands out there (a contrast of 3:1 or more against the backdrop's corners, which
// the drawing leaves empty), else black or white, whichever stands out more. A null backdrop
// keeps `preferred`.
QColor colorOver(const QImage& backdrop, const QColor& preferred);

// The screen's pixels at `area` (global logical coordinates), where the tray shows the icon;
// a null image where that cannot be read (no area known, as with trays over D-Bus, or a
// desktop that does not allow it).
QImage grabPanel(const QRect& area);

// The icon at 18 and 36 pixels (ordinary and doubled density) in `color`.
QIcon makeIcon(const QColor& color);

// The same in the panel text colour of this session (the application palette and
// XDG_CURRENT_DESKTOP).
QIcon makeIcon();

} // namespace StatusItemIcon
