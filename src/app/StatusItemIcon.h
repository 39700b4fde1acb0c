#pragma once

#include <QIcon>
#include <QImage>

// The tray icon: a circle with a wave through it, black strokes on transparency. Desktops
// recolour it as a mask to suit light and dark panels.
namespace StatusItemIcon {

// One square image of `size` × `size` pixels; every length scales with the size.
QImage make(double size);

// The icon at 18 and 36 pixels (ordinary and doubled density), marked as a mask.
QIcon makeIcon();

} // namespace StatusItemIcon
