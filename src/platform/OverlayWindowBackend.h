#pragma once

class QWidget;

// What the recording overlay needs from the desktop beyond Qt's window flags: window-manager
// states that keep it above every window on every workspace, out of the task bar, and an
// input region that lets clicks through.
class OverlayWindowBackend
{
public:
    virtual ~OverlayWindowBackend() = default;

    // Called before every show of `window` (a top-level widget, possibly not yet native).
    virtual void prepareToShow(QWidget* window) = 0;
};
