#pragma once

#include <QRect>
#include <optional>

class QWidget;

// What the recording overlay needs from the desktop beyond Qt's window flags: window-manager
// states that keep it above every window on every workspace, out of the task bar, and an
// input region that lets clicks through; and where the window the user works in is.
class OverlayWindowBackend
{
public:
    virtual ~OverlayWindowBackend() = default;

    // Whether the pill may be shown at all. Where the desktop would make it an ordinary
    // window, it would take the keyboard focus from the user's field: it then stays hidden.
    virtual bool canShow() { return true; }

    // Called before every show of `window` (a top-level widget, possibly not yet native).
    virtual void prepareToShow(QWidget* window) = 0;

    // The frame of the desktop's active (focused) window in Qt's logical desktop
    // coordinates, or none where the desktop does not say (or no window is active).
    virtual std::optional<QRect> activeWindowFrame() { return std::nullopt; }

    // Where a top-level window can be kept neither above every window nor out of focus
    // (Wayland), a back end shows the pill on a surface of its own, drawn from `window`, which
    // then stays hidden. False: it cannot (any more), and `window` itself is to be shown.
    virtual bool showOnOwnSurface(QWidget* window)
    {
        (void)window;
        return false;
    }
    virtual void hideOwnSurface() {}
    virtual bool ownSurfaceShown() const { return false; }
};
