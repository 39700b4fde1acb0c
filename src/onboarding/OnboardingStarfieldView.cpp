#include "onboarding/OnboardingStarfieldView.h"

#include "common/MainThreadTask.h"

#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

OnboardingStarfieldView::OnboardingStarfieldView(std::function<double()> clock, QWidget* parent)
    : QWidget(parent), m_clock(std::move(clock))
{
    m_elapsed.start();
    setAttribute(Qt::WA_OpaquePaintEvent);
    SeededGenerator generator(backdropSeed);
    m_particles = buildParticles(generator);
    m_dots.resize(m_particles.size());
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(tickIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { postTask(this, [this] { tick(); }); });
}

std::vector<OnboardingStarfieldView::Particle>
OnboardingStarfieldView::buildParticles(SeededGenerator& generator)
{
    // The order of draws and the plain multiply-then-add (built without FP contraction) make
    // the layout reproducible bit for bit.
    std::vector<Particle> particles;
    particles.reserve(particleCount);
    for (int i = 0; i < particleCount; ++i) {
        Particle particle{};
        particle.basePosition = generator.nextPointInBall();
        particle.rotationSpeed = generator.nextUniform(0.84, 1.16);
        particle.twinklePhase = generator.nextUniform(0, 6.283185307179586);
        particle.twinkleSpeed = generator.nextUniform(0.18, 0.55);
        particle.baseSize =
            i < 48 ? generator.nextUniform(1.15, 2.05) : generator.nextUniform(0.34, 0.98);
        particle.brightness = generator.nextUniform(0.32, 1.0);
        particles.push_back(particle);
    }
    return particles;
}

OnboardingStarfieldView::Dot OnboardingStarfieldView::dotAt(const Particle& particle, double time,
                                                            QSizeF size)
{
    constexpr double s = 0.7071067811865475;
    constexpr double c = 0.7071067811865476;
    const auto [x, y, z] = particle.basePosition;

    // Tilt the cloud by 45° about z, then turn it in two planes at the star's own speed.
    const double a = s * x + c * y;
    const double b = c * x - s * y;
    const double theta1 = (time / -10) * particle.rotationSpeed;
    const double theta2 = (time / -15) * particle.rotationSpeed;
    const double sin1 = std::sin(theta1), cos1 = std::cos(theta1);
    const double sin2 = std::sin(theta2), cos2 = std::cos(theta2);
    const double p = a * sin1 + z * cos1;
    const double q = a * cos1 - z * sin1;
    const double depth = p * cos2 - b * sin2;
    const double r = b * cos2 + p * sin2;

    const double k = 3.2 / (3.2 - depth);
    const double twinkle = std::sin(particle.twinklePhase + time * particle.twinkleSpeed);
    const double opacity = std::clamp(particle.brightness * (twinkle * 0.04 + 0.97) *
                                          (((depth + 1.5) / 3) * 0.16 + 0.92),
                                      0.0, 1.0);
    const double diameter = std::max(particle.baseSize * k, 0.35);

    const double width = size.width();
    const double height = size.height();
    const double centreX = width / 2;
    const double centreY = height / 2;
    // The cloud's y axis points up; the widget's grows downwards.
    const double dotX = centreX + ((r * 1.55) * k * width) * 0.4;
    const double dotY = centreY - ((q * 1.08) * k * height) * 0.58;
    return {QPointF(dotX, dotY), diameter, static_cast<float>(opacity), opacity < 0.02};
}

void OnboardingStarfieldView::paintBackdrop(QPainter& painter, QSizeF size)
{
    const QRectF bounds(QPointF(0, 0), size);
    painter.fillRect(bounds, Qt::black);
    // Centred glow whose radii reach the edges, so the corners stay black.
    QRadialGradient glow(QPointF(0.5, 0.5), 0.5);
    glow.setCoordinateMode(QGradient::ObjectBoundingMode);
    glow.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.05f));
    glow.setColorAt(0.45, QColor::fromRgbF(1, 1, 1, 0.02f));
    glow.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0));
    painter.fillRect(bounds, glow);
}

void OnboardingStarfieldView::paintDots(QPainter& painter, QSizeF size,
                                        const std::vector<Dot>& dots)
{
    const QRectF bounds(QPointF(0, 0), size);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const Dot& dot : dots) {
        if (dot.hidden)
            continue;
        const double radius = dot.diameter / 2;
        const QRectF disc(dot.centre.x() - radius, dot.centre.y() - radius, dot.diameter,
                          dot.diameter);
        // Most of the cloud lies outside the view at any moment.
        if (!bounds.intersects(disc))
            continue;
        painter.setBrush(QColor::fromRgbF(1, 1, 1, dot.opacity));
        painter.drawEllipse(disc);
    }
    painter.restore();
}

void OnboardingStarfieldView::tick()
{
    if (width() <= 0 || height() <= 0)
        return;
    const double time = now();
    const QSizeF bounds = size();
    for (size_t i = 0; i < m_particles.size(); ++i)
        m_dots[i] = dotAt(m_particles[i], time, bounds);
    update();
}

void OnboardingStarfieldView::startAnimating()
{
    if (m_timer.isActive())
        return;
    m_timer.start();
}

void OnboardingStarfieldView::paint(QPainter& painter)
{
    painter.drawImage(QPointF(0, 0), cachedBackdrop(size(), devicePixelRatioF()));
    paintDots(painter, size(), m_dots);
}

void OnboardingStarfieldView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter);
}

void OnboardingStarfieldView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    tick();
}

void OnboardingStarfieldView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    tick();
    startAnimating();
}

void OnboardingStarfieldView::hideEvent(QHideEvent* event)
{
    // A hidden backdrop has nothing to animate; the app lives in the tray for hours.
    m_timer.stop();
    QWidget::hideEvent(event);
}

double OnboardingStarfieldView::now() const
{
    if (m_clock)
        return m_clock();
    return static_cast<double>(m_elapsed.nsecsElapsed()) / 1e9;
}

const QImage& OnboardingStarfieldView::cachedBackdrop(QSizeF size, qreal devicePixelRatio)
{
    const QSize pixels = (size * devicePixelRatio).toSize();
    if (m_backdrop.size() != pixels || m_backdrop.devicePixelRatio() != devicePixelRatio) {
        m_backdrop = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_backdrop.setDevicePixelRatio(devicePixelRatio);
        QPainter painter(&m_backdrop);
        paintBackdrop(painter, size);
    }
    return m_backdrop;
}
