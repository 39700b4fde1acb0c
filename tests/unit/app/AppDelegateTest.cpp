#include "app/AppDelegate.h"

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

    EXPECT_EQ(shell.dictation->calls, QStringList{"start"});
    EXPECT_EQ(delegate.onboardingWindowController().isVisible(), c.onboardingShown);
    EXPECT_EQ(delegate.permissionsWindowController().isVisible(), c.permissionsShown);
    ASSERT_NE(delegate.statusItem(), nullptr);
    if (c.onboardingShown) {
        EXPECT_EQ(delegate.onboardingState().step, OnboardingStep::Welcome);
        EXPECT_EQ(delegate.onboardingState().microphoneState, c.microphone);
        EXPECT_EQ(delegate.onboardingState().accessibilityGranted, c.accessibility);
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

    EXPECT_TRUE(delegate.isPreview());
    EXPECT_TRUE(shell.dictation->calls.isEmpty()); // not started: no hot key
    EXPECT_EQ(delegate.statusItem(), nullptr);
    EXPECT_TRUE(delegate.onboardingWindowController().isVisible());
    EXPECT_EQ(delegate.onboardingWindowController().currentState().step, OnboardingStep::Practice);
    EXPECT_FALSE(delegate.overlayWindowController().isVisible());
    // No export directory: the preview ends on its own.
    EXPECT_TRUE(waitUntil([&] { return shell.presence->events.contains("terminate"); }, 3000));

    // While an onboarding preview is configured, becoming active does nothing.
    shell.presence->events.clear();
    delegate.applicationDidBecomeActive();
    EXPECT_TRUE(shell.presence->events.isEmpty());
}

TEST(LaunchTest, OverlayPreviewModeInCapitalsShowsThePill)
{
    ShellFixture shell;
    AppDelegate& delegate = shell.launch(environmentWith(
        {{"QUOR_ONBOARDING_PREVIEW_STEP", "nowhere"}, {"QUOR_OVERLAY_PREVIEW_MODE", "CYCLE"}}));
    EXPECT_TRUE(delegate.isPreview());
    EXPECT_TRUE(shell.dictation->calls.isEmpty());
    EXPECT_EQ(delegate.statusItem(), nullptr);
    EXPECT_TRUE(delegate.overlayWindowController().isVisible());
    EXPECT_FALSE(delegate.onboardingWindowController().isVisible());
}

TEST(LaunchTest, UnknownPreviewWordsRunTheOrdinaryLaunch)
{
    ShellFixture shell;
    AppDelegate& delegate = shell.launch(environmentWith(
        {{"QUOR_ONBOARDING_PREVIEW_STEP", "   "}, {"QUOR_OVERLAY_PREVIEW_MODE", "sideways"}}));
    EXPECT_FALSE(delegate.isPreview());
    EXPECT_EQ(shell.dictation->calls, QStringList{"start"});
    EXPECT_NE(delegate.statusItem(), nullptr);
}

TEST(LaunchTest, SelfTestRunsOnlyForANonEmptyPhraseAfterTheWindows)
{
    ShellFixture empty;
    empty.launch(environmentWith({{"QUOR_SELFTEST_PHRASE", ""}}));
    EXPECT_EQ(empty.dictation->calls, QStringList{"start"});

    ShellFixture shell;
    AppDelegate& delegate =
        shell.launch(environmentWith({{"QUOR_SELFTEST_PHRASE", "hello there"}}));
    EXPECT_EQ(shell.dictation->calls, (QStringList{"start", "runSelfTest:hello there"}));
    EXPECT_TRUE(delegate.onboardingWindowController().isVisible());
}

struct ToggleCase
{
    const char* name;
    DictationState state;
    const char* call;
};

class ToggleTest : public ::testing::TestWithParam<ToggleCase>
{
};

TEST_P(ToggleTest, ActsOnTheCoordinatorsState)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();
    shell.dictation->calls.clear();
    shell.dictation->current = GetParam().state;

    delegate.toggleMenuItem()->trigger();

    EXPECT_EQ(shell.dictation->calls, QStringList{GetParam().call});
    EXPECT_EQ(delegate.currentState(), DictationState::idle()); // only delivered states count
}

INSTANTIATE_TEST_SUITE_P(
    States, ToggleTest,
    ::testing::Values(ToggleCase{"idle", DictationState::idle(), "requestMicrophoneAndStart"},
                      ToggleCase{"recording", DictationState::recording(), "stopAndTranscribe"},
                      ToggleCase{"transcribing", DictationState::transcribing(), "beep"},
                      ToggleCase{"error", DictationState::error("Transcript was empty"),
                                 "requestMicrophoneAndStart"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CancelTest, TheCancelItemStopsTheTranscription)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();
    shell.dictation->emitState(DictationState::transcribing());
    ASSERT_TRUE(waitUntil([&] { return delegate.cancelTranscriptionMenuItem()->isVisible(); }));
    shell.dictation->calls.clear();

    delegate.cancelTranscriptionMenuItem()->trigger();

    EXPECT_EQ(shell.dictation->calls, QStringList{"cancelTranscription"});
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

    shell.dictation->emitState(c.state);
    ASSERT_TRUE(waitUntil([&] { return delegate.currentState() == c.state; }));

    // Menu titles double "&" so that it shows as itself rather than as a mnemonic.
    EXPECT_EQ(delegate.statusMenuItem()->text(), QString(c.statusLine).replace("&", "&&"));
    EXPECT_EQ(delegate.toggleMenuItem()->text(), c.toggleTitle);
    EXPECT_EQ(delegate.cancelTranscriptionMenuItem()->isVisible(), c.offersCancel);
    EXPECT_EQ(delegate.statusItem()->toolTip(), QStringLiteral("Wendlo \u2014 ") + c.statusLine);
    EXPECT_EQ(delegate.statusItemAccessibleName(), QStringLiteral("Wendlo, ") + c.statusLine);
    EXPECT_EQ(delegate.menu()->accessibleName(), QStringLiteral("Wendlo, ") + c.statusLine);
    // Every item the menu shows is active (Qt disables the hidden ones).
    for (QAction* item : delegate.menu()->actions()) {
        if (item != delegate.statusMenuItem() && item->isVisible()) {
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
    for (QAction* item : delegate.menu()->actions())
        titles << (item->isSeparator() ? QStringLiteral("---") : item->text());
    EXPECT_EQ(titles,
              (QStringList{"Idle", "Start Dictation", "Cancel Transcription", "---",
                           "Open Setup Guide", "Request Accessibility Permission",
                           "Request Microphone Permission", "---", QStringLiteral("Settings\u2026"),
                           QStringLiteral("Check for Updates\u2026"), "---", "Quit"}));
    EXPECT_EQ(delegate.statusItem()->contextMenu(), delegate.menu());
    EXPECT_FALSE(delegate.statusMenuItem()->isEnabled());

    for (QAction* item : delegate.menu()->actions()) {
        const QKeySequence expected =
            item->text() == "Quit" ? QKeySequence(Qt::CTRL | Qt::Key_Q) : QKeySequence();
        EXPECT_EQ(item->shortcut(), expected) << item->text().toStdString();
    }
    delegate.menu()->actions().constLast()->trigger();
    EXPECT_EQ(shell.presence->events.constLast(), "terminate");

    // Ctrl+Q quits while the menu is open, and no other key does anything there.
    shell.presence->events.clear();
    delegate.menu()->popup(QPoint(10, 10));
    ASSERT_TRUE(waitUntil([&] { return delegate.menu()->isVisible(); }));
    QTest::keyClick(delegate.menu(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(shell.presence->events.isEmpty());
    QTest::keyClick(delegate.menu(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(shell.presence->events, QStringList{"terminate"});
    delegate.menu()->hide();
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

    EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
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
        delegate.presentOnboarding(false);
    shell.setPermissions(c.allGranted ? Mic::Granted : Mic::Denied, c.allGranted);
    shell.presence->events.clear();

    delegate.refreshPermissionWindow(c.present);

    if (c.onboardingVisible) {
        EXPECT_FALSE(delegate.permissionsWindowController().isVisible());
        EXPECT_TRUE(shell.presence->events.isEmpty()); // nothing raised
        EXPECT_EQ(delegate.onboardingWindowController().currentState().microphoneState,
                  c.allGranted ? Mic::Granted : Mic::Denied);
        EXPECT_EQ(delegate.onboardingState().accessibilityGranted, c.allGranted);
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
    delegate.applicationDidBecomeActive();
    EXPECT_FALSE(delegate.permissionsWindowController().isVisible());
}

TEST(RefreshTest, DelayedRefreshesAfterARequestNeverPresent)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch({}, Mic::Denied, false);
    delegate.permissionsWindowController().close();
    shell.dictation->calls.clear();
    const qint64 offset = logSize();

    delegate.requestMicrophonePermission();
    delegate.requestAccessibilityPermission();
    EXPECT_EQ(shell.dictation->calls, (QStringList{"requestMicrophoneAccess(true,true,none)",
                                                   "requestAccessibilityPermission"}));
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
    shell.dictation->microphone = Mic::Granted;
    spinFor(1500);
    EXPECT_FALSE(delegate.permissionsWindowController().isVisible());
}

TEST(StateDeliveryTest, StatesFromAnyThreadAreAppliedInOrderAndLogged)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch();
    const qint64 offset = logSize();

    std::thread worker([&] {
        shell.dictation->onStateChange(DictationState::recording());
        shell.dictation->onStateChange(DictationState::transcribing());
    });
    worker.join();
    shell.dictation->onStateChange(DictationState::error("boom"));
    EXPECT_EQ(delegate.currentState(), DictationState::idle()); // always via a task
    shell.dictation->onStateChange(DictationState::idle());

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
    shell.dictation->emitState(DictationState::recording());
    EXPECT_TRUE(waitUntil([&] { return delegate.overlayWindowController().isVisible(); }));
    shell.dictation->emitState(DictationState::idle());
    EXPECT_TRUE(waitUntil([&] { return !delegate.overlayWindowController().isVisible(); }));
}

TEST(StateDeliveryTest, StateChangeDuringOnboardingRerendersItAndKeepsPermissionsClosed)
{
    ShellFixture shell;
    AppDelegate& delegate = shell.launch({}, Mic::Undetermined, false);
    ASSERT_TRUE(delegate.onboardingWindowController().isVisible());
    shell.setPermissions(Mic::Granted, true);
    shell.dictation->emitState(DictationState::error("Microphone access denied"));
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
    auto report = shell.dictation->onStateChange;
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
        EXPECT_FALSE(delegate.applicationShouldHandleReopen(true));
        EXPECT_TRUE(shell.presence->events.isEmpty());

        delegate.permissionsWindowController().close();
        EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
        EXPECT_TRUE(delegate.permissionsWindowController().isVisible());
    }
    {
        ShellFixture shell;
        shell.storeVersion(1);
        AppDelegate& delegate = shell.launch();
        EXPECT_FALSE(delegate.applicationShouldHandleReopen(false));
        EXPECT_FALSE(delegate.hasVisibleWindows());
    }
    {
        ShellFixture shell;
        shell.storeVersion(0);
        AppDelegate& delegate = shell.launch();
        delegate.advanceOnboarding();
        EXPECT_TRUE(delegate.applicationShouldHandleReopen(true));
        EXPECT_EQ(delegate.onboardingState().step, OnboardingStep::Microphone); // not reset
    }
}
