#pragma once

#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QRectF>

// The tray icon: a circle with a wave through it, black strokes on transparency. Desktops
// recolour it as a mask to suit light and dark panels.
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

// One square image of `size` × `size` pixels; every length scales with the size.
QImage make(double size);

// The icon at 18 and 36 pixels (ordinary and doubled density), marked as a mask.
QIcon makeIcon();

} // namespace StatusItemIcon
