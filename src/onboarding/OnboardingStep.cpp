#include "onboarding/OnboardingStep.h"

std::optional<OnboardingStep> OnboardingStep::fromRawValue(const QString& rawValue)
{
    for (OnboardingStep step : allCases()) {
        if (step.rawValue() == rawValue)
            return step;
    }
    return std::nullopt;
}

QString OnboardingStep::rawValue() const
{
    switch (m_value) {
    case Welcome:
        return QStringLiteral("welcome");
    case Microphone:
        return QStringLiteral("microphone");
    case Accessibility:
        return QStringLiteral("accessibility");
    case Practice:
        return QStringLiteral("practice");
    case Ready:
        return QStringLiteral("ready");
    }
    return {};
}
