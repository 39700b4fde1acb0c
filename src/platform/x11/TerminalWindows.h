#pragma once

#include <QByteArray>

// Terminal emulators take Ctrl+V as a control character; they paste on Ctrl+Shift+V.
namespace TerminalWindows {

// `wmClass` is a window's WM_CLASS property: instance and class, each NUL-terminated.
// True when either names a terminal that pastes the clipboard on Ctrl+Shift+V.
bool isTerminal(const QByteArray& wmClass);

} // namespace TerminalWindows
