#include "onboarding/OnboardingStarfieldView.h"

#include "support/Wait.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace {

using Particle = OnboardingStarfieldView::Particle;

// Reference values computed separately (Python, exact integer LCG and correctly rounded
// int-to-double conversion) from the generator's definition.
TEST(OnboardingStarfieldGenerator, ReproducesTheLayoutBitForBit)
{
    SeededGenerator generator(OnboardingStarfieldView::backdropSeed);
    const std::vector<Particle> particles = OnboardingStarfieldView::buildParticles(generator);

    ASSERT_EQ(particles.size(), 1100u);
    const Particle& first = particles.front();
    EXPECT_EQ(first.basePosition[0], 0.20421311428085942);
    EXPECT_EQ(first.basePosition[1], 0.03339951485970172);
    EXPECT_EQ(first.basePosition[2], -0.39677714134577713);
    EXPECT_EQ(first.rotationSpeed, 0.950371450145536);
    EXPECT_EQ(first.twinklePhase, 0.9382819497909323);
    EXPECT_EQ(first.twinkleSpeed, 0.43493518484684934);
    EXPECT_EQ(first.baseSize, 1.7446711982405505);
    EXPECT_EQ(first.brightness, 0.9803207449258133);

    // The 49th particle is the first small star.
    EXPECT_EQ(particles[48].baseSize, 0.8929968864591851);
    EXPECT_EQ(particles[1099].basePosition[0], -0.18484755179196982);
    EXPECT_EQ(particles[1099].brightness, 0.45407537443091595);
    EXPECT_EQ(generator.state(), 0x3279b61d076e5679ULL);
}

TEST(OnboardingStarfieldGenerator, UnitValuesAndParticleRangesHold)
{
    SeededGenerator nearTop(0);
    EXPECT_EQ(nearTop.next(), 1442695040888963407ULL);

    SeededGenerator generator(OnboardingStarfieldView::backdropSeed);
    const std::vector<Particle> particles = OnboardingStarfieldView::buildParticles(generator);
    for (size_t i = 0; i < particles.size(); ++i) {
        const Particle& particle = particles[i];
        const auto [x, y, z] = particle.basePosition;
        EXPECT_LE(x * x + y * y + z * z, 2.25);
        EXPECT_GE(particle.rotationSpeed, 0.84);
        EXPECT_LE(particle.rotationSpeed, 1.16);
        EXPECT_GE(particle.twinkleSpeed, 0.18);
        EXPECT_LE(particle.twinkleSpeed, 0.55);
        EXPECT_GE(particle.brightness, 0.32);
        EXPECT_LE(particle.brightness, 1.0);
        if (i < 48) {
            EXPECT_GE(particle.baseSize, 1.15);
            EXPECT_LE(particle.baseSize, 2.05);
        } else {
            EXPECT_GE(particle.baseSize, 0.34);
            EXPECT_LE(particle.baseSize, 0.98);
        }
    }

    // Many more draws from another seed stay inside the ball too.
    SeededGenerator other(42);
    for (int i = 0; i < 20000; ++i) {
        const auto [x, y, z] = other.nextPointInBall();
        ASSERT_LE(x * x + y * y + z * z, 2.25);
    }
}

// At time 0 both angles are 0: depth is the base z, and a twinkle phase of 3π/2 gives w = −1.
struct DotCase
{
    const char* name;
    std::array<double, 3> position;
    double twinklePhase;
    double baseSize;
    double brightness;
    double opacity;
    double diameter;
    bool hidden;
};

class OnboardingStarfieldDot : public ::testing::TestWithParam<DotCase>
{
};

TEST_P(OnboardingStarfieldDot, AppliesDepthTwinkleAndFloors)
{
    const DotCase& row = GetParam();
    const Particle particle{row.position, 1.0, row.twinklePhase, 0.3, row.baseSize, row.brightness};
    const auto dot = OnboardingStarfieldView::dotAt(particle, 0, QSizeF(860, 700));
    EXPECT_NEAR(dot.opacity, row.opacity, 1e-6);
    EXPECT_NEAR(dot.diameter, row.diameter, 1e-9);
    EXPECT_EQ(dot.hidden, row.hidden);
}

constexpr double down = 3 * std::numbers::pi / 2;
constexpr double up = std::numbers::pi / 2;

INSTANTIATE_TEST_SUITE_P(
    Cases, OnboardingStarfieldDot,
    ::testing::Values(
        // Dimmest star at the far side still shows: 0.32 × 0.93 × 0.92.
        DotCase{"FarDimStarStaysVisible", {0, 0, -1.5}, down, 0.34, 0.32, 0.273792, 0.35, false},
        // 0.34 × 0.68 ≈ 0.23 is raised to the floor.
        DotCase{"SmallFarStarGetsSizeFloor", {0, 0, -1.5}, down, 0.34, 0.5, 0.42780, 0.35, false},
        // 1.0 × 1.01 × 1.08 clamps to 1; near stars grow by 3.2 / 1.7.
        DotCase{
            "NearBrightStarClampsToOne", {0, 0, 1.5}, up, 2.05, 1.0, 1.0, 2.05 * 3.2 / 1.7, false},
        DotCase{
            "CentreStarAtUnitPerspective", {0, 0, 0}, 0, 1.0, 0.5, 0.5 * 0.97 * 1.0, 1.0, false},
        // Below 0.02 the dot is hidden, not removed.
        DotCase{"TooFaintStarIsHidden", {0, 0, 0}, 0, 1.0, 0.015, 0.015 * 0.97, 1.0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OnboardingStarfieldDotPosition, ProjectsWithTiltRotationAndPerspective)
{
    // y grows downwards in the widget, so the cloud's upper half is drawn above the centre.
    const Particle onAxis{{1, 0, 0}, 1.0, 0, 0.3, 1.0, 0.8};
    const auto still = OnboardingStarfieldView::dotAt(onAxis, 0, QSizeF(860, 700));
    EXPECT_NEAR(still.centre.x(), 807.0293357286671, 1e-9);
    EXPECT_NEAR(still.centre.y(), 39.94781858532269, 1e-9);

    const Particle turning{{0.6, -0.3, 0.9}, 0.9, 1.2, 0.4, 1.3, 0.7};
    const auto later = OnboardingStarfieldView::dotAt(turning, 7.5, QSizeF(860, 700));
    EXPECT_NEAR(later.centre.x(), 660.1624275392493, 1e-9);
    EXPECT_NEAR(later.centre.y(), -73.8872598733094, 1e-9);
    EXPECT_NEAR(later.diameter, 1.7262365004962874, 1e-12);
    EXPECT_NEAR(later.opacity, 0.6821808356005761, 1e-6);
}

TEST(OnboardingStarfieldView, PlacesNothingUntilItHasASizeThenEverythingAtOnce)
{
    double time = 3.0;
    OnboardingStarfieldView view([&time] { return time; });
    view.resize(0, 0);
    view.show();
    view.tick();
    for (const auto& dot : view.dots())
        ASSERT_TRUE(dot.hidden);

    view.resize(860, 700);
    ASSERT_EQ(view.dots().size(), 1100u);
    for (size_t i = 0; i < view.dots().size(); ++i) {
        const auto expected =
            OnboardingStarfieldView::dotAt(view.particles()[i], 3.0, QSizeF(860, 700));
        ASSERT_EQ(view.dots()[i].centre, expected.centre);
        ASSERT_EQ(view.dots()[i].diameter, expected.diameter);
    }
}

TEST(OnboardingStarfieldView, AnimatesOnlyWhileShown)
{
    double time = 0;
    OnboardingStarfieldView view([&time] { return time; });
    view.resize(320, 240);
    EXPECT_FALSE(view.isAnimating());

    view.show();
    EXPECT_TRUE(view.isAnimating());
    view.startAnimating();
    EXPECT_TRUE(view.isAnimating());

    const QPointF before = view.dots().front().centre;
    time = 20;
    EXPECT_TRUE(waitUntil([&] { return view.dots().front().centre != before; }, 2000));

    view.hide();
    EXPECT_FALSE(view.isAnimating());
}

TEST(OnboardingStarfieldView, PaintsBlackWithACentredGlowAndStars)
{
    OnboardingStarfieldView view([] { return 12.0; });
    view.resize(860, 700);
    view.tick();
    QImage image(860, 700, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    QPainter painter(&image);
    view.paint(painter);
    painter.end();

    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(859, 699), QColor(Qt::black));
    int stars = 0;
    int glow = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int grey = qGray(image.pixel(x, y));
            stars += grey > 60 ? 1 : 0;
            glow += grey > 0 && grey <= 20 ? 1 : 0;
        }
    }
    EXPECT_GT(stars, 100);
    EXPECT_GT(glow, 100000);
    // No stray pixel of the fill colour: the backdrop covers everything.
    EXPECT_EQ(image.pixelColor(430, 0).red(), image.pixelColor(430, 0).green());
}

} // namespace
