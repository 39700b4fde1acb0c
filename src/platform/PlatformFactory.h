#pragma once

#include "platform/OverlayWindowBackend.h"
#include "platform/PlatformBackends.h"
#include "platform/portal/RemoteDesktopKeyboard.h"

#include <optional>

// Chooses the desktop's back ends for this session, by Qt's platform plug-in.
// A service that cannot be offered gets a back end that fails with the reason.
namespace PlatformFactory {

// `keyboardTokens` keeps the remote-desktop portal's grant where that keyboard is used.
PlatformBackends makePlatformBackends(const KeyboardTokenStore& keyboardTokens = {});

enum class WaylandKeys
{
    VirtualKeyboard,     // wtype over zwp_virtual_keyboard_manager_v1
    RemoteDesktopPortal, // the desktop portal's RemoteDesktop keyboard
    Unavailable,
};
// The paste keys on a Wayland session. `virtualKeyboard` is empty where the compositor's
// globals are unknown (wtype is tried then).
WaylandKeys chooseWaylandKeys(bool wtypeInstalled, std::optional<bool> virtualKeyboard,
                              bool portalKeyboard);

// What the self-test needs to dictate without a user.
SelfTestBackends makeSelfTestBackends();

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
