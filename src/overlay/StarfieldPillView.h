#pragma once

#include "common/SeededGenerator.h"

#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class QPainter;
class QTimer;

// One star of the pill, fixed at construction.
struct StarParticle
{
    std::array<double, 3> basePosition; // inside a ball of radius 1.5
    double rotationSpeed;
    double twinklePhase;
    double twinkleSpeed;
    double baseSize;
    double brightness;
    double collapseSpin; // in half turns
};

// Everything one frame draws, in widget coordinates (y downwards).
struct PillFrame
{
    struct Star
    {
        QPointF centre;
        double size = 0;
        float opacity = 0;
        bool hidden = true;
    };
    struct Dot
    {
        QPointF centre;
        float opacity = 0;
    };

    double collapseProgress = 0;
    double dotStrength = 0;
    QRectF mistRect;
    float mistOpacity = 0;
    double mistAngle = 0; // radians, anticlockwise on screen
    float glowOpacity = 0;
    std::array<Star, 144> stars;
    std::array<Dot, 3> dots;
};

// The near-black 200 × 52 capsule with a turning cloud of 144 stars (recording) that
// collapses in 0.18 s into three pulsing dots (transcribing). Animates at 30 Hz only while
// started; painting is a function of the mode and the time.
class StarfieldPillView : public QWidget
{
    Q_OBJECT

public:
    enum class Mode
    {
        Recording,
        Transcribing
    };

    static constexpr int starCount = 144;
    static constexpr std::uint64_t starSeed = 0x5341524649454C44ULL;
    static constexpr double collapseSeconds = 0.18;
    static constexpr int frameIntervalMs = 33;
    static constexpr int previewIntervalMs = 2200;

    // `clock` gives the time in seconds (a monotonic clock when empty).
    explicit StarfieldPillView(std::function<double()> clock = {}, QWidget* parent = nullptr);
    ~StarfieldPillView() override;

    // Switches the mode (re-applying transcribing keeps a started collapse), makes sure the
    // animation runs and draws a frame at once.
    void applyMode(Mode mode);
    void startAnimating();
    // Stops the animation and the demonstration loop; the last frame stays.
    void stopAnimating();
    // Alternates recording and transcribing every 2.2 s, starting in recording.
    void startPreviewLoop();
    void stopPreviewLoop();

    Mode mode() const { return m_mode; }
    bool isAnimating() const { return m_animationTimer != nullptr; }
    bool isPreviewLooping() const { return m_previewTimer != nullptr; }
    const std::vector<StarParticle>& particles() const { return m_particles; }
    const PillFrame& frame() const { return m_frame; }
    double now() const { return m_clock(); }

    // Recomputes the frame for the current time and schedules a repaint.
    void drawFrame();
    // Paints the current frame into a painter whose device is the view's size.
    void paintPill(QPainter& painter) const;

    double collapseProgress(double t) const;

    // The 144 stars drawn from `generator` (seeded with `starSeed` by the view).
    static std::vector<StarParticle> buildParticles(SeededGenerator& generator);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    static bool registers(double alpha);
    // Also refreshes m_capsule.
    const QImage& background(qreal devicePixelRatio) const;
    void computeFrame(double t);
    void updateLayerFrames(double c);
    void updateParticles(double t, double c);
    void updateSingularity(double t, double c);

    std::function<double()> m_clock;
    std::vector<StarParticle> m_particles;
    PillFrame m_frame;
    QTimer* m_animationTimer = nullptr; // child; set exactly while animating
    QTimer* m_previewTimer = nullptr;   // child; set exactly while the loop runs
    Mode m_mode = Mode::Recording;
    std::optional<double> m_transcribingStartedAt;
    // Caches rebuilt when the size or the pixel ratio changes: the clip shape and the capsule
    // with its rim.
    mutable QSize m_capsuleSize;
    mutable QPainterPath m_capsule;
    mutable QImage m_background;
};
