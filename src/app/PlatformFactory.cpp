#include "app/PlatformFactory.h"

#include "platform/UnavailableBackends.h"
#include "platform/qt/QtUserAlerts.h"

#include <QGuiApplication>

namespace PlatformFactory {

DictationBackends makeDictationBackends()
{
    const QString platform = QGuiApplication::platformName();
    const bool x11 = platform == QLatin1String("xcb");
    const QString noX11 =
        QStringLiteral("Wendlo needs an X11 session (this one is \"%1\")").arg(platform);

    DictationBackends b;
    b.hotKey = std::make_unique<UnavailableHotKey>(x11 ? QStringLiteral("not built yet") : noX11);
    b.audioCapture =
        std::make_unique<UnavailableAudioCapture>(QStringLiteral("Could not start recording"));
    b.recordPermission = std::make_unique<UnavailableRecordPermission>();
    b.transcriber =
        std::make_shared<UnavailableTranscriber>(QStringLiteral("Bundled whisper-cli not found"));
    b.accessibility = std::make_unique<UnavailableAccessibility>();
    b.clipboard = std::make_unique<UnavailableClipboard>();
    b.pasteKeys = std::make_unique<UnavailableKeys>();
    b.accessibilityTrust = std::make_unique<UnavailableAccessibility>();
    b.alerts = std::make_unique<QtUserAlerts>();
    b.settingsLinks = std::make_unique<UnavailableSettingsLinks>();
    b.selfTestKeys = std::make_unique<UnavailableKeys>();
    return b;
}

} // namespace PlatformFactory
