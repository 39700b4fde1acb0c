#pragma once

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

// Fonts and colours of the onboarding window. Sizes are in device-independent pixels, the
// same numbers as the design's points.
namespace OnboardingStyle {

inline QColor white(double alpha)
{
    return QColor::fromRgbF(1, 1, 1, float(alpha));
}

inline QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

inline QFont monospacedFont(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// Text colour of a label (its WindowText role); the label keeps no background.
inline void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

inline QColor textColor(const QWidget* widget)
{
    return widget->palette().color(QPalette::WindowText);
}

} // namespace OnboardingStyle
