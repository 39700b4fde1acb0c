#pragma once

#include "app/AppSettings.h"
#include "app/DictationControl.h"
#include "app/SettingsWindowController.h"
#include "app/UpdateNotifier.h"
#include "dictation/DictationState.h"
#include "onboarding/OnboardingState.h"
#include "platform/AccessibilityBackend.h"
#include "platform/DesktopPresence.h"
#include "platform/OverlayWindowBackend.h"

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QProcessEnvironment>
#include <QSettings>
#include <QUrl>
#include <QVersionNumber>
#include <functional>
#include <memory>
#include <optional>

class OnboardingVersionStore;
class OnboardingWindowController;
class PermissionsWindowController;
class PreviewExport;
class QAction;
class QMenu;
class QSystemTrayIcon;
class RecordingOverlayWindowController;
class SettingsWindowController;
class UpdaterController;

// What the delegate needs from outside; main passes the desktop's, tests pass fakes.
struct AppDelegateServices
{
    std::unique_ptr<DictationControl> dictation;
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
};

// Owns everything long-lived, wires the pieces together, carries the tray menu's commands
// and keeps the permissions window and the onboarding window in step with the two
// permissions. Main thread only, except the dictation state callback.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit AppDelegate(AppDelegateServices services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Application events.
    void applicationDidFinishLaunching();
    void applicationDidBecomeActive();
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // Any of the app's own windows shown.
    bool hasVisibleWindows() const;

    // Menu commands.
    void toggleDictation();
    // The hot key's press and release, as commands from the command line.
    void startDictation();
    void stopDictation();
    void cancelTranscription();
    void openSetupGuide();
    void requestAccessibilityPermission();
    void requestMicrophonePermission();
    void openSettings();
    void checkForUpdates();
    void quit();

    void refreshPermissionWindow(bool shouldPresentIfNeeded);
    void refreshPermissionWindow(double afterSeconds, bool shouldPresentIfNeeded);

    // Onboarding.
    void presentOnboarding(bool resetProgress);
    void advanceOnboarding();
    void goBackOnboarding();
    void completeOnboarding();
    void updateOnboardingPractice(const QString& text);

    // Tray chrome.
    void configureStatusItemButton();
    void applyMenuChrome();

    // Read access for the app's entry and tests.
    bool hasLaunched() const { return m_launched; }
    bool isPreview() const { return m_preview; }
    const DictationState& currentState() const { return m_currentState; }
    const OnboardingState& onboardingState() const { return m_onboardingState; }
    QSystemTrayIcon* statusItem() const { return m_statusItem.get(); }
    QMenu* menu() const { return m_menu.get(); }
    const QString& statusItemAccessibleName() const { return m_statusItemAccessibleName; }
    QAction* statusMenuItem() const { return m_statusMenuItem; }
    QAction* toggleMenuItem() const { return m_toggleMenuItem; }
    QAction* settingsMenuItem() const { return m_settingsMenuItem; }
    SettingsWindowController& settingsWindowController() const
    {
        return *m_settingsWindowController;
    }
    QAction* cancelTranscriptionMenuItem() const { return m_cancelTranscriptionMenuItem; }
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
    OnboardingVersionStore& onboardingStore() const { return *m_onboardingStore; }

private:
    void deliverState(const DictationState& state);
    void buildStatusItemAndMenu();
    void wireWindows();
    void refreshAndRenderOnboarding();
    void showHotKeyInOnboarding();
    MicrophonePermissionState microphoneState() const;
    bool accessibilityGranted() const;
    bool allPermissionsGranted() const;
    const QIcon& statusItemIcon();
    // Redraws the tray icon in black or white where the panel around it would hide it.
    void matchStatusItemIconToPanel();

    // Long-lived collaborators, in the order they are created.
    std::unique_ptr<DictationControl> m_coordinator;
    std::unique_ptr<UpdaterController> m_updaterController;
    std::unique_ptr<OnboardingVersionStore> m_onboardingStore;
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    std::unique_ptr<PermissionsWindowController> m_permissionsWindowController;
    std::unique_ptr<OnboardingWindowController> m_onboardingWindowController;
    std::unique_ptr<RecordingOverlayWindowController> m_overlayWindowController;
    // Menu items: children of this object, added to the menu at launch.
    QAction* m_statusMenuItem = nullptr;
    QAction* m_toggleMenuItem = nullptr;
    QAction* m_cancelTranscriptionMenuItem = nullptr;
    QAction* m_openSetupMenuItem = nullptr;
    QAction* m_requestAccessibilityMenuItem = nullptr;
    QAction* m_requestMicrophoneMenuItem = nullptr;
    QAction* m_settingsMenuItem = nullptr;
    QAction* m_checkForUpdatesMenuItem = nullptr;
    DictationState m_currentState = DictationState::idle();
    OnboardingState m_onboardingState;
    std::optional<QIcon> m_statusItemIcon;
    QColor m_statusItemIconColor;

    std::unique_ptr<AccessibilityTrust> m_accessibilityTrust;
    std::unique_ptr<DesktopPresence> m_presence;
    std::function<bool()> m_isTrayAvailable;
    QProcessEnvironment m_environment;
    std::unique_ptr<PreviewExport> m_previewExport;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<SettingsWindowController> m_settingsWindowController;
    std::unique_ptr<QMenu> m_menu;
    QString m_statusItemAccessibleName;
    bool m_launched = false;
    bool m_preview = false;
};
