#pragma once

#include "platform/MicrophonePermissionState.h"
#include "onboarding/OnboardingStep.h"

#include <QString>

// What the onboarding window shows. A plain value: copies are independent; never saved.
struct OnboardingState
{
    OnboardingStep step = OnboardingStep::Welcome;
    MicrophonePermissionState microphoneState = MicrophonePermissionState::Undetermined;
    bool accessibilityGranted = false;
    // The practice field's text, or the expected sentence once the attempt matched.
    QString practiceText;

    friend bool operator==(const OnboardingState&, const OnboardingState&) = default;
};

// Whether `state.step` may be left forwards, judged on the state as given (no fresh reads).
bool mayContinue(const OnboardingState& state);
