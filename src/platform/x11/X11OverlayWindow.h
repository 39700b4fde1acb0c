#pragma once

#include "platform/OverlayWindowBackend.h"

// X11: the overlay is an override-redirect window (the window manager neither focuses nor
// decorates it, and it shows on every workspace); the EWMH hints below tell compositors and
// panels the same: above, sticky, no task bar or pager entry, a notification. The active
// window is the window manager's _NET_ACTIVE_WINDOW.
class X11OverlayWindow : public OverlayWindowBackend
{
public:
    void prepareToShow(QWidget* window) override;
    std::optional<QRect> activeWindowFrame() override;
};
