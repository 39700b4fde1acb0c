#include "platform/PlatformFactory.h"

#include "platform/desktop/SystemSettingsLinkOpener.h"
#include "platform/UnavailableBackends.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiAccessibilityTrust.h"
#include "platform/pulse/PulseAudioCapture.h"
#include "platform/pulse/PulseRecordPermission.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtUserAlerts.h"
#include "platform/shortcuts/CompositorBindingHotKey.h"
#include "platform/shortcuts/PortalGlobalShortcuts.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/X11OverlayWindow.h"
#include "platform/x11/X11SelectionReads.h"
#include "platform/x11/XTestSyntheticKeys.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QProcessEnvironment>

namespace PlatformFactory {

namespace {

// Long enough for the portal to be started on demand, short enough not to stall the start
// where a broken one never answers.
constexpr int portalQueryTimeoutMs = 3000;

} // namespace

std::unique_ptr<HotKeyBackend> makeWaylandHotKey()
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const Compositor compositor = CompositorBindings::detect(environment);
    const QString command = CompositorBindings::command(QCoreApplication::applicationFilePath(),
                                                        environment.value(QStringLiteral("PATH")));
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (PortalGlobalShortcuts::isOffered(bus, portalQueryTimeoutMs))
        return std::make_unique<PortalGlobalShortcuts>(bus, compositor, command);
    return std::make_unique<CompositorBindingHotKey>(compositor, command);
}

std::unique_ptr<AccessibilityTrust> makeAccessibilityTrust()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_unique<AtspiAccessibilityTrust>();
    return std::make_unique<UnavailableAccessibility>();
}

PlatformBackends makePlatformBackends()
{
    const QString platform = QGuiApplication::platformName();
    const bool x11 = platform == QLatin1String("xcb");
    const QString noX11 =
        QStringLiteral("Wendlo needs an X11 session (this one is \"%1\")").arg(platform);

    PlatformBackends b;
    const X11Connection xcb =
        x11 ? X11Connection::ofApplication().value_or(X11Connection{}) : X11Connection{};
    const bool haveXcb = xcb.connection != nullptr;
    if (haveXcb)
        b.hotKey = std::make_unique<X11HotKeyBackend>(xcb.connection, xcb.root);
    else if (platform == QLatin1String("wayland"))
        b.hotKey = makeWaylandHotKey();
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
    b.alerts = std::make_unique<QtUserAlerts>();
    b.settingsLinks = std::make_unique<SystemSettingsLinkOpener>();
    if (haveXcb)
        b.selfTestKeys = std::make_unique<XTestSyntheticKeys>(xcb.connection, xcb.root);
    else
        b.selfTestKeys = std::make_unique<UnavailableKeys>();
    return b;
}

std::unique_ptr<OverlayWindowBackend> makeOverlayWindowBackend()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_unique<X11OverlayWindow>();
    return nullptr;
}

} // namespace PlatformFactory
