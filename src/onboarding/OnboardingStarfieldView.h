#pragma once

#include "common/SeededGenerator.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPointF>
#include <QSizeF>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QPainter;

// The onboarding window's backdrop: black, a faint radial glow and 1,100 white dots forming a
// slowly turning ball of stars. Painting is a function of the particles, the size and the
// time; the widget only ticks at 1/30 s while shown and paints the last tick.
class OnboardingStarfieldView : public QWidget
{
    Q_OBJECT

public:
    struct Particle
    {
        std::array<double, 3> basePosition;
        double rotationSpeed;
        double twinklePhase;
        double twinkleSpeed;
        double baseSize;
        double brightness;
    };

    // One particle's dot at one moment, in widget coordinates (y grows downwards).
    struct Dot
    {
        QPointF centre;
        double diameter = 0;
        float opacity = 0;
        bool hidden = true; // until the first tick with a size
    };

    static constexpr std::uint64_t backdropSeed = 0x4845524F53544152ULL;
    static constexpr int particleCount = 1100;
    static constexpr int tickIntervalMs = 33;

    // `clock` gives the animation time in seconds; empty means a monotonic clock.
    explicit OnboardingStarfieldView(std::function<double()> clock = {}, QWidget* parent = nullptr);

    // The 1,100 particles drawn from `generator` in their fixed order.
    static std::vector<Particle> buildParticles(SeededGenerator& generator);
    static Dot dotAt(const Particle& particle, double time, QSizeF size);
    // Black with the centred radial glow, over `size`.
    static void paintBackdrop(QPainter& painter, QSizeF size);
    // The visible dots that fall inside `size`.
    static void paintDots(QPainter& painter, QSizeF size, const std::vector<Dot>& dots);

    const std::vector<Particle>& particles() const { return m_particles; }
    const std::vector<Dot>& dots() const { return m_dots; }
    bool isAnimating() const { return m_timer.isActive(); }

    // Places every dot for the current time and schedules a repaint; nothing when empty.
    void tick();
    void startAnimating();
    // The frame of the last tick (what paintEvent draws).
    void paint(QPainter& painter);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    double now() const;
    const QImage& cachedBackdrop(QSizeF size, qreal devicePixelRatio);

    std::function<double()> m_clock;
    QElapsedTimer m_elapsed;
    std::vector<Particle> m_particles;
    std::vector<Dot> m_dots;
    QTimer m_timer;
    QImage m_backdrop;
};
