#pragma once

#include <QColor>
#include <QWidget>

// A plain view painted like a styled layer: a rounded rectangle with a fill and a hairline
// border. Surfaces, cards, dots and dividers of the onboarding window are made of it.
class OnboardingLayerView : public QWidget
{
    Q_OBJECT

public:
    struct Look
    {
        QColor background = Qt::transparent;
        QColor border = Qt::transparent;
        double borderWidth = 0;
        double cornerRadius = 0;
    };

    explicit OnboardingLayerView(Look look, QWidget* parent = nullptr);

    const Look& look() const { return m_look; }
    void setLook(const Look& look);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Look m_look;
};
