#include "platform/TerminalWindows.h"

#include <QList>
#include <array>
#include <string_view>

namespace {

// Lower-case WM_CLASS names (instance or class) and Wayland app_ids. Terminals paste on
// Shift+Insert (the primary selection in xterm, rxvt, VTE and most others, the clipboard in a few),
// and so do gvim in insert mode and emacs; Ctrl+V in them is a control character or a command.
constexpr std::array<std::string_view, 42> terminals = {
    "xterm",
    "uxterm",
    "rxvt",
    "urxvt",
    "rxvt-unicode",
    "aterm",
    "eterm",
    "gvim",
    "vim",
    "nvim-qt",
    "emacs",
    "gnome-terminal",
    "gnome-terminal-server",
    "org.gnome.terminal", // its Wayland app_id
    "org.gnome.console",
    "kgx",
    "org.gnome.ptyxis",
    "ptyxis",
    "konsole",
    "org.kde.konsole",
    "yakuake",
    "xfce4-terminal",
    "mate-terminal",
    "lxterminal",
    "qterminal",
    "terminator",
    "tilix",
    "com.gexperts.tilix",
    "alacritty",
    "kitty",
    "wezterm",
    "org.wezfurlong.wezterm",
    "foot",
    "footclient",
    "sakura",
    "guake",
    "tilda",
    "terminology",
    "deepin-terminal",
    "cool-retro-term",
    "st",
    "st-256color",
};

} // namespace

namespace TerminalWindows {

bool pastesOnShiftInsert(const QByteArray& wmClass)
{
    const QList<QByteArray> names = wmClass.split('\0');
    for (const QByteArray& name : names) {
        if (name.isEmpty())
            continue;
        const QByteArray lower = name.toLower();
        const std::string_view view(lower.constData(), std::size_t(lower.size()));
        for (const std::string_view terminal : terminals) {
            if (view == terminal)
                return true;
        }
    }
    return false;
}

} // namespace TerminalWindows
