#pragma once

#include "onboarding/OnboardingLayerView.h"
#include "onboarding/OnboardingStep.h"

class QLabel;

// The numbered tile that shows one step in the onboarding window's header row.
class OnboardingStepChipView : public OnboardingLayerView
{
    Q_OBJECT

public:
    static constexpr int chipHeight = 54;

    explicit OnboardingStepChipView(OnboardingStep step, QWidget* parent = nullptr);

    // Texts, and the colours of current, complete or upcoming.
    void render(OnboardingStep current, bool isComplete);

    static QString title(OnboardingStep step);

    OnboardingStep step() const { return m_step; }
    QLabel* numberLabel() const { return m_numberLabel; }
    QLabel* titleLabel() const { return m_titleLabel; }

private:
    const OnboardingStep m_step;
    QLabel* m_numberLabel;
    QLabel* m_titleLabel;
};
