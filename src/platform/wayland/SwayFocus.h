#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

// The window with keyboard focus, as sway's IPC socket tells it.
namespace SwayFocus {

struct Window
{
    // The native app_id, or for an XWayland window its WM_CLASS instance and class, each
    // NUL-terminated: what TerminalWindows matches.
    QByteArray names;
    qint64 pid = 0;
};

// The focused window of a `get_tree` reply; nothing when no window has focus.
std::optional<Window> focusedWindow(const QJsonObject& tree);

// Asks the sway at `socketPath` (SWAYSOCK). Blocks for at most `timeoutMs`: sway answers
// from memory, within a millisecond or two. Nothing when it cannot be asked or no window has
// focus.
std::optional<Window> ask(const QString& socketPath, int timeoutMs = 200);

} // namespace SwayFocus
