#pragma once

#include <QByteArray>

// Windows whose paste chord is not Ctrl+V, by X11 WM_CLASS or Wayland app_id.
namespace TerminalWindows {

// `wmClass` is a window's WM_CLASS property (instance and class, each NUL-terminated) or a
// Wayland window's app_id. True when a name names a terminal or an editor where Ctrl+V is not paste
// (a control character, "insert the next key literally", or a scroll) but Shift+Insert pastes.
bool pastesOnShiftInsert(const QByteArray& wmClass);

} // namespace TerminalWindows
