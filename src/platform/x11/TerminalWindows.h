#pragma once

#include <QByteArray>

// Windows whose paste chord is not Ctrl+V, by WM_CLASS.
namespace TerminalWindows {

// `wmClass` is a window's WM_CLASS property: instance and class, each NUL-terminated.
// True when either names a terminal or an editor where Ctrl+V is not paste (a control
// character, "insert the next key literally", or a scroll) but Shift+Insert pastes.
bool pastesOnShiftInsert(const QByteArray& wmClass);

} // namespace TerminalWindows
