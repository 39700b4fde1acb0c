#pragma once

#include "app/PermissionStatus.h"
#include "platform/PlatformBackends.h"

#include <QObject>
#include <QProcessEnvironment>
#include <functional>
#include <memory>

class DesktopPresence;
class AppSettings;
class DictationCoordinator;
class ModelPrefetcher;
class OnboardingFlow;
class PermissionsWindowController;
class PreviewExport;
class ResumeNotifier;
class SettingsWindowController;
class TrayMenu;

// What happens at start and whenever the user comes back to the app: a preview or the
// ordinary launch, onboarding or the tray, the permissions window kept in step with the two
// permissions, and the speech model read ahead. Main thread only.
class AppLaunch : public QObject
{
    Q_OBJECT

public:
    // The pieces launch arranges; the owner keeps them alive longer than this object.
    struct Parts
    {
        PreviewExport& preview;
        DesktopPresence& presence;
        DictationCoordinator& coordinator;
        PermissionStatus permissions;
        TrayMenu& tray;
        OnboardingFlow& onboarding;
        PermissionsWindowController& permissionsWindow;
        SettingsWindowController& settingsWindow;
        AppSettings& settings;
        QProcessEnvironment environment;
        // Read the model into the page cache after launch and every resume. Without a
        // prefetcher nothing is read ahead; the notifier is made only once the launch is done,
        // so that a preview never listens and the start waits for no bus.
        std::unique_ptr<ModelPrefetcher> prefetcher;
        std::function<std::unique_ptr<ResumeNotifier>()> makeResumeNotifier;
        // What a requested self-test speaks and presses with; asked only when one runs.
        std::function<SelfTestBackends()> makeSelfTestBackends;
    };

    explicit AppLaunch(Parts parts, QObject* parent = nullptr);
    ~AppLaunch() override;

    // Once it is clear that this is no preview, before the hot key is grabbed: the owner
    // connects the dictation state and the windows' buttons.
    std::function<void()> onStarting;
    // How the settings window is opened (`--settings`).
    std::function<void()> openSettings;

    // Runs once: a requested preview, or the ordinary launch, then the settings window when
    // `showSettings` (the `--settings` launch).
    void applicationDidFinishLaunching(bool showSettings = false);
    void applicationDidBecomeActive();
    // A second start of the app, or the desktop asking to show it. True when a window was
    // shown for it.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);

    // Both commands ask, then look again twice: the answer may come from another program.
    void requestAccessibilityPermission();
    void requestMicrophonePermission();

    // Shows the onboarding in its place while it is open; else renders the permissions window,
    // closes it once both are granted, and shows it when something is missing and
    // `shouldPresentIfNeeded`.
    void refreshPermissionWindow(bool shouldPresentIfNeeded);

    bool hasLaunched() const { return m_launched; }
    bool isPreview() const { return m_preview; }
    ModelPrefetcher* prefetcher() const { return m_parts.prefetcher.get(); }

private:
    void launch();
    void startModelWarmth();
    void refreshPermissionWindowLater(int delayMs, bool shouldPresentIfNeeded);

    Parts m_parts;
    std::unique_ptr<ResumeNotifier> m_resumeNotifier;
    bool m_launched = false;
    bool m_preview = false;
};
