#pragma once

#include <QString>
#include <array>
#include <functional>
#include <optional>

// One of the five steps of the first-run setup. A value type over the enumeration `Value`, so
// that `switch (step)` and `step == OnboardingStep::Practice` read naturally. The order of
// `allCases()` is the order of the steps; number, next and previous derive from it.
class OnboardingStep
{
public:
    enum Value
    {
        Welcome,
        Microphone,
        Accessibility,
        Practice,
        Ready
    };

    constexpr OnboardingStep(Value value) : m_value(value) {}
    constexpr operator Value() const { return m_value; }
    constexpr Value value() const { return m_value; }

    // Exactly "welcome", "microphone", "accessibility", "practice" or "ready" (case-sensitive).
    static std::optional<OnboardingStep> fromRawValue(const QString& rawValue);
    QString rawValue() const;

    static constexpr std::array<OnboardingStep, 5> allCases()
    {
        return {Welcome, Microphone, Accessibility, Practice, Ready};
    }

    // 1-based position in allCases().
    constexpr int stepNumber() const { return indexInAllCases() + 1; }
    constexpr std::optional<OnboardingStep> next() const
    {
        const int index = indexInAllCases() + 1;
        if (index >= int(allCases().size()))
            return std::nullopt;
        return allCases()[size_t(index)];
    }
    constexpr std::optional<OnboardingStep> previous() const
    {
        const int index = indexInAllCases() - 1;
        if (index < 0)
            return std::nullopt;
        return allCases()[size_t(index)];
    }

private:
    constexpr int indexInAllCases() const
    {
        const auto cases = allCases();
        for (size_t i = 0; i < cases.size(); ++i) {
            if (cases[i].m_value == m_value)
                return int(i);
        }
        return 0;
    }

    Value m_value;
};

inline size_t qHash(OnboardingStep step, size_t seed = 0) noexcept
{
    return seed ^ size_t(step.value());
}

template <> struct std::hash<OnboardingStep>
{
    size_t operator()(OnboardingStep step) const noexcept { return size_t(step.value()); }
};
