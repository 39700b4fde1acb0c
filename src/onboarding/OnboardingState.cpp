#include "onboarding/OnboardingState.h"

#include "onboarding/OnboardingPractice.h"

bool mayContinue(const OnboardingState& state)
{
    switch (state.step) {
    case OnboardingStep::Welcome:
        return true;
    case OnboardingStep::Microphone:
        return state.microphoneState == MicrophonePermissionState::Granted;
    case OnboardingStep::Accessibility:
        return state.accessibilityGranted;
    case OnboardingStep::Practice:
        return OnboardingPractice::correctedTranscript(state.practiceText).has_value();
    case OnboardingStep::Ready:
        return true;
    }
    return false;
}
