#include "onboarding/OnboardingStep.h"

#include "onboarding/OnboardingState.h"

#include <gtest/gtest.h>

namespace {

TEST(OnboardingStep, RawValuesAreExactAndCaseSensitive)
{
    const std::pair<const char*, std::optional<OnboardingStep>> cases[] = {
        {"welcome", OnboardingStep::Welcome},
        {"microphone", OnboardingStep::Microphone},
        {"accessibility", OnboardingStep::Accessibility},
        {"practice", OnboardingStep::Practice},
        {"ready", OnboardingStep::Ready},
        {"Ready", std::nullopt},
        {" ready", std::nullopt},
        {"", std::nullopt},
        {"done", std::nullopt},
    };
    for (const auto& [raw, step] : cases) {
        SCOPED_TRACE(raw);
        EXPECT_EQ(OnboardingStep::fromRawValue(QString::fromUtf8(raw)), step);
        if (step) {
            EXPECT_EQ(step->rawValue(), QString::fromUtf8(raw));
        }
    }
}

TEST(OnboardingStep, OrderGivesNumberNextAndPrevious)
{
    const auto steps = OnboardingStep::allCases();
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_EQ(steps.front(), OnboardingStep::Welcome);
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].rawValue().toStdString());
        EXPECT_EQ(steps[i].stepNumber(), int(i) + 1);
        EXPECT_EQ(steps[i].previous(), i == 0 ? std::nullopt : std::optional(steps[i - 1]));
        EXPECT_EQ(steps[i].next(),
                  i + 1 == steps.size() ? std::nullopt : std::optional(steps[i + 1]));
    }
    EXPECT_EQ(OnboardingStep(OnboardingStep::Accessibility).next(), OnboardingStep::Practice);
}

TEST(OnboardingState, StartsAtWelcomeWithNothingGrantedAndCopiesIndependently)
{
    OnboardingState state;
    EXPECT_EQ(state.step, OnboardingStep::Welcome);
    EXPECT_EQ(state.microphoneState, MicrophonePermissionState::Undetermined);
    EXPECT_FALSE(state.accessibilityGranted);
    EXPECT_TRUE(state.practiceText.isEmpty());

    OnboardingState copy = state;
    copy.step = OnboardingStep::Practice;
    copy.practiceText = QStringLiteral("hello");
    EXPECT_EQ(state, OnboardingState{});
    EXPECT_NE(copy, state);
}

} // namespace
