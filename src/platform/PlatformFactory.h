#pragma once

#include "platform/OverlayWindowBackend.h"
#include "platform/PlatformBackends.h"

// Chooses the desktop's back ends for this session, by Qt's platform plug-in.
// A service that cannot be offered gets a back end that fails with the reason.
namespace PlatformFactory {

PlatformBackends makePlatformBackends();

// The hot key on a Wayland session: the desktop portal's GlobalShortcuts where it is offered,
// else the user's binding in the compositor.
std::unique_ptr<HotKeyBackend> makeWaylandHotKey();

// The accessibility grant as the shell reads it (the same service as the coordinator's).
std::unique_ptr<AccessibilityTrust> makeAccessibilityTrust();

// Alerts, bringing windows forward and quitting, for the shell (the coordinator has its own).
std::unique_ptr<DesktopPresence> makeDesktopPresence();

// The recording overlay's window states; empty where Qt's window flags are all there is.
std::unique_ptr<OverlayWindowBackend> makeOverlayWindowBackend();

} // namespace PlatformFactory
