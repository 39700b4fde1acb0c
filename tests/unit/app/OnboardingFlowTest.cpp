#include "app/AppDelegate.h"
#include "onboarding/OnboardingPractice.h"
#include "onboarding/OnboardingVersionStore.h"
#include "onboarding/OnboardingWindowController.h"
#include "permissions/PermissionsWindowController.h"
#include "unit/app/ShellFixture.h"

#include <gtest/gtest.h>

using Mic = MicrophonePermissionState;

namespace {

const QString sentence = QStringLiteral("Wendlo helps me write without breaking my flow.");

// A first run with onboarding on screen, moved forwards to `step` with everything granted.
struct Onboarding : ShellFixture
{
    AppDelegate& at(OnboardingStep step)
    {
        AppDelegate& d = launch();
        if (step.stepNumber() > OnboardingStep(OnboardingStep::Practice).stepNumber())
            d.onboarding().updatePractice(sentence);
        while (d.onboarding().state().step != step)
            d.onboarding().advance();
        return d;
    }
};

} // namespace

struct TransitionCase
{
    const char* name;
    OnboardingStep from;
    Mic microphone; // as cached by the last render
    bool accessibility;
    QString practiceText;
    bool back; // else Continue
    OnboardingStep to;
};

class OnboardingTransitionTest : public ::testing::TestWithParam<TransitionCase>
{
};

TEST_P(OnboardingTransitionTest, MovesByTheContinueRule)
{
    const TransitionCase& c = GetParam();
    Onboarding shell;
    AppDelegate& delegate = shell.at(c.from);
    delegate.onboarding().updatePractice(c.practiceText);
    shell.setPermissions(c.microphone, c.accessibility);
    delegate.launch().applicationDidBecomeActive(); // caches the permissions

    if (c.back)
        delegate.onboarding().goBack();
    else
        delegate.onboarding().advance();

    EXPECT_EQ(delegate.onboarding().state().step, c.to);
    EXPECT_EQ(delegate.onboardingWindowController().currentState(), delegate.onboarding().state());
    EXPECT_TRUE(delegate.onboardingWindowController().isVisible());
}

using S = OnboardingStep;
INSTANTIATE_TEST_SUITE_P(
    Steps, OnboardingTransitionTest,
    ::testing::Values(
        TransitionCase{"welcomeContinues", S::Welcome, Mic::Denied, false, "", false,
                       S::Microphone},
        TransitionCase{"microphoneGranted", S::Microphone, Mic::Granted, false, "", false,
                       S::Accessibility},
        TransitionCase{"microphoneDenied", S::Microphone, Mic::Denied, true, "", false,
                       S::Microphone},
        TransitionCase{"microphoneUndetermined", S::Microphone, Mic::Undetermined, true, "", false,
                       S::Microphone},
        TransitionCase{"accessibilityGranted", S::Accessibility, Mic::Denied, true, "", false,
                       S::Practice},
        TransitionCase{"accessibilityMissing", S::Accessibility, Mic::Granted, false, "", false,
                       S::Accessibility},
        TransitionCase{"practiceMatched", S::Practice, Mic::Granted, true,
                       "wendlo helps me write without breaking my flow", false, S::Ready},
        TransitionCase{"practiceUnrelated", S::Practice, Mic::Granted, true, "banana", false,
                       S::Practice},
        TransitionCase{"practiceCleared", S::Practice, Mic::Granted, true, "", false, S::Practice},
        TransitionCase{"readyStays", S::Ready, Mic::Granted, true, "", false, S::Ready},
        TransitionCase{"welcomeBackStays", S::Welcome, Mic::Granted, true, "", true, S::Welcome},
        TransitionCase{"microphoneBack", S::Microphone, Mic::Denied, false, "", true, S::Welcome},
        TransitionCase{"accessibilityBack", S::Accessibility, Mic::Denied, false, "", true,
                       S::Microphone},
        TransitionCase{"practiceBack", S::Practice, Mic::Granted, false, "", true,
                       S::Accessibility},
        TransitionCase{"readyBack", S::Ready, Mic::Granted, true, "", true, S::Practice}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OnboardingFlowTest, ContinueUsesTheCachedMicrophoneStateThenTheFreshOne)
{
    ShellFixture shell;
    AppDelegate& delegate = shell.launch({}, Mic::Undetermined, true);
    delegate.onboarding().advance();
    ASSERT_EQ(delegate.onboarding().state().step, OnboardingStep::Microphone);
    ASSERT_EQ(delegate.onboarding().state().microphoneState, Mic::Undetermined);

    shell.fakes.recordPermission->current = Mic::Granted; // granted a moment ago
    delegate.onboarding().advance();
    EXPECT_EQ(delegate.onboarding().state().step, OnboardingStep::Microphone);
    EXPECT_EQ(delegate.onboarding().state().microphoneState, Mic::Granted);
    delegate.onboarding().advance();
    EXPECT_EQ(delegate.onboarding().state().step, OnboardingStep::Accessibility);
}

TEST(OnboardingFlowTest, PracticeSnapsToTheSentenceAndClearTextBlocks)
{
    Onboarding shell;
    AppDelegate& delegate = shell.at(OnboardingStep::Practice);

    delegate.onboarding().updatePractice("wendlo helps me write without breaking my flow");
    EXPECT_EQ(delegate.onboarding().state().practiceText, sentence);
    EXPECT_TRUE(mayContinue(delegate.onboarding().state()));

    delegate.onboarding().updatePractice("banana");
    EXPECT_EQ(delegate.onboarding().state().practiceText, "banana");

    delegate.onboarding().updatePractice("");
    EXPECT_EQ(delegate.onboarding().state().practiceText, "");
    EXPECT_FALSE(mayContinue(delegate.onboarding().state()));
}

TEST(OnboardingFlowTest, StepChangesKeepThePracticeText)
{
    Onboarding shell;
    AppDelegate& delegate = shell.at(OnboardingStep::Ready);
    delegate.onboarding().goBack();
    EXPECT_EQ(delegate.onboarding().state().step, OnboardingStep::Practice);
    EXPECT_EQ(delegate.onboarding().state().practiceText, sentence);
}

TEST(OnboardingFlowTest, CompletionWithMicrophoneDeniedStoresAndPresentsPermissions)
{
    Onboarding shell;
    AppDelegate& delegate = shell.at(OnboardingStep::Ready);
    shell.fakes.recordPermission->current = Mic::Denied;

    delegate.onboarding().complete();

    EXPECT_EQ(delegate.onboarding().store().storedVersion(), 1);
    EXPECT_FALSE(delegate.onboardingWindowController().isVisible());
    EXPECT_TRUE(delegate.permissionsWindowController().isVisible());
    EXPECT_EQ(delegate.onboarding().state().step, OnboardingStep::Ready); // not reset

    // The next launch does not show onboarding.
    shell.launch({}, Mic::Denied, true);
    EXPECT_FALSE(shell.delegate->onboardingWindowController().isVisible());
    EXPECT_TRUE(shell.delegate->permissionsWindowController().isVisible());
}

TEST(OnboardingFlowTest, CompletionWithAllGrantedGoesToTheTray)
{
    Onboarding shell;
    AppDelegate& delegate = shell.at(OnboardingStep::Ready);
    delegate.onboarding().complete();
    EXPECT_EQ(delegate.onboarding().store().storedVersion(), 1);
    EXPECT_FALSE(delegate.hasVisibleWindows());
}

TEST(OnboardingFlowTest, ReopenAfterClosingKeepsTheStepAndTheSentence)
{
    Onboarding shell;
    AppDelegate& delegate = shell.at(OnboardingStep::Practice);
    delegate.onboarding().updatePractice(sentence);
    delegate.onboardingWindowController().close();
    EXPECT_EQ(delegate.onboarding().store().storedVersion(), 0);

    EXPECT_TRUE(delegate.launch().applicationShouldHandleReopen(false));
    EXPECT_TRUE(delegate.onboardingWindowController().isVisible());
    const OnboardingState shown = delegate.onboardingWindowController().currentState();
    EXPECT_EQ(shown.step, OnboardingStep::Practice);
    EXPECT_EQ(shown.practiceText, sentence);
    EXPECT_TRUE(mayContinue(shown));
}

TEST(OnboardingFlowTest, SetupGuideStartsOverAndReplacesThePermissionsWindow)
{
    ShellFixture shell;
    shell.storeVersion(1);
    AppDelegate& delegate = shell.launch({}, Mic::Denied, false);
    ASSERT_TRUE(delegate.permissionsWindowController().isVisible());

    delegate.trayMenu().onOpenSetupGuide();
    EXPECT_FALSE(delegate.permissionsWindowController().isVisible());
    EXPECT_TRUE(delegate.onboardingWindowController().isVisible());
    EXPECT_EQ(delegate.onboarding().state(),
              (OnboardingState{OnboardingStep::Welcome, Mic::Denied, false, QString()}));
}

TEST(OnboardingFlowTest, WindowButtonsReachTheDelegate)
{
    Onboarding shell;
    AppDelegate& delegate = shell.at(OnboardingStep::Welcome);
    OnboardingWindowController& window = delegate.onboardingWindowController();
    window.onAdvance();
    EXPECT_EQ(delegate.onboarding().state().step, OnboardingStep::Microphone);
    window.onBack();
    EXPECT_EQ(delegate.onboarding().state().step, OnboardingStep::Welcome);
    const qint64 offset = logSize();
    window.onRequestMicrophone();
    window.onRequestAccessibility();
    EXPECT_TRUE(logLinesSince(offset).contains("[Quor] requestMicrophonePermission state=granted"));
    EXPECT_EQ(shell.fakes.accessibilityTrust->prompts, 1);
    window.onPracticeTextChange("banana");
    EXPECT_EQ(delegate.onboarding().state().practiceText, "banana");
}
