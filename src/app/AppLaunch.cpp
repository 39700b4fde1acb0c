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
#include "dictation/SelfTestDriver.h"
#include "permissions/PermissionsWindowController.h"
#include "platform/DesktopPresence.h"
#include "platform/ResumeNotifier.h"

#include <QCoreApplication>

AppLaunch::AppLaunch(Parts parts, QObject* parent) : QObject(parent), m_parts(std::move(parts)) {}

AppLaunch::~AppLaunch() = default;

void AppLaunch::applicationDidFinishLaunching(bool showSettings)
{
    if (m_launched)
        return;
    m_launched = true;

    if (m_parts.preview.startIfRequested()) {
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
    m_parts.presence.raiseWindows();

    if (onStarting)
        onStarting();
    m_parts.tray.show();
    m_parts.coordinator.changeHotKey(m_parts.settings.hotKey());
    m_parts.coordinator.start();
    m_parts.onboarding.showHotKey();

    m_parts.onboarding.reset();
    if (m_parts.onboarding.isDue())
        m_parts.onboarding.present(true);
    else
        refreshPermissionWindow(true);

    const QString phrase =
        m_parts.environment.value(QString::fromLatin1(SelfTestDriver::phraseVariable));
    if (!phrase.isEmpty()) {
        if (m_parts.makeSelfTestBackends) {
            // Owned by the coordinator it drives.
            auto* driver = new SelfTestDriver(m_parts.makeSelfTestBackends(), &m_parts.coordinator);
            driver->run(phrase);
        } else {
            DebugLog::write(QStringLiteral("self-test not available in this build"));
        }
    }
    DebugLog::write(QStringLiteral("launch complete"));
}

// whisper-cli reads the whole model on every dictation: reading it into the page cache after
// launch, after every resume and for a newly chosen model spares the next dictation the disk.
void AppLaunch::startModelWarmth()
{
    if (!m_parts.prefetcher)
        return;
    ModelPrefetcher* prefetcher = m_parts.prefetcher.get();
    if (m_parts.makeResumeNotifier) {
        m_resumeNotifier = m_parts.makeResumeNotifier();
        m_resumeNotifier->setOnResumed([prefetcher] { prefetcher->prefetch(); });
    }
    m_parts.settingsWindow.onModelChanged = [prefetcher] { prefetcher->prefetch(); };
    prefetcher->prefetch();
}

void AppLaunch::applicationDidBecomeActive()
{
    if (!m_launched || m_parts.preview.isOnboardingPreview())
        return;
    if (m_parts.onboarding.isVisible())
        m_parts.onboarding.refresh();
    else
        refreshPermissionWindow(false);
}

bool AppLaunch::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (m_parts.onboarding.isDue()) {
        m_parts.onboarding.present(false);
        return true;
    }
    if (hasVisibleWindows)
        return false;
    if (m_parts.permissions.allGranted()) {
        if (!m_parts.tray.statusItem() || m_parts.tray.isTrayAvailable())
            return false;
        // Without a tray this window is the only sign that Wendlo runs.
        m_parts.permissionsWindow.render(m_parts.permissions.microphone(), true);
        m_parts.permissionsWindow.showWindow();
        m_parts.presence.raiseWindows();
        return true;
    }
    refreshPermissionWindow(true);
    return true;
}

void AppLaunch::requestAccessibilityPermission()
{
    m_parts.coordinator.requestAccessibilityPermission();
    refreshPermissionWindowLater(500, false);
    refreshPermissionWindowLater(2000, false);
}

void AppLaunch::requestMicrophonePermission()
{
    DebugLog::write(QStringLiteral("requestMicrophonePermission state=") +
                    toString(m_parts.permissions.microphone()));
    m_parts.coordinator.requestMicrophoneAccess(true, true, {});
    refreshPermissionWindowLater(500, false);
    refreshPermissionWindowLater(2000, false);
}

void AppLaunch::refreshPermissionWindow(bool shouldPresentIfNeeded)
{
    if (m_parts.onboarding.isVisible()) {
        m_parts.permissionsWindow.close();
        m_parts.onboarding.refresh();
        return;
    }

    const MicrophonePermissionState microphone = m_parts.permissions.microphone();
    const bool accessibility = m_parts.permissions.accessibility();
    m_parts.permissionsWindow.render(microphone, accessibility);
    const bool allGranted = microphone == MicrophonePermissionState::Granted && accessibility;
    if (allGranted)
        m_parts.permissionsWindow.close();
    if (!allGranted && shouldPresentIfNeeded) {
        m_parts.permissionsWindow.showWindow();
        m_parts.presence.raiseWindows();
    }
}

void AppLaunch::refreshPermissionWindowLater(int delayMs, bool shouldPresentIfNeeded)
{
    postDelayed(this, delayMs,
                [this, shouldPresentIfNeeded] { refreshPermissionWindow(shouldPresentIfNeeded); });
}
