#include "overlay/StarfieldPillView.h"

#include "support/Wait.h"

#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using Mode = StarfieldPillView::Mode;

// A view on a clock the test moves by hand.
class PillFixture : public ::testing::Test
{
protected:
    double now = 1000.0;
    StarfieldPillView view{[this] { return now; }};

    void at(double t)
    {
        now = t;
        view.drawFrame();
    }

    QImage paint()
    {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        view.paintPill(painter);
        return image;
    }
};

// Values from a separate implementation of the generator, the sphere sampling and the draw
// order; any slip in any of them changes these bits.
TEST(StarfieldParticles, ReproduceTheFixedSeedFieldBitForBit)
{
    SeededGenerator generator{StarfieldPillView::starSeed};
    const std::vector<StarParticle> stars = StarfieldPillView::buildParticles(generator);
    ASSERT_EQ(stars.size(), 144u);

    const StarParticle& first = stars[0];
    EXPECT_EQ(first.basePosition[0], -0.5816230544815009);
    EXPECT_EQ(first.basePosition[1], 0.5742712485862013);
    EXPECT_EQ(first.basePosition[2], -1.1010894830555693);
    EXPECT_EQ(first.rotationSpeed, 0.9493247966101701);
    EXPECT_EQ(first.twinklePhase, 5.75218967103766);
    EXPECT_EQ(first.twinkleSpeed, 1.8024749739371737);
    EXPECT_EQ(first.baseSize, 1.308025788699853);
    EXPECT_EQ(first.brightness, 0.9639554951977733);
    EXPECT_EQ(first.collapseSpin, 1.008183794546957);

    const StarParticle& last = stars[143];
    EXPECT_EQ(last.basePosition[0], 0.1100354078801431);
    EXPECT_EQ(last.baseSize, 0.9148116599521181);
    EXPECT_EQ(last.collapseSpin, 0.7733390794109443);

    EXPECT_EQ(generator.state(), 0x888912408E2C168CULL);
}

TEST(StarfieldParticles, SizesAndPositionsStayInTheirRanges)
{
    SeededGenerator generator{StarfieldPillView::starSeed};
    const std::vector<StarParticle> stars = StarfieldPillView::buildParticles(generator);
    for (size_t i = 0; i < stars.size(); ++i) {
        SCOPED_TRACE(i);
        const StarParticle& s = stars[i];
        if (i < 20) {
            EXPECT_GE(s.baseSize, 1.15);
            EXPECT_LE(s.baseSize, 1.75);
        } else {
            EXPECT_GE(s.baseSize, 0.52);
            EXPECT_LE(s.baseSize, 1.02);
        }
        const auto [x, y, z] = s.basePosition;
        EXPECT_LE(x * x + y * y + z * z, 1.5 * 1.5 + 1e-12);
        EXPECT_GE(s.rotationSpeed, 0.7);
        EXPECT_LE(s.rotationSpeed, 1.3);
        EXPECT_GE(s.brightness, 0.44);
        EXPECT_LE(s.brightness, 0.98);
    }
}

TEST(StarfieldParticles, EveryViewBuildsTheSameField)
{
    StarfieldPillView a, b;
    ASSERT_EQ(a.particles().size(), b.particles().size());
    for (size_t i = 0; i < a.particles().size(); ++i)
        EXPECT_EQ(a.particles()[i].basePosition, b.particles()[i].basePosition);
}

TEST_F(PillFixture, CollapseTakesEighteenHundredthsOfASecond)
{
    view.applyMode(Mode::Transcribing);
    EXPECT_EQ(view.frame().collapseProgress, 0.0);
    at(1000.09);
    EXPECT_NEAR(view.frame().collapseProgress, 0.5, 1e-9);
    at(1000.18);
    EXPECT_NEAR(view.frame().collapseProgress, 1.0, 1e-9);
    at(1003.0);
    EXPECT_EQ(view.frame().collapseProgress, 1.0);
    EXPECT_EQ(view.frame().dotStrength, 1.0);
}

// Positions, sizes and opacities from a separate implementation of the frame maths (y already
// turned downwards), in the turning cloud and a fifth of the way into the collapse.
TEST_F(PillFixture, FrameMathsPlacesStarsLikeAnIndependentReading)
{
    struct Case
    {
        int star;
        bool transcribing;
        double t;
        double x, y, size, opacity;
    };
    const Case cases[] = {
        {0, false, 1000.0, 62.959570015508255, 44.69964294835472, 0.968257063665646,
         0.6656756449794085},
        {7, false, 1000.0, 98.33342345273408, 59.67185458429089, 1.1386548857635184,
         0.6436432332434507},
        {0, true, 1000.0315, 96.54268616477806, 33.4869015568279, 1.0371370418998371,
         0.3422481071792301},
        {20, true, 1000.0315, 130.01458369706833, 28.40845272862855, 0.7467672283012761,
         0.33524977471142436},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.star);
        now = 1000.0;
        view.applyMode(Mode::Recording);
        if (row.transcribing)
            view.applyMode(Mode::Transcribing);
        at(row.t);
        const PillFrame::Star& star = view.frame().stars[static_cast<size_t>(row.star)];
        EXPECT_NEAR(star.centre.x(), row.x, 1e-6);
        EXPECT_NEAR(star.centre.y(), row.y, 1e-6);
        EXPECT_NEAR(star.size, row.size, 1e-9);
        EXPECT_NEAR(star.opacity, row.opacity, 1e-6);
    }
}

TEST_F(PillFixture, CollapsedStarsSitOnTheirDotPoints)
{
    view.applyMode(Mode::Transcribing);
    at(1000.5);
    const PillFrame& f = view.frame();
    for (int i = 0; i < StarfieldPillView::starCount; ++i) {
        SCOPED_TRACE(i);
        const PillFrame::Star& star = f.stars[static_cast<size_t>(i)];
        const StarParticle& p = view.particles()[static_cast<size_t>(i)];
        EXPECT_NEAR(star.centre.x(), 100 + ((i % 3) - 1) * 11, 1e-9);
        EXPECT_NEAR(star.centre.y(), 26, 1e-9);
        EXPECT_NEAR(star.size, std::max(0.94 * p.baseSize, 0.5), 1e-9);
        // alphaK is 0.06 and the depth 0.92 once the cloud is flat.
        const double tw = std::sin(p.twinklePhase + p.twinkleSpeed * now);
        EXPECT_NEAR(star.opacity, 0.06 * p.brightness * (0.1 * tw + 0.9) * 0.92, 1e-6);
        EXPECT_EQ(star.hidden, star.opacity < 0.01f);
    }
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(f.dots[static_cast<size_t>(k)].centre, QPointF(100 + (k - 1) * 11, 26));
}

TEST_F(PillFixture, DotsStayInvisibleWhileRecording)
{
    view.applyMode(Mode::Recording);
    for (double t : {1000.0, 1000.1, 1000.31, 1002.5, 1017.0}) {
        at(t);
        for (const PillFrame::Dot& dot : view.frame().dots)
            EXPECT_EQ(dot.opacity, 0.0f) << t;
        EXPECT_EQ(view.frame().collapseProgress, 0.0);
    }
}

TEST_F(PillFixture, DotsPulseFromLeftToRight)
{
    view.applyMode(Mode::Transcribing);
    const double lag = 0.58 / 5.1; // each dot repeats its left neighbour this much later
    at(1001.0);
    const float left = view.frame().dots[0].opacity;
    const float middle = view.frame().dots[1].opacity;
    at(1001.0 + lag);
    EXPECT_NEAR(view.frame().dots[1].opacity, left, 1e-5);
    EXPECT_NEAR(view.frame().dots[2].opacity, middle, 1e-5);
    for (const PillFrame::Dot& dot : view.frame().dots) {
        EXPECT_GE(dot.opacity, 0.32f - 1e-6f);
        EXPECT_LE(dot.opacity, 1.0f + 1e-6f);
    }
}

TEST_F(PillFixture, ReapplyingTranscribingKeepsTheCollapseAndRecordingClearsIt)
{
    view.applyMode(Mode::Transcribing);
    now = 1000.09;
    view.applyMode(Mode::Transcribing);
    EXPECT_NEAR(view.frame().collapseProgress, 0.5, 1e-9);

    view.applyMode(Mode::Recording);
    EXPECT_EQ(view.frame().collapseProgress, 0.0);

    now = 1000.2;
    view.applyMode(Mode::Transcribing);
    EXPECT_EQ(view.frame().collapseProgress, 0.0);
    at(1000.29);
    EXPECT_NEAR(view.frame().collapseProgress, 0.5, 1e-9);
}

TEST_F(PillFixture, MistKeepsItsMinimumHeightInASmallPill)
{
    view.resize(200, 20);
    view.applyMode(Mode::Transcribing);
    at(1000.5);
    EXPECT_EQ(view.frame().mistRect.height(), 8.0);
    EXPECT_NEAR(view.frame().mistRect.width(), 0.54 * 200, 1e-9);
    EXPECT_EQ(view.frame().mistRect.center(), QPointF(100, 10));
}

TEST_F(PillFixture, OneAnimationTimerHoweverOftenTheModeIsApplied)
{
    EXPECT_FALSE(view.isAnimating());
    for (int i = 0; i < 4; ++i)
        view.applyMode(i % 2 ? Mode::Transcribing : Mode::Recording);
    EXPECT_TRUE(view.isAnimating());
    EXPECT_EQ(view.findChildren<QTimer*>().size(), 1);

    view.startPreviewLoop();
    EXPECT_TRUE(view.isPreviewLooping());
    EXPECT_EQ(view.findChildren<QTimer*>().size(), 2);

    view.stopAnimating();
    EXPECT_FALSE(view.isAnimating());
    EXPECT_FALSE(view.isPreviewLooping());
    EXPECT_TRUE(view.findChildren<QTimer*>().isEmpty());
}

TEST(StarfieldPillAnimation, TicksRedrawWithTheClock)
{
    double now = 50.0;
    StarfieldPillView view([&] { return now; });
    view.applyMode(Mode::Transcribing);
    now = 50.5;
    ASSERT_TRUE(waitUntil([&] { return view.frame().collapseProgress == 1.0; }, 2000));
}

TEST(StarfieldPillAnimation, PreviewLoopAlternatesEveryTwoPointTwoSeconds)
{
    StarfieldPillView view;
    view.applyMode(Mode::Transcribing);
    view.startPreviewLoop();
    EXPECT_EQ(view.mode(), Mode::Recording);
    ASSERT_TRUE(waitUntil([&] { return view.mode() == Mode::Transcribing; }, 4000));
    // The switch starts a fresh collapse.
    EXPECT_LT(view.collapseProgress(view.now()), 1.0);
    ASSERT_TRUE(waitUntil([&] { return view.frame().collapseProgress == 1.0; }, 2000));
}

TEST_F(PillFixture, RecordingPictureShowsStarsInTheNearBlackCapsule)
{
    view.applyMode(Mode::Recording);
    at(1000.0);
    const QImage image = paint();
    int bright = 0, nearBlack = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            if (qAlpha(px) == 255 && qRed(px) <= 8)
                ++nearBlack;
            if (qRed(px) > 60)
                ++bright;
        }
    EXPECT_GT(bright, 20);
    EXPECT_GT(nearBlack, 200 * 52 * 3 / 4);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(199, 51)), 0);
    // The centre of the capsule is opaque near-black unless a star sits there.
    EXPECT_EQ(qAlpha(image.pixel(3, 26)), 255);
}

TEST_F(PillFixture, TranscribingPictureShowsThreeDots)
{
    view.applyMode(Mode::Transcribing);
    at(1001.0);
    const QImage image = paint();
    auto red = [&](int x, int y) { return qRed(image.pixel(x, y)); };
    for (int dotX : {89, 100, 111}) {
        SCOPED_TRACE(dotX);
        EXPECT_GT(red(dotX, 26), 70);
        EXPECT_LT(red(dotX + 5, 26), 12); // the gap to the next dot
        EXPECT_LT(red(dotX, 31), 12);     // below the dot
    }
    int bright = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            bright += qRed(image.pixel(x, y)) > 40;
    EXPECT_LT(bright, 3 * 30); // nothing but the dots stands out
}

} // namespace
