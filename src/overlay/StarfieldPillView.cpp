#include "overlay/StarfieldPillView.h"

#include "common/MainThreadTask.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

constexpr double capsuleRadius = 26;
constexpr double dotSpacing = 11;
constexpr double dotDiameter = 5;
constexpr double pi = 3.141592653589793;

double smoothstep(double e0, double e1, double x)
{
    const double s = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return s * s * (3 - 2 * s);
}

double monotonicSeconds()
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since).count();
}

// A star is at most a few pixels wide: a 16-sided polygon covers the same pixels as a circle
// and skips the curve flattening that made ellipses the bulk of a frame.
void drawDisc(QPainter& painter, QPointF centre, double radius)
{
    constexpr int sides = 16;
    // cos and sin of k × 22.5°, k = 0..15.
    static constexpr std::array<double, sides * 2> unit{1.0,
                                                        0.0,
                                                        0.9238795325112867,
                                                        0.3826834323650898,
                                                        0.7071067811865476,
                                                        0.7071067811865476,
                                                        0.3826834323650898,
                                                        0.9238795325112867,
                                                        0.0,
                                                        1.0,
                                                        -0.3826834323650898,
                                                        0.9238795325112867,
                                                        -0.7071067811865476,
                                                        0.7071067811865476,
                                                        -0.9238795325112867,
                                                        0.3826834323650898,
                                                        -1.0,
                                                        0.0,
                                                        -0.9238795325112867,
                                                        -0.3826834323650898,
                                                        -0.7071067811865476,
                                                        -0.7071067811865476,
                                                        -0.3826834323650898,
                                                        -0.9238795325112867,
                                                        0.0,
                                                        -1.0,
                                                        0.3826834323650898,
                                                        -0.9238795325112867,
                                                        0.7071067811865476,
                                                        -0.7071067811865476,
                                                        0.9238795325112867,
                                                        -0.3826834323650898};
    std::array<QPointF, sides> points;
    for (int k = 0; k < sides; ++k)
        points[static_cast<size_t>(k)] =
            QPointF(centre.x() + radius * unit[2 * k], centre.y() + radius * unit[2 * k + 1]);
    painter.drawConvexPolygon(points.data(), sides);
}

QColor whiteAlpha(double alpha)
{
    return QColor::fromRgbF(1, 1, 1, static_cast<float>(alpha));
}

} // namespace

StarfieldPillView::StarfieldPillView(std::function<double()> clock, QWidget* parent)
    : QWidget(parent), m_clock(clock ? std::move(clock) : monotonicSeconds)
{
    SeededGenerator generator{starSeed};
    m_particles = buildParticles(generator);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(200, 52);
    computeFrame(m_clock());
}

StarfieldPillView::~StarfieldPillView() = default;

std::vector<StarParticle> StarfieldPillView::buildParticles(SeededGenerator& generator)
{
    std::vector<StarParticle> particles;
    particles.reserve(starCount);
    for (int i = 0; i < starCount; ++i) {
        StarParticle p{};
        p.basePosition = generator.nextPointInBall();
        p.rotationSpeed = generator.nextUniform(0.7, 1.3);
        p.twinklePhase = generator.nextUniform(0, 6.283185307179586);
        p.twinkleSpeed = generator.nextUniform(0.8, 1.9);
        p.baseSize = i < 20 ? generator.nextUniform(1.15, 1.75) : generator.nextUniform(0.52, 1.02);
        p.brightness = generator.nextUniform(0.44, 0.98);
        p.collapseSpin = generator.nextUniform(0.4, 1.1);
        particles.push_back(p);
    }
    return particles;
}

double StarfieldPillView::collapseProgress(double t) const
{
    if (m_mode != Mode::Transcribing || !m_transcribingStartedAt)
        return 0;
    return std::clamp((t - *m_transcribingStartedAt) / collapseSeconds, 0.0, 1.0);
}

void StarfieldPillView::applyMode(Mode mode)
{
    const double t = m_clock();
    if (mode != m_mode) {
        m_mode = mode;
        if (mode == Mode::Transcribing)
            m_transcribingStartedAt = t;
        else
            m_transcribingStartedAt.reset();
    } else if (mode == Mode::Recording) {
        m_transcribingStartedAt.reset();
    }
    startAnimating();
    drawFrame();
}

void StarfieldPillView::startAnimating()
{
    if (m_animationTimer)
        return;
    m_animationTimer = new QTimer(this);
    m_animationTimer->setTimerType(Qt::PreciseTimer);
    m_animationTimer->setInterval(frameIntervalMs);
    // Ticks queue behind other main-thread work; a queued tick dies with its timer.
    QTimer* timer = m_animationTimer;
    connect(timer, &QTimer::timeout, this,
            [this, timer] { postTask(timer, [this] { drawFrame(); }); });
    m_animationTimer->start();
}

void StarfieldPillView::stopAnimating()
{
    delete m_animationTimer;
    m_animationTimer = nullptr;
    stopPreviewLoop();
}

void StarfieldPillView::startPreviewLoop()
{
    stopPreviewLoop();
    applyMode(Mode::Recording);
    m_previewTimer = new QTimer(this);
    m_previewTimer->setTimerType(Qt::PreciseTimer);
    m_previewTimer->setInterval(previewIntervalMs);
    // A switch still queued when the loop stops must not run: it dies with its timer.
    QTimer* timer = m_previewTimer;
    connect(timer, &QTimer::timeout, this, [this, timer] {
        postTask(timer, [this] {
            applyMode(m_mode == Mode::Recording ? Mode::Transcribing : Mode::Recording);
        });
    });
    m_previewTimer->start();
}

void StarfieldPillView::stopPreviewLoop()
{
    delete m_previewTimer;
    m_previewTimer = nullptr;
}

void StarfieldPillView::drawFrame()
{
    computeFrame(m_clock());
    update();
}

void StarfieldPillView::computeFrame(double t)
{
    const double c = collapseProgress(t);
    m_frame.collapseProgress = c;
    updateLayerFrames(c);
    updateParticles(t, c);
    updateSingularity(t, c);
}

void StarfieldPillView::updateLayerFrames(double c)
{
    const double w = width();
    const double h = height();
    const double mistWidth = (0.88 - 0.34 * c) * w;
    const double mistHeight = std::max((0.38 - 0.16 * c) * h, 8.0);
    m_frame.mistRect = QRectF(w / 2 - mistWidth / 2, h / 2 - mistHeight / 2, mistWidth, mistHeight);
}

// The maths runs in a y-up frame (origin bottom-left) and flips only the final position.
void StarfieldPillView::updateParticles(double t, double c)
{
    const double w = width();
    const double h = height();
    const double midX = w / 2;
    const double midY = h / 2;

    const double fade = std::pow(std::max(1 - c, 0.0), 1.8);
    const double alphaK = 1 - 0.94 * smoothstep(0.04, 0.30, c);
    const double converge = smoothstep(0.06, 0.28, c);
    const double sizeK = 1 - 0.06 * c;
    const double a1 = t / -10;
    const double a2 = t / -15;
    const double cos45 = 0.7071067811865476;
    const double sin45 = 0.7071067811865475;

    for (int i = 0; i < starCount; ++i) {
        const StarParticle& p = m_particles[static_cast<size_t>(i)];
        const auto [x, y, z] = p.basePosition;

        const double x1 = cos45 * x - sin45 * y;
        const double y1 = sin45 * x + cos45 * y;

        const double theta1 = a1 * p.rotationSpeed;
        const double y2 = std::cos(theta1) * y1 - std::sin(theta1) * z;
        const double z2 = std::sin(theta1) * y1 + std::cos(theta1) * z;

        const double theta2 = a2 * p.rotationSpeed;
        const double x3 = std::cos(theta2) * x1 + std::sin(theta2) * z2;
        const double z3 = std::cos(theta2) * z2 - std::sin(theta2) * x1;

        double X = x3, Y = y2, Z = z3;
        if (c > 0) {
            const double r = fade * std::hypot(x3, y2);
            const double phi = std::atan2(y2, x3) + p.collapseSpin * c * pi;
            X = r * std::cos(phi);
            Y = r * std::sin(phi);
            Z = fade * z3;
        }

        const double tw = std::sin(p.twinklePhase + p.twinkleSpeed * t);
        const double depth = (Z + 1.5) / 3 * 0.16 + 0.84;
        const double alpha =
            std::clamp(alphaK * (p.brightness * (0.1 * tw + 0.9) * depth), 0.0, 1.0);

        const double perspective = 3.2 / (3.2 - Z);
        const double size = std::max(sizeK * (p.baseSize * perspective), 0.5);

        const double px = midX + 1.62 * X * perspective * w * 0.43;
        const double py = midY + 1.02 * Y * perspective * h * 0.68;

        const double dotX = midX + ((i % 3) - 1) * dotSpacing;
        const double sx = px + converge * (dotX - px);
        const double sy = py + converge * (midY - py);

        PillFrame::Star& star = m_frame.stars[static_cast<size_t>(i)];
        star.centre = QPointF(sx, h - sy);
        star.size = size;
        star.opacity = static_cast<float>(alpha);
        star.hidden = alpha < 0.01;
    }
}

void StarfieldPillView::updateSingularity(double t, double c)
{
    const double midX = width() / 2.0;
    const double midY = height() / 2.0;
    const double d = m_mode == Mode::Transcribing ? smoothstep(0.08, 0.24, c) : 0;
    m_frame.dotStrength = d;
    for (int k = 0; k < 3; ++k) {
        const double pulse = (std::sin(5.1 * t - 0.58 * k) + 1) * 0.5;
        PillFrame::Dot& dot = m_frame.dots[static_cast<size_t>(k)];
        dot.centre = QPointF(midX + (k - 1) * dotSpacing, midY);
        dot.opacity = static_cast<float>(d * (0.32 + 0.68 * pulse));
    }
    m_frame.mistOpacity = static_cast<float>((1 - 0.58 * c) * 0.004 + 0.004 * d);
    m_frame.mistAngle = 0.16 * t;
    m_frame.glowOpacity = static_cast<float>(0.014 - 0.004 * c + 0.004 * d);
}

// Whether a fill whose strongest alpha is `alpha` can change an 8-bit pixel at all.
bool StarfieldPillView::registers(double alpha)
{
    return alpha * 255 >= 0.5;
}

const QImage& StarfieldPillView::background(qreal devicePixelRatio) const
{
    const QSize pixels = (QSizeF(size()) * devicePixelRatio).toSize();
    if (m_capsuleSize == size() && m_background.size() == pixels &&
        m_background.devicePixelRatio() == devicePixelRatio)
        return m_background;

    m_capsuleSize = size();
    m_capsule = QPainterPath();
    m_capsule.addRoundedRect(QRectF(rect()), capsuleRadius, capsuleRadius);

    // The capsule and its faint rim (inside the bounds, like a layer border) never change.
    m_background = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    m_background.setDevicePixelRatio(devicePixelRatio);
    m_background.fill(Qt::transparent);
    QPainter painter(&m_background);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(m_capsule, QColor::fromRgbF(0.02f, 0.02f, 0.02f, 1));
    painter.setPen(QPen(whiteAlpha(0.05), 1));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), capsuleRadius - 0.5,
                            capsuleRadius - 0.5);
    return m_background;
}

// Back to front: capsule, glow, mist, stars, dots. Everything inside the capsule is clipped
// to it; only stars that straddle its edge pay for a clip path.
void StarfieldPillView::paintPill(QPainter& painter) const
{
    const QRectF bounds(0, 0, width(), height());
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    painter.save();
    painter.drawImage(QPointF(0, 0), background(ratio));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    // Radial glow: an ellipse filling the bounds, from its centre to its edges.
    if (registers(0.01 * m_frame.glowOpacity)) {
        QRadialGradient glow(QPointF(0.5, 0.5), 0.5);
        glow.setCoordinateMode(QGradient::ObjectMode);
        glow.setColorAt(0, whiteAlpha(0.01));
        glow.setColorAt(0.45, whiteAlpha(0.003));
        glow.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0));
        painter.setClipPath(m_capsule);
        painter.setOpacity(m_frame.glowOpacity);
        painter.fillRect(bounds, glow);
        painter.setClipping(false);
    }

    // The mist capsule, turning slowly, with its soft shadow as a wider, fainter halo.
    if (registers(0.01 * m_frame.mistOpacity)) {
        painter.save();
        painter.setClipPath(m_capsule);
        painter.setOpacity(m_frame.mistOpacity);
        painter.translate(m_frame.mistRect.center());
        painter.rotate(-m_frame.mistAngle * 180 / pi);
        const QRectF mist(-m_frame.mistRect.width() / 2, -m_frame.mistRect.height() / 2,
                          m_frame.mistRect.width(), m_frame.mistRect.height());
        const QRectF halo = mist.adjusted(-3, -3, 3, 3);
        const double haloRadius = std::min(halo.width(), halo.height()) / 2;
        painter.setBrush(whiteAlpha(0.1 * 0.04));
        painter.drawRoundedRect(halo, haloRadius, haloRadius);
        const double mistRadius = std::min(mist.width(), mist.height()) / 2;
        painter.setBrush(whiteAlpha(0.01));
        painter.drawRoundedRect(mist, mistRadius, mistRadius);
        painter.restore();
    }

    painter.setOpacity(1);
    // The capsule is every point within `radius` of the segment between the end centres.
    const double radius = std::min(bounds.width(), bounds.height()) / 2;
    const double spineLeft = radius;
    const double spineRight = bounds.width() - radius;
    const double spineY = bounds.height() / 2;
    for (const PillFrame::Star& star : m_frame.stars) {
        if (star.hidden)
            continue;
        const double r = star.size / 2;
        const double dx = star.centre.x() - std::clamp(star.centre.x(), spineLeft, spineRight);
        const double dy = star.centre.y() - spineY;
        const double distance = std::hypot(dx, dy);
        if (distance - r >= radius)
            continue;
        const bool straddles = distance + r > radius;
        if (straddles)
            painter.setClipPath(m_capsule);
        painter.setBrush(whiteAlpha(star.opacity));
        drawDisc(painter, star.centre, r);
        if (straddles)
            painter.setClipping(false);
    }

    for (const PillFrame::Dot& dot : m_frame.dots) {
        if (dot.opacity <= 0)
            continue;
        painter.setBrush(whiteAlpha(dot.opacity));
        painter.drawEllipse(dot.centre, dotDiameter / 2, dotDiameter / 2);
    }
    painter.restore();
}

void StarfieldPillView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintPill(painter);
}

void StarfieldPillView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    computeFrame(m_clock());
}
