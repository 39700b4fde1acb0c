#include "app/AppDelegate.h"
#include "app/AppLaunch.h"
#include "app/AppSettings.h"
#include "app/CommandLine.h"
#include "app/InstanceCommandClient.h"
#include "platform/PlatformFactory.h"
#include "app/PreviewExport.h"
#include "app/QtUpdateNotifier.h"
#include "app/SingleInstance.h"
#include "app/UpdaterController.h"
#include "common/DebugLog.h"
#include "common/FrontProgram.h"
#include "dictation/DictationCoordinator.h"
#include "dictation/ModelPrefetcher.h"
#include "dictation/SelfTestDriver.h"
#include "common/PrivateTempDir.h"
#include "dictation/WhisperCLITranscriber.h"
#include "onboarding/OnboardingVersionStore.h"
#include "platform/kernel/KernelPageCache.h"
#include "platform/logind/LogindResumeNotifier.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <memory>

namespace {

DictationBackends makeDictationBackends()
{
    KeyboardTokenStore keyboardTokens;
    keyboardTokens.load = [] {
        QSettings store(QStringLiteral("Wendlo"), QStringLiteral("Wendlo"));
        return store.value(AppSettings::keyboardRestoreTokenKey()).toString();
    };
    keyboardTokens.save = [](const QString& token) {
        QSettings store(QStringLiteral("Wendlo"), QStringLiteral("Wendlo"));
        if (token.isEmpty())
            store.remove(AppSettings::keyboardRestoreTokenKey());
        else
            store.setValue(AppSettings::keyboardRestoreTokenKey(), token);
    };
    auto backends =
        DictationBackends::withDesktop(PlatformFactory::makePlatformBackends(keyboardTokens));
    auto transcriber = std::make_shared<WhisperCLITranscriber>();
    // Read on the recogniser's thread, from a settings object of its own.
    transcriber->setLanguageSource([] {
        QSettings store(QStringLiteral("Wendlo"), QStringLiteral("Wendlo"));
        return AppSettings::languageIn(store);
    });
    transcriber->setModelSource([] {
        QSettings store(QStringLiteral("Wendlo"), QStringLiteral("Wendlo"));
        return AppSettings::modelIn(store);
    });
    backends.transcriber = std::move(transcriber);
    return backends;
}

AppDelegateServices makeServices()
{
    AppDelegateServices services;
    services.coordinator = std::make_unique<DictationCoordinator>(makeDictationBackends());
    services.makeSelfTestBackends = &PlatformFactory::makeSelfTestBackends;
    services.accessibilityTrust = PlatformFactory::makeAccessibilityTrust();
    services.overlayBackend = PlatformFactory::makeOverlayWindowBackend();
    services.presence = PlatformFactory::makeDesktopPresence();
    services.defaults = OnboardingVersionStore::standardDefaults();
    services.environment = QProcessEnvironment::systemEnvironment();
    services.updateFeedUrl = UpdaterController::feedUrl(services.environment);
    services.version = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    services.updateNotifier = std::make_unique<QtUpdateNotifier>();
    // Starting at log-in goes through the front, like the desktop entry.
    services.executable = FrontProgram::path();
    services.isTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    services.settings = std::make_unique<AppSettings>(OnboardingVersionStore::standardDefaults(),
                                                      services.environment);
    services.models.installed = [] { return WhisperCLITranscriber().installedModels(); };
    services.models.lookup = [](const QString& name) {
        return WhisperCLITranscriber().modelURL(name);
    };
    services.prefetcher = std::make_unique<ModelPrefetcher>(
        [] {
            QSettings store(QStringLiteral("Wendlo"), QStringLiteral("Wendlo"));
            return WhisperCLITranscriber().modelURL(AppSettings::modelIn(store));
        },
        std::make_shared<KernelPageCache>());
    services.makeResumeNotifier = [] { return std::make_unique<LogindResumeNotifier>(); };
    return services;
}

void printTo(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Wendlo"));
    QCoreApplication::setApplicationName(QStringLiteral("Wendlo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(WENDLO_VERSION));
}

// In a Wayland session, Qt's native Wayland plug-in (X11 through XWayland only where it is
// missing), since Qt's own default there is X11. Returns whether it asked, so that the choice
// can be taken back once read, before any child process inherits it.
bool askForWaylandPlatform()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return false;
    qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    return true;
}

void printNotTaken(const QString& error)
{
    printTo(stderr, QStringLiteral("Wendlo did not take the command: ") + error + QLatin1Char('\n'));
}

// A command for the running instance: no display, no instance of our own.
int sendToRunningInstance(int argc, char** argv, InstanceCommand command)
{
    // A listening instance takes it before an application object would even exist.
    if (const Result<QString> folder = PrivateTempDir::ensureAppFolder()) {
        const InstanceCommandClient::Answer answer = InstanceCommandClient::send(
            SingleInstance::socketPathIn(folder.value()), command, SingleInstance::answerTimeoutMs);
        switch (answer.outcome) {
        case InstanceCommandClient::Outcome::Accepted:
            return 0;
        case InstanceCommandClient::Outcome::Failed:
            printNotTaken(answer.error);
            return CommandLine::exitFailure;
        case InstanceCommandClient::Outcome::NotReached:
            break;
        }
    }

    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    const Result<QString> folder = PrivateTempDir::ensureAppFolder();
    if (!folder) {
        printTo(stderr, QStringLiteral("wendlo: ") + folder.error().message + QLatin1Char('\n'));
        return CommandLine::exitFailure;
    }
    SingleInstance instance(folder.value());
    int status = CommandLine::exitFailure;
    QObject::connect(&instance, &SingleInstance::reachedRunningInstance, [&status] {
        status = 0;
        QCoreApplication::exit(0);
    });
    QObject::connect(&instance, &SingleInstance::notRunning, [] {
        printTo(stderr, QStringLiteral("Wendlo is not running\n"));
        QCoreApplication::exit(CommandLine::exitFailure);
    });
    QObject::connect(&instance, &SingleInstance::runningInstanceUnresponsive,
                     [](const QString& error) {
                         printNotTaken(error);
                         QCoreApplication::exit(CommandLine::exitFailure);
                     });
    instance.send(command);
    QCoreApplication::exec();
    return status;
}

void carryOut(AppDelegate& delegate, InstanceCommand command)
{
    DebugLog::write(QStringLiteral("instance command=") + instanceCommandName(command));
    switch (command) {
    case InstanceCommand::Reopen: {
        const bool visible = delegate.hasVisibleWindows();
        const bool handled = delegate.launch().applicationShouldHandleReopen(visible);
        DebugLog::write(QStringLiteral("reopen visible=") + DebugLog::boolText(visible) +
                        QStringLiteral(" handled=") + DebugLog::boolText(handled));
        return;
    }
    case InstanceCommand::OpenSettings:
        delegate.openSettings();
        return;
    case InstanceCommand::StartDictation:
        delegate.coordinator().handlePress();
        return;
    case InstanceCommand::StopDictation:
        delegate.coordinator().handleRelease();
        return;
    case InstanceCommand::ToggleDictation:
        delegate.coordinator().toggle();
        return;
    case InstanceCommand::Quit:
        delegate.quit();
        return;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // A self-test is watched from its terminal or script: every line, the first included.
    if (qEnvironmentVariableIsSet(SelfTestDriver::phraseVariable))
        DebugLog::copyToStandardError();

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineRequest request = CommandLine::parse(arguments);
    switch (request.action) {
    case CommandLineRequest::Action::ShowHelp:
        printTo(stdout, CommandLine::helpText());
        return 0;
    case CommandLineRequest::Action::ShowVersion:
        printTo(stdout, CommandLine::versionText());
        return 0;
    case CommandLineRequest::Action::UsageError:
        printTo(stderr, QStringLiteral("wendlo: ") + request.error + QStringLiteral("\n\n") +
                            CommandLine::helpText());
        return CommandLine::exitUsage;
    case CommandLineRequest::Action::SendCommand:
        return sendToRunningInstance(argc, argv, request.command);
    case CommandLineRequest::Action::Launch:
        break;
    }

    const bool askedForWayland = askForWaylandPlatform();
    QApplication app(argc, argv);
    if (askedForWayland)
        qunsetenv("QT_QPA_PLATFORM");
    setApplicationIdentity();
    DebugLog::write(QStringLiteral("qt platform=") + QGuiApplication::platformName());
    // Lets desktop shells match our windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("wendlo"));
    // Closing a window never ends the app: it lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    // The one owner of everything long-lived, for the life of the process.
    std::unique_ptr<AppDelegate> delegate;

    const auto launch = [&delegate](InstanceCommand command) {
        delegate = std::make_unique<AppDelegate>(makeServices());
        AppLaunch* launch = &delegate->launch();
        QObject::connect(qApp, &QGuiApplication::applicationStateChanged, launch,
                         [launch](Qt::ApplicationState state) {
                             if (state == Qt::ApplicationActive)
                                 launch->applicationDidBecomeActive();
                         });
        launch->applicationDidFinishLaunching(command == InstanceCommand::OpenSettings);
    };

    // A preview runs alone: it neither becomes nor disturbs the one instance.
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (PreviewExport::onboardingPreviewStep(environment) ||
        PreviewExport::overlayPreviewMode(environment)) {
        launch(InstanceCommand::Reopen);
        return QApplication::exec();
    }

    // A later launch hands over to the running instance instead of fighting over the hot key.
    std::unique_ptr<SingleInstance> instance;
    const Result<QString> folder = PrivateTempDir::ensureAppFolder();
    if (!folder) {
        DebugLog::write(QStringLiteral("single instance check skipped: ") + folder.error().message);
        launch(request.command);
        return QApplication::exec();
    }

    instance = std::make_unique<SingleInstance>(folder.value());
    instance->onCommand = [&delegate](InstanceCommand command) {
        if (delegate && delegate->launch().hasLaunched())
            carryOut(*delegate, command);
    };
    QObject::connect(instance.get(), &SingleInstance::becamePrimary,
                     [&launch, command = request.command](const QString& error) {
                         if (!error.isEmpty())
                             DebugLog::write(
                                 QStringLiteral("single instance socket unavailable: ") + error);
                         launch(command);
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
            printTo(stderr, message + QLatin1Char('\n'));
            QCoreApplication::exit(1);
        });
    instance->start(request.command);
    return QApplication::exec();
}
