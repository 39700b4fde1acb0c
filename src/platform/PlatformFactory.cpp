#include "platform/PlatformFactory.h"

#include "common/DebugLog.h"
#include "common/FrontProgram.h"
#include "platform/UnavailableBackends.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiAccessibilityTrust.h"
#include "platform/desktop/EspeakSpeechPlayback.h"
#include "platform/desktop/SystemSettingsLinkOpener.h"
#include "platform/portal/RemoteDesktopKeyboard.h"
#include "platform/pulse/PulseAudioCapture.h"
#include "platform/pulse/PulseRecordPermission.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtDesktopPresence.h"
#include "platform/shortcuts/CompositorBindingHotKey.h"
#include "platform/shortcuts/PortalGlobalShortcuts.h"
#include "platform/wayland/DataControlClipboard.h"
#include "platform/wayland/LayerShellOverlay.h"
#include "platform/wayland/SwayFocus.h"
#include "platform/wayland/WaylandGlobals.h"
#include "platform/wayland/WtypeSyntheticKeys.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/X11OverlayWindow.h"
#include "platform/x11/X11SelectionReads.h"
#include "platform/x11/XTestSyntheticKeys.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace PlatformFactory {

namespace {

// Long enough for a portal to be started on demand, short enough not to stall the start where
// a broken one never answers.
constexpr int portalQueryTimeoutMs = 3000;

} // namespace

std::unique_ptr<HotKeyBackend> makeWaylandHotKey()
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const Compositor compositor = CompositorBindings::detect(environment);
    const QString command = CompositorBindings::command(FrontProgram::path(),
                                                        environment.value(QStringLiteral("PATH")));
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (PortalGlobalShortcuts::isOffered(bus, portalQueryTimeoutMs))
        return std::make_unique<PortalGlobalShortcuts>(bus, compositor, command);
    return std::make_unique<CompositorBindingHotKey>(compositor, command);
}

namespace {

bool isX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool isWayland()
{
    return QGuiApplication::platformName() == QLatin1String("wayland");
}

// The accessibility bus does not depend on the display server.
bool hasAccessibilityBus()
{
    return isX11() || isWayland();
}

// The clipboard through data-control; where the compositor offers none (GNOME), the user's
// clipboard is left alone.
std::unique_ptr<ClipboardBackend> makeWaylandClipboard()
{
    QString why;
    if (std::unique_ptr<DataControlClipboard> clipboard = DataControlClipboard::connect(&why))
        return clipboard;
    DebugLog::write(QStringLiteral("wayland clipboard unavailable: ") + why);
    return std::make_unique<UnavailableClipboard>(
        QStringLiteral("this desktop lets no background application use the clipboard"));
}

WtypeSyntheticKeys::FocusQuery swayFocus()
{
    WtypeSyntheticKeys::FocusQuery focus;
    if (const QString sway = qEnvironmentVariable("SWAYSOCK"); !sway.isEmpty())
        focus = [sway] { return SwayFocus::ask(sway); };
    return focus;
}

// Paste keys through the virtual-keyboard protocol (wtype), with the paste's chord by the
// focused window where sway says which it is; else the remote-desktop portal's keyboard,
// unless `portal` is empty (the self-test: a second session would spend the user's one token).
std::unique_ptr<SyntheticKeys> makeWaylandKeys(const std::optional<WaylandGlobals>& globals,
                                               const KeyboardTokenStore* portal)
{
    const QString wtype = QStandardPaths::findExecutable(QStringLiteral("wtype"));
    // Unknown globals: try anyway, a failing run is logged and the text stays pasteable.
    const std::optional<bool> virtualKeyboard =
        globals ? std::optional<bool>(
                      globals->offers(QStringLiteral("zwp_virtual_keyboard_manager_v1")))
                : std::nullopt;
    const bool useVirtualKeyboard =
        chooseWaylandKeys(!wtype.isEmpty(), virtualKeyboard, false) == WaylandKeys::VirtualKeyboard;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const bool portalKeyboard = !useVirtualKeyboard && portal &&
                                RemoteDesktopKeyboard::isOffered(bus, portalQueryTimeoutMs);
    switch (chooseWaylandKeys(!wtype.isEmpty(), virtualKeyboard, portalKeyboard)) {
    case WaylandKeys::VirtualKeyboard:
        return std::make_unique<WtypeSyntheticKeys>(wtype, swayFocus());
    case WaylandKeys::RemoteDesktopPortal: {
        DebugLog::write(QStringLiteral("wayland paste keys: the remote-desktop portal's keyboard"));
        auto keyboard = std::make_unique<RemoteDesktopKeyboard>(bus, *portal);
        // At launch: the consent dialog (first run only) takes no focus from a field being
        // dictated into, and later runs restore silently.
        keyboard->start();
        return keyboard;
    }
    case WaylandKeys::Unavailable:
        break;
    }
    DebugLog::write(wtype.isEmpty() ? QStringLiteral("wayland paste keys: wtype is not installed")
                                    : QStringLiteral("wayland paste keys: the compositor offers "
                                                     "no virtual keyboard"));
    return std::make_unique<UnavailableKeys>();
}

// A native Wayland session: AT-SPI and the sound server as on X11; never an X11 grab or XTest,
// which would reach no native window.
PlatformBackends makeWaylandBackends(const KeyboardTokenStore& keyboardTokens)
{
    QString error;
    const std::optional<WaylandGlobals> globals = WaylandGlobals::ofSession(&error);
    if (globals)
        DebugLog::write(QStringLiteral("wayland globals: ") + globals->interfaces().join(u' '));
    else
        DebugLog::write(QStringLiteral("wayland globals unknown: ") + error);

    PlatformBackends b;
    b.hotKey = makeWaylandHotKey();
    b.audioCapture = std::make_unique<PulseAudioCapture>();
    b.recordPermission = std::make_unique<PulseRecordPermission>();
    b.accessibility =
        std::make_unique<AtspiAccessibility>(std::make_unique<AtspiAccessibilityTrust>());
    b.clipboard = makeWaylandClipboard();
    b.pasteKeys = makeWaylandKeys(globals, &keyboardTokens);
    b.accessibilityTrust = std::make_unique<AtspiAccessibilityTrust>();
    b.presence = makeDesktopPresence();
    b.settingsLinks = std::make_unique<SystemSettingsLinkOpener>();
    return b;
}

} // namespace

std::unique_ptr<AccessibilityTrust> makeAccessibilityTrust()
{
    if (hasAccessibilityBus())
        return std::make_unique<AtspiAccessibilityTrust>();
    return std::make_unique<UnavailableAccessibility>();
}

WaylandKeys chooseWaylandKeys(bool wtypeInstalled, std::optional<bool> virtualKeyboard,
                              bool portalKeyboard)
{
    if (wtypeInstalled && virtualKeyboard.value_or(true))
        return WaylandKeys::VirtualKeyboard;
    if (portalKeyboard)
        return WaylandKeys::RemoteDesktopPortal;
    return WaylandKeys::Unavailable;
}

PlatformBackends makePlatformBackends(const KeyboardTokenStore& keyboardTokens)
{
    if (isWayland())
        return makeWaylandBackends(keyboardTokens);
    const QString platform = QGuiApplication::platformName();
    const bool x11 = isX11();
    const QString noX11 =
        QStringLiteral("Wendlo needs an X11 or Wayland session (this one is \"%1\")").arg(platform);

    PlatformBackends b;
    const X11Connection xcb =
        x11 ? X11Connection::ofApplication().value_or(X11Connection{}) : X11Connection{};
    const bool haveXcb = xcb.connection != nullptr;
    if (haveXcb)
        b.hotKey = std::make_unique<X11HotKeyBackend>(xcb.connection, xcb.root);
    else
        b.hotKey = std::make_unique<UnavailableHotKey>(
            x11 ? QStringLiteral("no connection to the X server") : noX11);
    // The sound server serves X11 and Wayland sessions alike.
    b.audioCapture = std::make_unique<PulseAudioCapture>();
    b.recordPermission = std::make_unique<PulseRecordPermission>();
    if (x11)
        b.accessibility =
            std::make_unique<AtspiAccessibility>(std::make_unique<AtspiAccessibilityTrust>());
    else
        b.accessibility = std::make_unique<UnavailableAccessibility>();
    if (haveXcb) {
        b.clipboard = std::make_unique<QtClipboard>(
            QGuiApplication::clipboard(), std::make_unique<X11SelectionReads>(xcb.connection));
        b.pasteKeys = std::make_unique<XTestSyntheticKeys>(xcb.connection, xcb.root);
    } else {
        b.clipboard = std::make_unique<UnavailableClipboard>();
        b.pasteKeys = std::make_unique<UnavailableKeys>();
    }
    b.accessibilityTrust = makeAccessibilityTrust();
    b.presence = makeDesktopPresence();
    b.settingsLinks = std::make_unique<SystemSettingsLinkOpener>();
    return b;
}

SelfTestBackends makeSelfTestBackends()
{
    SelfTestBackends b;
    const std::optional<X11Connection> xcb = X11Connection::ofApplication();
    if (isWayland())
        b.keys = makeWaylandKeys(WaylandGlobals::ofSession(), nullptr);
    else if (xcb && xcb->connection)
        b.keys = std::make_unique<XTestSyntheticKeys>(xcb->connection, xcb->root);
    else
        b.keys = std::make_unique<UnavailableKeys>();
    b.speech = std::make_shared<EspeakSpeechPlayback>();
    return b;
}

std::unique_ptr<DesktopPresence> makeDesktopPresence()
{
    return std::make_unique<QtDesktopPresence>();
}

std::unique_ptr<OverlayWindowBackend> makeOverlayWindowBackend()
{
    if (isX11())
        return std::make_unique<X11OverlayWindow>();
    if (isWayland()) {
        QString why;
        if (auto layerShell = LayerShellOverlay::connectToCompositor(&why))
            return layerShell;
        // GNOME, say: there an ordinary window would take the focus from the field.
        DebugLog::write(QStringLiteral("recording overlay off: ") + why +
                        QStringLiteral("; on Wayland the pill would be an ordinary window and "
                                       "take the focus from the field"));
        return std::make_unique<UnavailableOverlayWindow>();
    }
    return nullptr;
}

} // namespace PlatformFactory
