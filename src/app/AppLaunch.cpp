#include "app/AppLaunch.h"

#include "app/AppSettings.h"
#include "app/OnboardingFlow.h"
#include "app/PreviewExport.h"
#include "app/SettingsWindowController.h"
#include "app/TrayMenu.h"
#include "common/DebugLog.h"
#include "common/MainThreadTask.h"
#include "dictation/DictationCoordinator.h"
#include "dictation/ModelPrefetcher.h"
#include "permissions/PermissionsWindowController.h"
#include "platform/DesktopPresence.h"
#include "platform/ResumeNotifier.h"

#include <QCoreApplication>

AppLaunch::AppLaunch(Parts parts, QObject* parent)
    : QObject(parent), m_previewExport(parts.preview), m_presence(parts.presence),
      m_coordinator(parts.coordinator), m_permissions(parts.permissions), m_tray(parts.tray),
      m_onboarding(parts.onboarding), m_permissionsWindow(parts.permissionsWindow),
      m_settingsWindow(parts.settingsWindow), m_settings(parts.settings),
      m_environment(std::move(parts.environment)), m_prefetcher(std::move(parts.prefetcher)),
      m_makeResumeNotifier(std::move(parts.makeResumeNotifier))
{
}

AppLaunch::~AppLaunch() = default;

void AppLaunch::applicationDidFinishLaunching(bool showSettings)
{
    if (m_launched)
        return;
    m_launched = true;

    if (m_previewExport.startIfRequested()) {
        m_preview = true;
        return;
    }
    launch();
    if (showSettings && openSettings)
        openSettings();
    startModelWarmth();
}

void AppLaunch::launch()
{
    DebugLog::write(QStringLiteral("launch version=") + QCoreApplication::applicationVersion());
    m_presence.raiseWindows();

    if (onStarting)
        onStarting();
    m_tray.show();
    m_coordinator.changeHotKey(m_settings.hotKey());
    m_coordinator.start();
    m_onboarding.showHotKey();

    m_onboarding.reset();
    if (m_onboarding.isDue())
        m_onboarding.present(true);
    else
        refreshPermissionWindow(true);

    const QString phrase = m_environment.value(QStringLiteral("QUOR_SELFTEST_PHRASE"));
    if (!phrase.isEmpty())
        m_coordinator.runSelfTest(phrase);
    DebugLog::write(QStringLiteral("launch complete"));
}

// whisper-cli reads the whole model on every dictation: reading it into the page cache after
// launch, after every resume and for a newly chosen model spares the next dictation the disk.
void AppLaunch::startModelWarmth()
{
    if (!m_prefetcher)
        return;
    ModelPrefetcher* prefetcher = m_prefetcher.get();
    if (m_makeResumeNotifier) {
        m_resumeNotifier = m_makeResumeNotifier();
        m_resumeNotifier->setOnResumed([prefetcher] { prefetcher->prefetch(); });
    }
    m_settingsWindow.onModelChanged = [prefetcher] { prefetcher->prefetch(); };
    prefetcher->prefetch();
}

void AppLaunch::applicationDidBecomeActive()
{
    if (!m_launched || m_previewExport.isOnboardingPreview())
        return;
    if (m_onboarding.isVisible())
        m_onboarding.refresh();
    else
        refreshPermissionWindow(false);
}

bool AppLaunch::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (m_onboarding.isDue()) {
        m_onboarding.present(false);
        return true;
    }
    if (hasVisibleWindows)
        return false;
    if (m_permissions.allGranted()) {
        if (!m_tray.statusItem() || m_tray.isTrayAvailable())
            return false;
        // Without a tray this window is the only sign that Wendlo runs.
        m_permissionsWindow.render(m_permissions.microphone(), true);
        m_permissionsWindow.showWindow();
        m_presence.raiseWindows();
        return true;
    }
    refreshPermissionWindow(true);
    return true;
}

void AppLaunch::requestAccessibilityPermission()
{
    m_coordinator.requestAccessibilityPermission();
    refreshPermissionWindowLater(500, false);
    refreshPermissionWindowLater(2000, false);
}

void AppLaunch::requestMicrophonePermission()
{
    DebugLog::write(QStringLiteral("requestMicrophonePermission state=") +
                    toString(m_permissions.microphone()));
    m_coordinator.requestMicrophoneAccess(true, true, {});
    refreshPermissionWindowLater(500, false);
    refreshPermissionWindowLater(2000, false);
}

void AppLaunch::refreshPermissionWindow(bool shouldPresentIfNeeded)
{
    if (m_onboarding.isVisible()) {
        m_permissionsWindow.close();
        m_onboarding.refresh();
        return;
    }

    const MicrophonePermissionState microphone = m_permissions.microphone();
    const bool accessibility = m_permissions.accessibility();
    m_permissionsWindow.render(microphone, accessibility);
    const bool allGranted = microphone == MicrophonePermissionState::Granted && accessibility;
    if (allGranted)
        m_permissionsWindow.close();
    if (!allGranted && shouldPresentIfNeeded) {
        m_permissionsWindow.showWindow();
        m_presence.raiseWindows();
    }
}

void AppLaunch::refreshPermissionWindowLater(int delayMs, bool shouldPresentIfNeeded)
{
    postDelayed(this, delayMs,
                [this, shouldPresentIfNeeded] { refreshPermissionWindow(shouldPresentIfNeeded); });
}
