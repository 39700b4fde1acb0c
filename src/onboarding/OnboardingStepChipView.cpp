#include "onboarding/OnboardingStepChipView.h"

#include "onboarding/OnboardingStyle.h"

#include <QLabel>
#include <QVBoxLayout>

using OnboardingStyle::white;

OnboardingStepChipView::OnboardingStepChipView(OnboardingStep step, QWidget* parent)
    : OnboardingLayerView({Qt::transparent, white(0.08), 1, 15}, parent), m_step(step),
      m_numberLabel(new QLabel(this)), m_titleLabel(new QLabel(this))
{
    setFixedHeight(chipHeight);
    // The five chips share the row's width equally, whatever their titles.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    // The system sans has tabular digits, so "01" to "05" line up.
    m_numberLabel->setFont(OnboardingStyle::systemFont(10, QFont::DemiBold));
    m_titleLabel->setFont(OnboardingStyle::systemFont(12, QFont::DemiBold));
    m_titleLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_numberLabel->setObjectName(QStringLiteral("chipNumberLabel"));
    m_titleLabel->setObjectName(QStringLiteral("chipTitleLabel"));

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(14, 11, 14, 11);
    stack->setSpacing(4);
    stack->addWidget(m_numberLabel, 0, Qt::AlignLeft);
    stack->addWidget(m_titleLabel);
}

QString OnboardingStepChipView::title(OnboardingStep step)
{
    switch (step) {
    case OnboardingStep::Welcome:
        return QStringLiteral("Get Ready");
    case OnboardingStep::Microphone:
        return QStringLiteral("Microphone");
    case OnboardingStep::Accessibility:
        return QStringLiteral("Accessibility");
    case OnboardingStep::Practice:
        return QStringLiteral("Practice");
    case OnboardingStep::Ready:
        return QStringLiteral("Go Live");
    }
    return {};
}

void OnboardingStepChipView::render(OnboardingStep current, bool isComplete)
{
    m_titleLabel->setText(title(m_step));
    m_numberLabel->setText(QString::asprintf("%02d", m_step.stepNumber()));

    Look look = this->look();
    QColor numberColor;
    QColor titleColor;
    if (m_step == current) {
        look.background = Qt::black;
        look.border = Qt::black;
        numberColor = Qt::white;
        titleColor = Qt::white;
    } else if (isComplete) {
        look.background = white(0.012);
        look.border = white(0.08);
        numberColor = white(0.7);
        titleColor = white(0.92);
    } else {
        look.background = white(0.006);
        look.border = white(0.08);
        numberColor = white(0.45);
        titleColor = white(0.6);
    }
    setLook(look);
    OnboardingStyle::setTextColor(m_numberLabel, numberColor);
    OnboardingStyle::setTextColor(m_titleLabel, titleColor);
}
