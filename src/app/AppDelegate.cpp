#include "app/AppDelegate.h"

#include "app/PreviewExport.h"
#include "app/SettingsWindowController.h"
#include "app/StatusItemIcon.h"
#include "app/UpdaterController.h"
#include "common/DebugLog.h"
#include "common/ErrorText.h"
#include "common/MainThreadTask.h"
#include "onboarding/OnboardingPractice.h"
#include "onboarding/OnboardingVersionStore.h"
#include "onboarding/OnboardingWindowController.h"
#include "overlay/RecordingOverlayWindowController.h"
#include "permissions/PermissionsWindowController.h"
#include "platform/AccessibilityBackend.h"
#include "platform/DesktopPresence.h"
#include "platform/OverlayWindowBackend.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cmath>

namespace {

QAction* makeMenuItem(const QString& title, QObject* parent)
{
    return new QAction(title, parent);
}

// The state label with an error's message cut to what a menu line can show; the log keeps the
// whole message.
QString displayedLabel(const DictationState& state)
{
    if (!state.isError())
        return state.label();
    return DictationState::error(ErrorText::forDisplay(state.message)).label();
}

// Menu titles treat "&" as a mnemonic marker; a state's message is shown as it stands.
QString menuTitle(const QString& text)
{
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

AppDelegate::AppDelegate(AppDelegateServices services, QObject* parent)
    : QObject(parent), m_coordinator(std::move(services.dictation)),
      m_updaterController(std::make_unique<UpdaterController>(
          services.updateFeedUrl, services.version, std::move(services.updateNotifier))),
      m_onboardingStore(std::make_unique<OnboardingVersionStore>(
          std::move(services.defaults), OnboardingVersionStore::defaultKey())),
      m_permissionsWindowController(std::make_unique<PermissionsWindowController>()),
      m_onboardingWindowController(std::make_unique<OnboardingWindowController>()),
      m_overlayWindowController(
          std::make_unique<RecordingOverlayWindowController>(std::move(services.overlayBackend))),
      m_statusMenuItem(makeMenuItem(QStringLiteral("Idle"), this)),
      m_toggleMenuItem(makeMenuItem(QStringLiteral("Start Dictation"), this)),
      m_cancelTranscriptionMenuItem(makeMenuItem(QStringLiteral("Cancel Transcription"), this)),
      m_openSetupMenuItem(makeMenuItem(QStringLiteral("Open Setup Guide"), this)),
      m_requestAccessibilityMenuItem(
          makeMenuItem(QStringLiteral("Request Accessibility Permission"), this)),
      m_requestMicrophoneMenuItem(
          makeMenuItem(QStringLiteral("Request Microphone Permission"), this)),
      m_settingsMenuItem(makeMenuItem(QStringLiteral("Settings\u2026"), this)),
      m_checkForUpdatesMenuItem(makeMenuItem(QStringLiteral("Check for Updates\u2026"), this)),
      m_accessibilityTrust(std::move(services.accessibilityTrust)),
      m_presence(std::move(services.presence)),
      m_isTrayAvailable(std::move(services.isTrayAvailable)),
      m_environment(std::move(services.environment))
{
    // The status line only informs; Qt shows that as an inactive item.
    m_statusMenuItem->setEnabled(false);
    connect(m_toggleMenuItem, &QAction::triggered, this, &AppDelegate::toggleDictation);
    // Offered only while transcribing: the way out of a recogniser that takes too long.
    m_cancelTranscriptionMenuItem->setVisible(false);
    connect(m_cancelTranscriptionMenuItem, &QAction::triggered, this,
            &AppDelegate::cancelTranscription);
    connect(m_openSetupMenuItem, &QAction::triggered, this, &AppDelegate::openSetupGuide);
    connect(m_requestAccessibilityMenuItem, &QAction::triggered, this,
            &AppDelegate::requestAccessibilityPermission);
    connect(m_requestMicrophoneMenuItem, &QAction::triggered, this,
            &AppDelegate::requestMicrophonePermission);
    connect(m_settingsMenuItem, &QAction::triggered, this, &AppDelegate::openSettings);
    connect(m_checkForUpdatesMenuItem, &QAction::triggered, this, &AppDelegate::checkForUpdates);

    m_previewExport = std::make_unique<PreviewExport>(
        m_environment, *m_presence, *m_onboardingWindowController, *m_overlayWindowController);

    m_settings = services.settings ? std::move(services.settings)
                                   : std::make_unique<AppSettings>(
                                         OnboardingVersionStore::standardDefaults(), m_environment);
    const QString executable = services.executable.isEmpty()
                                   ? QCoreApplication::applicationFilePath()
                                   : services.executable;
    m_settingsWindowController = std::make_unique<SettingsWindowController>(
        *m_settings, *m_coordinator, AutostartEntry(m_environment, executable),
        std::move(services.models));
}

AppDelegate::~AppDelegate()
{
    // The tray icon refers to the menu: let it go first.
    m_statusItem.reset();
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_launched)
        return;
    m_launched = true;

    if (m_previewExport->startIfRequested()) {
        m_preview = true;
        return;
    }

    DebugLog::write(QStringLiteral("launch version=") + QCoreApplication::applicationVersion());
    m_presence->raiseWindows();

    // The state may arrive on any thread; it always travels to the main thread as a task, so
    // states are applied in the order they were reported. The log line is written even when
    // the delegate is gone.
    QPointer<AppDelegate> weak(this);
    m_coordinator->setOnStateChange([weak](const DictationState& state) {
        postTask(QCoreApplication::instance(), [weak, state] {
            if (weak)
                weak->deliverState(state);
            DebugLog::write(QStringLiteral("state=") + state.label());
        });
    });

    m_coordinator->setOnHotKeyProblemChange([weak] {
        if (!weak)
            return;
        weak->showHotKeyInOnboarding();
        if (weak->m_settingsWindowController->isVisible())
            weak->m_settingsWindowController->render();
    });

    buildStatusItemAndMenu();
    wireWindows();
    m_coordinator->changeHotKey(m_settings->hotKey());
    m_coordinator->start();
    showHotKeyInOnboarding();

    m_onboardingState = OnboardingState{OnboardingStep::Welcome, microphoneState(),
                                        accessibilityGranted(), QString()};
    if (m_onboardingStore->storedVersion() < 1)
        presentOnboarding(true);
    else
        refreshPermissionWindow(true);

    const QString phrase = m_environment.value(QStringLiteral("QUOR_SELFTEST_PHRASE"));
    if (!phrase.isEmpty())
        m_coordinator->runSelfTest(phrase);
    DebugLog::write(QStringLiteral("launch complete"));
}

void AppDelegate::deliverState(const DictationState& state)
{
    m_currentState = state;
    // A failed or repaired hot key shows in the practice step.
    showHotKeyInOnboarding();
    applyMenuChrome();
    m_overlayWindowController->render(state);
    refreshPermissionWindow(false);
}

void AppDelegate::wireWindows()
{
    QPointer<AppDelegate> weak(this);
    const auto weakly = [weak](void (AppDelegate::*operation)()) {
        return [weak, operation] {
            if (weak)
                (weak.data()->*operation)();
        };
    };
    m_permissionsWindowController->onRequestMicrophone =
        weakly(&AppDelegate::requestMicrophonePermission);
    m_permissionsWindowController->onRequestAccessibility =
        weakly(&AppDelegate::requestAccessibilityPermission);

    m_onboardingWindowController->onAdvance = weakly(&AppDelegate::advanceOnboarding);
    m_onboardingWindowController->onBack = weakly(&AppDelegate::goBackOnboarding);
    m_onboardingWindowController->onFinish = weakly(&AppDelegate::completeOnboarding);
    m_onboardingWindowController->onRequestMicrophone =
        weakly(&AppDelegate::requestMicrophonePermission);
    m_onboardingWindowController->onRequestAccessibility =
        weakly(&AppDelegate::requestAccessibilityPermission);
    m_onboardingWindowController->onPracticeTextChange = [weak](const QString& text) {
        if (weak)
            weak->updateOnboardingPractice(text);
    };
    m_onboardingWindowController->onOpenHotKeySettings = [weak] {
        if (!weak)
            return;
        weak->openSettings();
        weak->m_settingsWindowController->focusHotKey();
    };
    m_settingsWindowController->onHotKeyChanged = weakly(&AppDelegate::showHotKeyInOnboarding);
}

void AppDelegate::showHotKeyInOnboarding()
{
    m_onboardingWindowController->setHotKey(m_coordinator->hotKey().displayText(),
                                            m_coordinator->hotKeyProblem(),
                                            m_coordinator->hotKeyBinding());
}

void AppDelegate::applicationDidBecomeActive()
{
    if (!m_launched || m_previewExport->isOnboardingPreview())
        return;
    if (m_onboardingWindowController->isVisible())
        refreshAndRenderOnboarding();
    else
        refreshPermissionWindow(false);
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (m_onboardingStore->storedVersion() < 1) {
        presentOnboarding(false);
        return true;
    }
    if (hasVisibleWindows)
        return false;
    if (allPermissionsGranted()) {
        if (!m_statusItem || m_isTrayAvailable())
            return false;
        // Without a tray this window is the only sign that Wendlo runs.
        m_permissionsWindowController->render(microphoneState(), true);
        m_permissionsWindowController->showWindow();
        m_presence->raiseWindows();
        return true;
    }
    refreshPermissionWindow(true);
    return true;
}

bool AppDelegate::hasVisibleWindows() const
{
    return m_permissionsWindowController->isVisible() ||
           m_onboardingWindowController->isVisible() || m_overlayWindowController->isVisible() ||
           m_settingsWindowController->isVisible();
}

void AppDelegate::toggleDictation()
{
    const DictationState state = m_coordinator->state();
    if (state.isTranscribing())
        m_coordinator->beep();
    else if (state.isRecording())
        m_coordinator->stopAndTranscribe();
    else
        m_coordinator->requestMicrophoneAndStart();
}

void AppDelegate::startDictation()
{
    m_coordinator->hotKeyPressed();
}

void AppDelegate::stopDictation()
{
    m_coordinator->hotKeyReleased();
}

void AppDelegate::cancelTranscription()
{
    m_coordinator->cancelTranscription();
}

void AppDelegate::openSetupGuide()
{
    presentOnboarding(true);
}

void AppDelegate::requestAccessibilityPermission()
{
    m_coordinator->requestAccessibilityPermission();
    refreshPermissionWindow(0.5, false);
    refreshPermissionWindow(2.0, false);
}

void AppDelegate::requestMicrophonePermission()
{
    DebugLog::write(QStringLiteral("requestMicrophonePermission state=") +
                    toString(microphoneState()));
    m_coordinator->requestMicrophoneAccess(true, true, {});
    refreshPermissionWindow(0.5, false);
    refreshPermissionWindow(2.0, false);
}

void AppDelegate::openSettings()
{
    m_settingsWindowController->showWindow();
    m_presence->raiseWindows();
}

void AppDelegate::checkForUpdates()
{
    m_updaterController->checkForUpdates();
}

void AppDelegate::quit()
{
    m_presence->terminate();
}

MicrophonePermissionState AppDelegate::microphoneState() const
{
    return m_coordinator->microphonePermissionState();
}

bool AppDelegate::accessibilityGranted() const
{
    return m_accessibilityTrust->isTrusted();
}

bool AppDelegate::allPermissionsGranted() const
{
    return microphoneState() == MicrophonePermissionState::Granted && accessibilityGranted();
}

void AppDelegate::refreshPermissionWindow(bool shouldPresentIfNeeded)
{
    if (m_onboardingWindowController->isVisible()) {
        m_permissionsWindowController->close();
        refreshAndRenderOnboarding();
        return;
    }

    const MicrophonePermissionState microphone = microphoneState();
    const bool accessibility = accessibilityGranted();
    m_permissionsWindowController->render(microphone, accessibility);
    const bool allGranted = microphone == MicrophonePermissionState::Granted && accessibility;
    if (allGranted)
        m_permissionsWindowController->close();
    if (!allGranted && shouldPresentIfNeeded) {
        m_permissionsWindowController->showWindow();
        m_presence->raiseWindows();
    }
}

void AppDelegate::refreshPermissionWindow(double afterSeconds, bool shouldPresentIfNeeded)
{
    postDelayed(this, int(std::lround(afterSeconds * 1000)),
                [this, shouldPresentIfNeeded] { refreshPermissionWindow(shouldPresentIfNeeded); });
}

void AppDelegate::refreshAndRenderOnboarding()
{
    m_onboardingState.microphoneState = microphoneState();
    m_onboardingState.accessibilityGranted = accessibilityGranted();
    m_onboardingWindowController->render(m_onboardingState);
}

void AppDelegate::presentOnboarding(bool resetProgress)
{
    const MicrophonePermissionState microphone = microphoneState();
    if (resetProgress) {
        m_onboardingState =
            OnboardingState{OnboardingStep::Welcome, microphone, accessibilityGranted(), QString()};
    } else {
        m_onboardingState.microphoneState = microphone;
        m_onboardingState.accessibilityGranted = accessibilityGranted();
    }
    m_onboardingWindowController->showWindow();
    m_presence->raiseWindows();
    m_permissionsWindowController->close();
    refreshAndRenderOnboarding();
}

void AppDelegate::advanceOnboarding()
{
    if (mayContinue(m_onboardingState)) {
        if (const auto next = m_onboardingState.step.next())
            m_onboardingState.step = *next;
    }
    refreshAndRenderOnboarding();
}

void AppDelegate::goBackOnboarding()
{
    if (const auto previous = m_onboardingState.step.previous())
        m_onboardingState.step = *previous;
    refreshAndRenderOnboarding();
}

void AppDelegate::updateOnboardingPractice(const QString& text)
{
    m_onboardingState.practiceText = OnboardingPractice::correctedTranscript(text).value_or(text);
    refreshAndRenderOnboarding();
}

void AppDelegate::completeOnboarding()
{
    m_onboardingStore->markCompleted();
    m_onboardingWindowController->close();
    if (!allPermissionsGranted())
        refreshPermissionWindow(true);
}

const QIcon& AppDelegate::statusItemIcon()
{
    if (!m_statusItemIcon) {
        m_statusItemIconColor = StatusItemIcon::panelTextColor(
            QGuiApplication::palette(), qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
        m_statusItemIcon = StatusItemIcon::makeIcon(m_statusItemIconColor);
    }
    return *m_statusItemIcon;
}

void AppDelegate::buildStatusItemAndMenu()
{
    m_statusItem = std::make_unique<QSystemTrayIcon>();
    configureStatusItemButton();

    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(m_statusMenuItem);
    m_menu->addAction(m_toggleMenuItem);
    m_menu->addAction(m_cancelTranscriptionMenuItem);
    m_menu->addSeparator();
    m_menu->addAction(m_openSetupMenuItem);
    m_menu->addAction(m_requestAccessibilityMenuItem);
    m_menu->addAction(m_requestMicrophoneMenuItem);
    m_menu->addSeparator();
    m_menu->addAction(m_settingsMenuItem);
    m_menu->addAction(m_checkForUpdatesMenuItem);
    m_menu->addSeparator();
    QAction* quitItem = m_menu->addAction(QStringLiteral("Quit"));
    quitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitItem->setShortcutVisibleInContextMenu(true);
    connect(quitItem, &QAction::triggered, this, &AppDelegate::quit);
    // An action that lives only in a popup menu never matches its own shortcut: the open
    // menu carries it instead.
    auto* quitShortcut = new QShortcut(quitItem->shortcut(), m_menu.get());
    connect(quitShortcut, &QShortcut::activated, quitItem, &QAction::trigger);

    m_statusItem->setContextMenu(m_menu.get());
    // A click on the icon opens the same menu; the item has no action of its own.
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, m_menu.get(),
            [menu = m_menu.get()](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    menu->popup(QCursor::pos());
            });
    applyMenuChrome();

    if (!m_isTrayAvailable()) {
        DebugLog::write(QStringLiteral(
            "tray unavailable: Wendlo stays reachable through its windows and by starting it "
            "again"));
    }
    // Shown even without a tray now: Qt adds the icon once a tray appears.
    m_statusItem->show();
    // Trays that embed the icon show the panel around it; once docked, check it stands out.
    for (const int delayMs : {1000, 5000})
        QTimer::singleShot(delayMs, this, &AppDelegate::matchStatusItemIconToPanel);
}

void AppDelegate::matchStatusItemIconToPanel()
{
    if (!m_statusItem || !m_statusItem->isVisible())
        return;
    const QColor color = StatusItemIcon::colorOver(
        StatusItemIcon::grabPanel(m_statusItem->geometry()), m_statusItemIconColor);
    if (color == m_statusItemIconColor)
        return;
    m_statusItemIconColor = color;
    m_statusItemIcon = StatusItemIcon::makeIcon(color);
    m_statusItem->setIcon(*m_statusItemIcon);
    DebugLog::write(QStringLiteral("tray icon colour for the panel: ") + color.name());
}

void AppDelegate::configureStatusItemButton()
{
    if (!m_statusItem)
        return;
    m_statusItem->setIcon(statusItemIcon());
    m_statusItem->setToolTip(QStringLiteral("Wendlo \u2014 ") + displayedLabel(m_currentState));
    m_statusItemAccessibleName = QStringLiteral("Wendlo, ") + displayedLabel(m_currentState);
}

void AppDelegate::applyMenuChrome()
{
    const QString label = displayedLabel(m_currentState);
    m_statusMenuItem->setText(menuTitle(label));
    m_toggleMenuItem->setText(m_currentState.isRecording() ? QStringLiteral("Stop Dictation")
                                                           : QStringLiteral("Start Dictation"));
    m_cancelTranscriptionMenuItem->setVisible(m_currentState.isTranscribing());
    if (!m_statusItem)
        return;
    m_statusItem->setToolTip(QStringLiteral("Wendlo \u2014 ") + label);
    m_statusItemAccessibleName = QStringLiteral("Wendlo, ") + label;
    if (m_menu)
        m_menu->setAccessibleName(m_statusItemAccessibleName);
}
