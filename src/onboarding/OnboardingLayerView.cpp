#include "onboarding/OnboardingLayerView.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

OnboardingLayerView::OnboardingLayerView(Look look, QWidget* parent)
    : QWidget(parent), m_look(std::move(look))
{
}

void OnboardingLayerView::setLook(const Look& look)
{
    m_look = look;
    update();
}

void OnboardingLayerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    // A radius larger than half the short side makes a pill, as layers do.
    const double radius =
        std::min(m_look.cornerRadius, std::min(bounds.width(), bounds.height()) / 2);
    QPainterPath outline;
    outline.addRoundedRect(bounds, radius, radius);
    painter.fillPath(outline, m_look.background);
    if (m_look.borderWidth > 0 && m_look.border.alpha() > 0) {
        // The border lies inside the bounds, like a layer's.
        const double inset = m_look.borderWidth / 2;
        const QRectF inner = bounds.adjusted(inset, inset, -inset, -inset);
        QPainterPath ring;
        ring.addRoundedRect(inner, std::max(0.0, radius - inset), std::max(0.0, radius - inset));
        painter.setPen(QPen(m_look.border, m_look.borderWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(ring);
    }
}
