#pragma once

#include "app/AppSettings.h"
#include "app/SettingsWindowController.h"
#include "app/UpdateNotifier.h"
#include "dictation/DictationCoordinator.h"
#include "dictation/DictationState.h"
#include "dictation/ModelPrefetcher.h"
#include "platform/AccessibilityBackend.h"
#include "platform/DesktopPresence.h"
#include "platform/OverlayWindowBackend.h"
#include "platform/ResumeNotifier.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QSettings>
#include <QUrl>
#include <QVersionNumber>
#include <functional>
#include <memory>

class AppLaunch;
class OnboardingFlow;
class OnboardingWindowController;
class PermissionsWindowController;
class PreviewExport;
class RecordingOverlayWindowController;
class TrayMenu;
class UpdaterController;

// What the delegate needs from outside; main passes the desktop's, tests pass fakes.
struct AppDelegateServices
{
    std::unique_ptr<DictationCoordinator> coordinator;
    std::unique_ptr<AccessibilityTrust> accessibilityTrust;
    std::unique_ptr<DesktopPresence> presence;
    // Holds the completed onboarding version.
    std::unique_ptr<QSettings> defaults;
    QUrl updateFeedUrl;
    QVersionNumber version;
    std::unique_ptr<UpdateNotifier> updateNotifier;
    // Whether the desktop shows tray icons.
    std::function<bool()> isTrayAvailable;
    std::unique_ptr<OverlayWindowBackend> overlayBackend; // may be empty
    QProcessEnvironment environment;
    // The hot key and language; over the standard settings when empty.
    std::unique_ptr<AppSettings> settings;
    // The recogniser's search for its model files, shown in the settings window.
    ModelFiles models;
    // What a start at login runs; this program when empty.
    QString executable;
    // Reads the model ahead after launch and every resume; either may be empty.
    std::unique_ptr<ModelPrefetcher> prefetcher;
    std::function<std::unique_ptr<ResumeNotifier>()> makeResumeNotifier;
};

// Owns everything long-lived and wires the pieces together: the dictation pipeline, the tray
// menu, the onboarding flow, the launch and the windows. Main thread only.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit AppDelegate(AppDelegateServices services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Commands reached from more than one place.
    void openSettings();
    void quit();
    // Any of the app's own windows shown.
    bool hasVisibleWindows() const;

    // The last state the pipeline reported, as the shell shows it.
    const DictationState& currentState() const { return m_currentState; }

    DictationCoordinator& coordinator() const { return *m_coordinator; }
    AppLaunch& launch() const { return *m_launch; }
    OnboardingFlow& onboarding() const { return *m_onboarding; }
    TrayMenu& trayMenu() const { return *m_trayMenu; }
    SettingsWindowController& settingsWindowController() const
    {
        return *m_settingsWindowController;
    }
    PermissionsWindowController& permissionsWindowController() const
    {
        return *m_permissionsWindowController;
    }
    OnboardingWindowController& onboardingWindowController() const
    {
        return *m_onboardingWindowController;
    }
    RecordingOverlayWindowController& overlayWindowController() const
    {
        return *m_overlayWindowController;
    }
    UpdaterController& updaterController() const { return *m_updaterController; }

private:
    // Connects the dictation state and the windows' buttons (not for a preview).
    void connectParts();
    void deliverState(const DictationState& state);

    // In the order they are created; each refers only to those before it.
    std::unique_ptr<DictationCoordinator> m_coordinator;
    std::unique_ptr<AccessibilityTrust> m_accessibilityTrust;
    std::unique_ptr<DesktopPresence> m_presence;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<UpdaterController> m_updaterController;
    std::unique_ptr<PermissionsWindowController> m_permissionsWindowController;
    std::unique_ptr<OnboardingWindowController> m_onboardingWindowController;
    std::unique_ptr<RecordingOverlayWindowController> m_overlayWindowController;
    std::unique_ptr<SettingsWindowController> m_settingsWindowController;
    std::unique_ptr<PreviewExport> m_previewExport;
    std::unique_ptr<TrayMenu> m_trayMenu;
    std::unique_ptr<OnboardingFlow> m_onboarding;
    std::unique_ptr<AppLaunch> m_launch;
    DictationState m_currentState = DictationState::idle();
};
