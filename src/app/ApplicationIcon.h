#pragma once

#include <QByteArray>
#include <QImage>

// The icon application menus and software centres show: the tray icon's ring and wave in
// white on a dark rounded tile, so it reads on light and dark backgrounds alike. The SVG and
// the bitmaps are drawn from the same lines.
namespace ApplicationIcon {

// One square image of `size` × `size` pixels.
QImage render(int size);

// The scalable icon as an SVG document.
QByteArray svg();

} // namespace ApplicationIcon
