#include "app/AppDelegate.h"
#include "app/CoordinatorDictationControl.h"
#include "app/PlatformFactory.h"
#include "app/QtUpdateNotifier.h"
#include "app/SingleInstance.h"
#include "app/UpdaterController.h"
#include "dictation/DebugLog.h"
#include "dictation/PrivateTempDir.h"
#include "onboarding/OnboardingVersionStore.h"
#include "platform/qt/QtAppActivation.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

AppDelegateServices makeServices()
{
    AppDelegateServices services;
    services.dictation =
        std::make_unique<CoordinatorDictationControl>(PlatformFactory::makeDictationBackends());
    services.accessibilityTrust = PlatformFactory::makeAccessibilityTrust();
    services.overlayBackend = PlatformFactory::makeOverlayWindowBackend();
    services.activation = std::make_unique<QtAppActivation>();
    services.defaults = OnboardingVersionStore::standardDefaults();
    services.environment = QProcessEnvironment::systemEnvironment();
    services.updateFeedUrl = UpdaterController::feedUrl(services.environment);
    services.version = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    services.updateNotifier = std::make_unique<QtUpdateNotifier>();
    services.isTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    return services;
}

} // namespace

int main(int argc, char** argv)
{
    // Answered before QApplication, so it needs no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Wendlo %s\n", WENDLO_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Wendlo"));
    QApplication::setApplicationName(QStringLiteral("Wendlo"));
    QApplication::setApplicationVersion(QStringLiteral(WENDLO_VERSION));
    // Closing a window never ends the app: it lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    // The one owner of everything long-lived, for the life of the process.
    std::unique_ptr<AppDelegate> delegate;

    const auto launch = [&delegate] {
        delegate = std::make_unique<AppDelegate>(makeServices());
        AppDelegate* d = delegate.get();
        QObject::connect(qApp, &QGuiApplication::applicationStateChanged, d,
                         [d](Qt::ApplicationState state) {
                             if (state == Qt::ApplicationActive)
                                 d->applicationDidBecomeActive();
                         });
        d->applicationDidFinishLaunching();
    };

    // A second launch hands over to the running instance instead of fighting over the hot key.
    std::unique_ptr<SingleInstance> instance;
    const Result<QString> folder = PrivateTempDir::ensureFolder(QStringLiteral("QuorDictation"));
    if (!folder) {
        DebugLog::write(QStringLiteral("single instance check skipped: ") + folder.error().message);
        launch();
        return QApplication::exec();
    }

    instance = std::make_unique<SingleInstance>(folder.value() + QStringLiteral("/wendlo.socket"));
    instance->onReopenRequested = [&delegate] {
        if (!delegate || !delegate->hasLaunched() || delegate->isPreview())
            return;
        const bool visible = delegate->hasVisibleWindows();
        const bool handled = delegate->applicationShouldHandleReopen(visible);
        DebugLog::write(QStringLiteral("reopen visible=") + (visible ? "true" : "false") +
                        QStringLiteral(" handled=") + (handled ? "true" : "false"));
    };
    QObject::connect(
        instance.get(), &SingleInstance::becamePrimary, [&launch](const QString& error) {
            if (!error.isEmpty())
                DebugLog::write(QStringLiteral("single instance socket unavailable: ") + error);
            launch();
        });
    QObject::connect(instance.get(), &SingleInstance::reachedRunningInstance, [] {
        DebugLog::write(QStringLiteral("already running: reopened the running instance"));
        QCoreApplication::exit(0);
    });
    QObject::connect(
        instance.get(), &SingleInstance::runningInstanceUnresponsive, [](const QString& error) {
            const QString message =
                QStringLiteral("Wendlo is already running but did not answer: ") + error;
            DebugLog::write(message);
            std::fprintf(stderr, "%s\n", qPrintable(message));
            QCoreApplication::exit(1);
        });
    instance->start();
    return QApplication::exec();
}
