#pragma once

#include "platform/HotKeyBackend.h"

#include <QProcessEnvironment>

// The compositors whose configuration lines Wendlo can write out.
enum class Compositor
{
    Sway,
    Hyprland,
    Other,
};

namespace CompositorBindings {

// Which compositor runs this session, from the variables it sets for its clients.
Compositor detect(const QProcessEnvironment& environment);

// What the lines run: "wendlo" where that name on `path` (a PATH value) is `executable`
// itself, else the executable's own path, quoted for the shell the compositors run it with.
QString command(const QString& executable, const QString& path);

// Press and release bound to `command --start-dictation` / `--stop-dictation`. Lines only for
// the compositors we know and keys with a keysym name; the commands always.
CompositorBinding binding(Compositor compositor, QKeyCombination key, const QString& command);

} // namespace CompositorBindings
