#include "app/AppDelegate.h"

#include "fakes/FakePageCache.h"
#include "onboarding/OnboardingWindowController.h"
#include "overlay/RecordingOverlayWindowController.h"
#include "permissions/PermissionsWindowController.h"
#include "support/Wait.h"
#include "unit/app/ShellFixture.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

using Mic = MicrophonePermissionState;

namespace {

QProcessEnvironment environmentWith(std::initializer_list<std::pair<const char*, const char*>> vars)
{
    QProcessEnvironment env;
    for (const auto& [name, value] : vars)
        env.insert(QString::fromLatin1(name), QString::fromUtf8(value));
    return env;
}

} // namespace

struct LaunchCase
{
    const char* name;
    std::optional<QVariant> storedVersion;
    Mic microphone;
    bool accessibility;
    bool onboardingShown;
    bool permissionsShown;
};

class LaunchChoiceTest : public ::testing::TestWithParam<LaunchCase>
{
};

TEST_P(LaunchChoiceTest, ShowsOnboardingOrPermissionsByStoredVersion)
{
    const LaunchCase& c = GetParam();
    ShellFixture shell;
    shell.storeVersion(c.storedVersion);
    AppDelegate& delegate = shell.launch({}, c.microphone, c.accessibility);

    EXPECT_EQ(shell.fakes.hotKey->registerCalls, 1);
    EXPECT_EQ(delegate.onboardingWindowController().isVisible(), c.onboardingShown);
    EXPECT_EQ(delegate.permissionsWindowController().isVisible(), c.permissionsShown);
    ASSERT_NE(delegate.trayMenu().statusItem(), nullptr);
    if (c.onboardingShown) {
        EXPECT_EQ(delegate.onboarding().state().step, OnboardingStep::Welcome);
        EXPECT_EQ(delegate.onboarding().state().microphoneState, c.microphone);
        EXPECT_EQ(delegate.onboarding().state().accessibilityGranted, c.accessibility);
    }
}

INSTANTIATE_TEST_SUITE_P(
    StoredVersions, LaunchChoiceTest,
    ::testing::Values(
        LaunchCase{"absent", std::nullopt, Mic::Granted, true, true, false},
        LaunchCase{"zero", QVariant(0), Mic::Granted, true, true, false},
        LaunchCase{"negative", QVariant(-3), Mic::Denied, false, true, false},
        LaunchCase{"unreadable", QVariant("later"), Mic::Granted, true, true, false},
        LaunchCase{"oneAllGranted", QVariant(1), Mic::Granted, true, false, false},
        LaunchCase{"oneMicrophoneDenied", QVariant(1), Mic::Denied, true, false, true},
        LaunchCase{"twoAccessibilityMissing", QVariant(2), Mic::Granted, false, false, true},
        LaunchCase{"twoMicrophoneUndetermined", QVariant(2), Mic::Undetermined, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LaunchTest, OnboardingPreviewStepTakesOverAndWinsOverOverlay)
{
    ShellFixture shell;
    AppDelegate& delegate =
        shell.launch(environmentWith({{"QUOR_ONBOARDING_PREVIEW_STEP", "  Practice\n"},
                                      {"QUOR_OVERLAY_PREVIEW_MODE", "cycle"}}));

    EXPECT_TRUE(delegate.launch().isPreview());
    EXPECT_EQ(shell.fakes.hotKey->registerCalls, 0); // not started: no hot key
    EXPECT_EQ(delegate.trayMenu().statusItem(), nullptr);
    EXPECT_TRUE(delegate.onboardingWindowController().isVisible());
    EXPECT_EQ(delegate.onboardingWindowController().currentState().step, OnboardingStep::Practice);
    EXPECT_FALSE(delegate.overlayWindowController().isVisible());
    // No export directory: the preview ends on its own.
    EXPECT_TRUE(waitUntil([&] { return shell.presence->events.contains("terminate"); }, 3000));

    // While an onboarding preview is configured, becoming active does nothing.
    shell.presence->events.clear();
    delegate.launch().applicationDidBecomeActive();
    EXPECT_TRUE(shell.presence->events.isEmpty());
}

TEST(LaunchTest, OverlayPreviewModeInCapitalsShowsThePill)
{
    ShellFixture shell;
    AppDelegate& delegate = shell.launch(environmentWith(
        {{"QUOR_ONBOARDING_PREVIEW_STEP", "nowhere"}, {"QUOR_OVERLAY_PREVIEW_MODE", "CYCLE"}}));
    EXPECT_TRUE(delegate.launch().isPreview());
    EXPECT_EQ(shell.fakes.hotKey->registerCalls, 0);
    EXPECT_EQ(delegate.trayMenu().statusItem(), nullptr);
    EXPECT_TRUE(delegate.overlayWindowController().isVisible());
    EXPECT_FALSE(delegate.onboardingWindowController().isVisible());
}

TEST(LaunchTest, UnknownPreviewWordsRunTheOrdinaryLaunch)
{
    ShellFixture shell;
    AppDelegate& delegate = shell.launch(environmentWith(
        {{"QUOR_ONBOARDING_PREVIEW_STEP", "   "}, {"QUOR_OVERLAY_PREVIEW_MODE", "sideways"}}));
    EXPECT_FALSE(delegate.launch().isPreview());
    EXPECT_EQ(shell.fakes.hotKey->registerCalls, 1);
    EXPECT_NE(delegate.trayMenu().statusItem(), nullptr);
}

TEST(LaunchTest, SelfTestRunsOnlyForANonEmptyPhraseAfterTheWindows)
{
    const auto launchLines = [](ShellFixture& shell, const char* phrase) {
        const qint64 offset = logSize();
        shell.launch(environmentWith({{"QUOR_SELFTEST_PHRASE", phrase}}));
        QStringList lines;
        for (const QString& line : logLinesSince(offset))
            if (line.contains("self-test") || line.contains("launch complete"))
                lines << line;
        return lines;
    };
    ShellFixture empty;
    EXPECT_EQ(launchLines(empty, ""), QStringList{"[Quor] launch complete"});

    ShellFixture shell;
    EXPECT_EQ(launchLines(shell, "hello there"),
              (QStringList{"[Quor] starting self-test", "[Quor] launch complete"}));
    EXPECT_TRUE(shell.delegate->onboardingWindowController().isVisible());
}

TEST(LaunchTest, SettingsLaunchOpensTheWindowUnlessItIsAPreview)
{
    ShellFixture shell;
    shell.storeVersion(1);
    shell.make().launch().applicationDidFinishLaunching(/*showSettings=*/true);
    EXPECT_TRUE(shell.delegate->settingsWindowController().isVisible());
    EXPECT_EQ(shell.fakes.hotKey->registerCalls, 1);

    ShellFixture preview;
    preview.make(environmentWith({{"QUOR_OVERLAY_PREVIEW_MODE", "cycle"}}))
        .launch()
        .applicationDidFinishLaunching(true);
    EXPECT_FALSE(preview.delegate->settingsWindowController().isVisible());
}

TEST(LaunchTest, ModelIsReadAheadAtLaunchOnResumeAndForANewChoice)
{
    const auto makePrefetcher = [](const std::shared_ptr<FakePageCache>& cache) {
        return std::make_unique<ModelPrefetcher>(
            []() -> Result<QString> { return QStringLiteral("/models/ggml-small.bin"); }, cache);
    };
    ShellFixture shell;
    shell.storeVersion(1);
    auto cache = std::make_shared<FakePageCache>();
    shell.prefetcher = makePrefetcher(cache);
    AppDelegate& delegate = shell.launch();
    const auto readsSettle = [&](qsizetype n) {
        return waitUntil([&] {
            return cache->calls().size() == n && !delegate.launch().prefetcher()->isRunning();
        });
    };
    EXPECT_TRUE(readsSettle(1));
    ASSERT_TRUE(shell.resume->resume());
    EXPECT_TRUE(readsSettle(2));
    delegate.settingsWindowController().onModelChanged();
    EXPECT_TRUE(readsSettle(3));

    // A preview reads nothing ahead and listens for no wake-up.
    ShellFixture preview;
    auto previewCache = std::make_shared<FakePageCache>();
    preview.prefetcher = makePrefetcher(previewCache);
    preview.launch(environmentWith({{"QUOR_OVERLAY_PREVIEW_MODE", "cycle"}}));
    EXPECT_EQ(preview.resume, nullptr);
    spinFor(50);
    EXPECT_TRUE(previewCache->calls().isEmpty());
}

// MARK: toggle

// The rules per state are the coordinator's; here the items reach it.
TEST(ToggleTest, TheItemStartsAndStopsADictation)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();
    QAction* toggle = delegate.trayMenu().toggleMenuItem();

    toggle->trigger();
    ASSERT_TRUE(waitUntil([&] { return toggle->text() == "Stop Dictation"; }));
    EXPECT_TRUE(shell.coordinator->state().isRecording());

    toggle->trigger();
    EXPECT_TRUE(shell.coordinator->state().isTranscribing());
    ASSERT_TRUE(waitUntil([&] { return delegate.currentState() == DictationState::idle(); }));
    EXPECT_EQ(shell.fakes.transcriber->calls().size(), 1);
    EXPECT_EQ(toggle->text(), "Start Dictation");
}

TEST(CancelTest, TheCancelItemStopsTheTranscription)
{
    ShellFixture shell;
    shell.holdTranscriptions = true;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();
    TrayMenu& tray = delegate.trayMenu();
    tray.toggleMenuItem()->trigger();
    ASSERT_TRUE(waitUntil([&] { return shell.coordinator->state().isRecording(); }));
    tray.toggleMenuItem()->trigger();
    ASSERT_TRUE(waitUntil([&] { return tray.cancelTranscriptionMenuItem()->isVisible(); }));

    tray.cancelTranscriptionMenuItem()->trigger();

    EXPECT_EQ(shell.coordinator->state(), DictationState::idle());
    EXPECT_TRUE(waitUntil([&] { return !tray.cancelTranscriptionMenuItem()->isVisible(); }));
}

struct ChromeCase
{
    const char* name;
    DictationState state;
    QString statusLine; // as the user reads it
    QString toggleTitle;
    bool offersCancel = false;
};

class ChromeTest : public ::testing::TestWithParam<ChromeCase>
{
};

TEST_P(ChromeTest, FollowsTheDeliveredState)
{
    const ChromeCase& c = GetParam();
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();

    shell.report(c.state);
    ASSERT_TRUE(waitUntil([&] { return delegate.currentState() == c.state; }));

    // Menu titles double "&" so that it shows as itself rather than as a mnemonic.
    EXPECT_EQ(delegate.trayMenu().statusMenuItem()->text(),
              QString(c.statusLine).replace("&", "&&"));
    EXPECT_EQ(delegate.trayMenu().toggleMenuItem()->text(), c.toggleTitle);
    EXPECT_EQ(delegate.trayMenu().cancelTranscriptionMenuItem()->isVisible(), c.offersCancel);
    EXPECT_EQ(delegate.trayMenu().statusItem()->toolTip(),
              QStringLiteral("Wendlo \u2014 ") + c.statusLine);
    EXPECT_EQ(delegate.trayMenu().statusItemAccessibleName(),
              QStringLiteral("Wendlo, ") + c.statusLine);
    EXPECT_EQ(delegate.trayMenu().menu()->accessibleName(),
              QStringLiteral("Wendlo, ") + c.statusLine);
    // Every item the menu shows is active (Qt disables the hidden ones).
    for (QAction* item : delegate.trayMenu().menu()->actions()) {
        if (item != delegate.trayMenu().statusMenuItem() && item->isVisible()) {
            EXPECT_TRUE(item->isEnabled()) << item->text().toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, ChromeTest,
    ::testing::Values(
        ChromeCase{"idle", DictationState::idle(), "Idle", "Start Dictation"},
        ChromeCase{"recording", DictationState::recording(), "Recording", "Stop Dictation"},
        ChromeCase{"transcribing", DictationState::transcribing(), "Transcribing",
                   "Start Dictation", true},
        ChromeCase{"error", DictationState::error("Could not start recording"),
                   "Error: Could not start recording", "Start Dictation"},
        // A failing program's diagnostic can run to pages: the menu shows its first line.
        ChromeCase{"errorWithLineBreakAndAmpersand",
                   DictationState::error("whisper-cli failed & gave up\nexit 3, no output"),
                   QStringLiteral("Error: whisper-cli failed & gave up\u2026"), "Start Dictation"},
        ChromeCase{
            "errorOfUsageText",
            DictationState::error(QString(250, QChar('u')) + "\n" +
                                  QStringLiteral("usage: whisper-cli [options]\n").repeated(75)),
            "Error: " + QString(199, QChar('u')) + QChar(0x2026), "Start Dictation"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MenuTest, ItemsInOrderWithQuitOnCtrlQ)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();

    QStringList titles;
    for (QAction* item : delegate.trayMenu().menu()->actions())
        titles << (item->isSeparator() ? QStringLiteral("---") : item->text());
    EXPECT_EQ(titles,
              (QStringList{"Idle", "Start Dictation", "Cancel Transcription", "---",
                           "Open Setup Guide", "Request Accessibility Permission",
                           "Request Microphone Permission", "---", QStringLiteral("Settings\u2026"),
                           QStringLiteral("Check for Updates\u2026"), "---", "Quit"}));
    EXPECT_EQ(delegate.trayMenu().statusItem()->contextMenu(), delegate.trayMenu().menu());
    EXPECT_FALSE(delegate.trayMenu().statusMenuItem()->isEnabled());

    for (QAction* item : delegate.trayMenu().menu()->actions()) {
        const QKeySequence expected =
            item->text() == "Quit" ? QKeySequence(Qt::CTRL | Qt::Key_Q) : QKeySequence();
        EXPECT_EQ(item->shortcut(), expected) << item->text().toStdString();
    }
    delegate.trayMenu().menu()->actions().constLast()->trigger();
    EXPECT_EQ(shell.presence->events.constLast(), "terminate");

    // Ctrl+Q quits while the menu is open, and no other key does anything there.
    shell.presence->events.clear();
    delegate.trayMenu().menu()->popup(QPoint(10, 10));
    ASSERT_TRUE(waitUntil([&] { return delegate.trayMenu().menu()->isVisible(); }));
    QTest::keyClick(delegate.trayMenu().menu(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(shell.presence->events.isEmpty());
    QTest::keyClick(delegate.trayMenu().menu(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(shell.presence->events, QStringList{"terminate"});
    delegate.trayMenu().menu()->hide();
}

TEST(MenuTest, NoTrayIsLoggedAndASecondLaunchStillReachesTheApp)
{
    ShellFixture shell;
    shell.trayAvailable = false;
    shell.storeVersion(1);
    const qint64 offset = logSize();
    AppDelegate& delegate = shell.launch();
    EXPECT_TRUE(logLinesSince(offset).join('\n').contains("tray unavailable"));
    EXPECT_FALSE(delegate.hasVisibleWindows());

    EXPECT_TRUE(delegate.launch().applicationShouldHandleReopen(false));
    EXPECT_TRUE(delegate.permissionsWindowController().isVisible());
}

struct RefreshCase
{
    const char* name;
    bool onboardingVisible;
    bool allGranted;
    bool present;
};

class RefreshWindowsTest : public ::testing::TestWithParam<RefreshCase>
{
};

TEST_P(RefreshWindowsTest, KeepsWindowsInStep)
{
    const RefreshCase& c = GetParam();
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();
    if (c.onboardingVisible)
        delegate.onboarding().present(false);
    shell.setPermissions(c.allGranted ? Mic::Granted : Mic::Denied, c.allGranted);
    shell.presence->events.clear();

    delegate.launch().refreshPermissionWindow(c.present);

    if (c.onboardingVisible) {
        EXPECT_FALSE(delegate.permissionsWindowController().isVisible());
        EXPECT_TRUE(shell.presence->events.isEmpty()); // nothing raised
        EXPECT_EQ(delegate.onboardingWindowController().currentState().microphoneState,
                  c.allGranted ? Mic::Granted : Mic::Denied);
        EXPECT_EQ(delegate.onboarding().state().accessibilityGranted, c.allGranted);
        return;
    }
    EXPECT_EQ(delegate.permissionsWindowController().isVisible(), !c.allGranted && c.present);
    EXPECT_EQ(shell.presence->events.contains("activate"), !c.allGranted && c.present);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefreshWindowsTest,
                         ::testing::Values(RefreshCase{"onboardingMissingPresent", true, false,
                                                       true},
                                           RefreshCase{"onboardingGranted", true, true, false},
                                           RefreshCase{"grantedPresent", false, true, true},
                                           RefreshCase{"grantedQuiet", false, true, false},
                                           RefreshCase{"missingPresent", false, false, true},
                                           RefreshCase{"missingQuiet", false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RefreshTest, AllGrantedClosesAnOpenPermissionsWindow)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch({}, Mic::Denied, true);
    ASSERT_TRUE(delegate.permissionsWindowController().isVisible());
    shell.setPermissions(Mic::Granted, true);
    delegate.launch().applicationDidBecomeActive();
    EXPECT_FALSE(delegate.permissionsWindowController().isVisible());
}

TEST(RefreshTest, DelayedRefreshesAfterARequestNeverPresent)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch({}, Mic::Denied, false);
    delegate.permissionsWindowController().close();
    const qint64 offset = logSize();

    delegate.launch().requestMicrophonePermission();
    delegate.launch().requestAccessibilityPermission();
    // Denied: the coordinator explains where to allow it.
    ASSERT_EQ(shell.fakes.presence->alerts.size(), 1);
    EXPECT_EQ(shell.fakes.presence->alerts[0][0], "Microphone Permission Needed");
    EXPECT_EQ(shell.fakes.accessibilityTrust->prompts, 1);
    EXPECT_TRUE(logLinesSince(offset).contains("[Quor] requestMicrophonePermission state=denied"));

    // The user grants accessibility in the prompt: the first refresh picks it up.
    shell.trust->trusted = true;
    spinFor(800);
    EXPECT_FALSE(delegate.permissionsWindowController().isVisible());
    EXPECT_EQ(delegate.permissionsWindowController()
                  .window()
                  ->findChild<QWidget*>("requestAccessibilityButton")
                  ->isHidden(),
              true);
    shell.fakes.recordPermission->current = Mic::Granted;
    spinFor(1500);
    EXPECT_FALSE(delegate.permissionsWindowController().isVisible());
}

TEST(StateDeliveryTest, StatesFromAnyThreadAreAppliedInOrderAndLogged)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();
    spinFor(50); // the idle state that starting the coordinator reports
    const qint64 offset = logSize();

    std::thread worker([&] {
        shell.coordinator->onStateChange(DictationState::recording());
        shell.coordinator->onStateChange(DictationState::transcribing());
    });
    worker.join();
    shell.coordinator->onStateChange(DictationState::error("boom"));
    EXPECT_EQ(delegate.currentState(), DictationState::idle()); // always via a task
    shell.coordinator->onStateChange(DictationState::idle());

    ASSERT_TRUE(waitUntil([&] { return logLinesSince(offset).size() >= 4; }));
    QStringList states;
    for (const QString& line : logLinesSince(offset))
        if (line.startsWith("[Quor] state="))
            states << line.mid(13);
    EXPECT_EQ(states, (QStringList{"Recording", "Transcribing", "Error: boom", "Idle"}));
    EXPECT_EQ(delegate.currentState(), DictationState::idle());
}

TEST(StateDeliveryTest, RecordingShowsThePillAndIdleHidesIt)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();
    shell.report(DictationState::recording());
    EXPECT_TRUE(waitUntil([&] { return delegate.overlayWindowController().isVisible(); }));
    shell.report(DictationState::idle());
    EXPECT_TRUE(waitUntil([&] { return !delegate.overlayWindowController().isVisible(); }));
}

TEST(StateDeliveryTest, StateChangeDuringOnboardingRerendersItAndKeepsPermissionsClosed)
{
    ShellFixture shell;
    AppDelegate& delegate = shell.launch({}, Mic::Undetermined, false);
    ASSERT_TRUE(delegate.onboardingWindowController().isVisible());
    shell.setPermissions(Mic::Granted, true);
    shell.report(DictationState::error("Microphone access denied"));
    ASSERT_TRUE(waitUntil([&] { return delegate.currentState().isError(); }));
    EXPECT_EQ(delegate.onboardingWindowController().currentState().microphoneState, Mic::Granted);
    EXPECT_TRUE(delegate.onboardingWindowController().currentState().accessibilityGranted);
    EXPECT_FALSE(delegate.permissionsWindowController().isVisible());
}

TEST(StateDeliveryTest, StateReportedAfterTheDelegateIsGoneIsStillLogged)
{
    ShellFixture shell;
    shell.storeVersion(1);
    shell.launch();
    auto report = shell.coordinator->onStateChange;
    const qint64 offset = logSize();
    report(DictationState::recording());
    shell.delegate.reset();
    spinFor(50);
    EXPECT_TRUE(logLinesSince(offset).contains("[Quor] state=Recording"));
}

TEST(ReopenTest, FollowsStoredVersionVisibilityAndPermissions)
{
    {
        ShellFixture shell;
        shell.storeVersion(1);
        AppDelegate& delegate = shell.launch({}, Mic::Denied, true);
        shell.presence->events.clear();
        EXPECT_FALSE(delegate.launch().applicationShouldHandleReopen(true));
        EXPECT_TRUE(shell.presence->events.isEmpty());

        delegate.permissionsWindowController().close();
        EXPECT_TRUE(delegate.launch().applicationShouldHandleReopen(false));
        EXPECT_TRUE(delegate.permissionsWindowController().isVisible());
    }
    {
        ShellFixture shell;
        shell.storeVersion(1);
        AppDelegate& delegate = shell.launch();
        EXPECT_FALSE(delegate.launch().applicationShouldHandleReopen(false));
        EXPECT_FALSE(delegate.hasVisibleWindows());
    }
    {
        ShellFixture shell;
        shell.storeVersion(0);
        AppDelegate& delegate = shell.launch();
        delegate.onboarding().advance();
        EXPECT_TRUE(delegate.launch().applicationShouldHandleReopen(true));
        EXPECT_EQ(delegate.onboarding().state().step, OnboardingStep::Microphone); // not reset
    }
}
