#include "app/AppDelegate.h"

#include "app/AppLaunch.h"
#include "app/OnboardingFlow.h"
#include "app/PermissionStatus.h"
#include "app/PreviewExport.h"
#include "app/TrayMenu.h"
#include "app/UpdaterController.h"
#include "common/DebugLog.h"
#include "common/MainThreadTask.h"
#include "dictation/DictationCoordinator.h"
#include "dictation/ModelPrefetcher.h"
#include "onboarding/OnboardingVersionStore.h"
#include "onboarding/OnboardingWindowController.h"
#include "overlay/RecordingOverlayWindowController.h"
#include "permissions/PermissionsWindowController.h"
#include "platform/ResumeNotifier.h"

#include <QCoreApplication>
#include <QPointer>

AppDelegate::AppDelegate(AppDelegateServices services, QObject* parent)
    : QObject(parent), m_coordinator(std::move(services.coordinator)),
      m_accessibilityTrust(std::move(services.accessibilityTrust)),
      m_presence(std::move(services.presence)),
      m_settings(services.settings
                     ? std::move(services.settings)
                     : std::make_unique<AppSettings>(OnboardingVersionStore::standardDefaults(),
                                                     services.environment)),
      m_updaterController(std::make_unique<UpdaterController>(
          services.updateFeedUrl, services.version, std::move(services.updateNotifier))),
      m_permissionsWindowController(std::make_unique<PermissionsWindowController>()),
      m_onboardingWindowController(std::make_unique<OnboardingWindowController>()),
      m_overlayWindowController(
          std::make_unique<RecordingOverlayWindowController>(std::move(services.overlayBackend)))
{
    const QString executable = services.executable.isEmpty()
                                   ? QCoreApplication::applicationFilePath()
                                   : services.executable;
    m_settingsWindowController = std::make_unique<SettingsWindowController>(
        *m_settings, *m_coordinator, AutostartEntry(services.environment, executable),
        std::move(services.models));
    m_previewExport =
        std::make_unique<PreviewExport>(services.environment, *m_presence,
                                        *m_onboardingWindowController, *m_overlayWindowController);
    const PermissionStatus permissions(*m_coordinator, *m_accessibilityTrust);
    m_trayMenu = std::make_unique<TrayMenu>(*m_coordinator, std::move(services.isTrayAvailable));
    m_onboarding = std::make_unique<OnboardingFlow>(
        *m_onboardingWindowController, *m_permissionsWindowController, std::move(services.defaults),
        *m_coordinator, permissions, *m_presence);
    m_launch = std::make_unique<AppLaunch>(
        AppLaunch::Parts{*m_previewExport, *m_presence, *m_coordinator, permissions, *m_trayMenu,
                         *m_onboarding, *m_permissionsWindowController, *m_settingsWindowController,
                         *m_settings, services.environment, std::move(services.prefetcher),
                         std::move(services.makeResumeNotifier),
                         std::move(services.makeSelfTestBackends)});

    m_trayMenu->onOpenSetupGuide = [this] { m_onboarding->present(true); };
    m_trayMenu->onRequestAccessibility = [this] { m_launch->requestAccessibilityPermission(); };
    m_trayMenu->onRequestMicrophone = [this] { m_launch->requestMicrophonePermission(); };
    m_trayMenu->onOpenSettings = [this] { openSettings(); };
    m_trayMenu->onCheckForUpdates = [this] { m_updaterController->checkForUpdates(); };
    m_trayMenu->onQuit = [this] { quit(); };
    m_onboarding->onCompleted = [this] { m_launch->refreshPermissionWindow(true); };
    m_launch->onStarting = [this] { connectParts(); };
    m_launch->openSettings = [this] { openSettings(); };
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::connectParts()
{
    // The state may arrive on any thread; it always travels to the main thread as a task, so
    // states are applied in the order they were reported. The log line is written even when
    // the delegate is gone.
    QPointer<AppDelegate> weak(this);
    m_coordinator->onStateChange = [weak](const DictationState& state) {
        postTask(QCoreApplication::instance(), [weak, state] {
            if (weak)
                weak->deliverState(state);
            DebugLog::write(QStringLiteral("state=") + state.label());
        });
    };

    const auto weakly = [weak](auto operation) {
        return [weak, operation] {
            if (weak)
                operation(*weak);
        };
    };
    const auto requestMicrophone =
        weakly([](AppDelegate& d) { d.m_launch->requestMicrophonePermission(); });
    const auto requestAccessibility =
        weakly([](AppDelegate& d) { d.m_launch->requestAccessibilityPermission(); });
    m_permissionsWindowController->onRequestMicrophone = requestMicrophone;
    m_permissionsWindowController->onRequestAccessibility = requestAccessibility;
    m_onboardingWindowController->onRequestMicrophone = requestMicrophone;
    m_onboardingWindowController->onRequestAccessibility = requestAccessibility;
    m_onboardingWindowController->onOpenHotKeySettings = weakly([](AppDelegate& d) {
        d.openSettings();
        d.m_settingsWindowController->focusHotKey();
    });
    m_onboarding->attachWindow();
    m_settingsWindowController->onHotKeyChanged =
        weakly([](AppDelegate& d) { d.m_onboarding->showHotKey(); });
    // A refusal or a trigger of the desktop's own that comes after the key was accepted (a
    // portal's answer, a lost grab) shows where the key is named.
    m_coordinator->onHotKeyStatusChange = weakly([](AppDelegate& d) {
        d.m_onboarding->showHotKey();
        if (d.m_settingsWindowController->isVisible())
            d.m_settingsWindowController->render();
    });
}

void AppDelegate::deliverState(const DictationState& state)
{
    m_currentState = state;
    // A failed or repaired hot key shows in the practice step.
    m_onboarding->showHotKey();
    m_trayMenu->render(state);
    m_overlayWindowController->render(state);
    m_launch->refreshPermissionWindow(false);
}

void AppDelegate::openSettings()
{
    m_settingsWindowController->showWindow();
    m_presence->raiseWindows();
}

void AppDelegate::quit()
{
    m_presence->terminate();
}

bool AppDelegate::hasVisibleWindows() const
{
    return m_permissionsWindowController->isVisible() ||
           m_onboardingWindowController->isVisible() || m_overlayWindowController->isVisible() ||
           m_settingsWindowController->isVisible();
}
