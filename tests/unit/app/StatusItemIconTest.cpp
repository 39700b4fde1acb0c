#include "app/StatusItemIcon.h"

#include <gtest/gtest.h>

namespace {

// Opacity at a point given in the drawing's own units: fractions of the size, y upwards.
int alphaAt(const QImage& image, double x, double y)
{
    const double s = image.width();
    return qAlpha(image.pixel(int(x * s), int((1.0 - y) * s)));
}

} // namespace

class StatusItemIconTest : public ::testing::TestWithParam<int>
{
};

TEST_P(StatusItemIconTest, DrawsTheCircleAndTheWaveInProportion)
{
    const int size = GetParam();
    const QImage image = StatusItemIcon::make(size);
    ASSERT_EQ(image.size(), QSize(size, size));

    // The ring: diameter 0.68 s centred, so its stroke crosses x = 0.5 at y = 0.16 and 0.84,
    // and x = 0.16, 0.84 at y = 0.5.
    for (const auto& [x, y] : {std::pair{0.5, 0.84}, {0.5, 0.16}, {0.16, 0.5}, {0.84, 0.5}})
        EXPECT_GT(alphaAt(image, x, y), 128) << x << "," << y;
    // The wave's ends and its low point; the wave dips below the middle.
    for (const auto& [x, y] : {std::pair{0.23, 0.56}, {0.77, 0.54}, {0.52, 0.38}})
        EXPECT_GT(alphaAt(image, x, y), 128) << x << "," << y;
    // Empty: the corners, and inside the ring above the wave.
    for (const auto& [x, y] : {std::pair{0.03, 0.03}, {0.97, 0.97}, {0.5, 0.68}})
        EXPECT_EQ(alphaAt(image, x, y), 0) << x << "," << y;

    // Black strokes only, so the desktop can recolour the mask.
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            if (qAlpha(image.pixel(px, py)) > 0) {
                ASSERT_EQ(qRed(image.pixel(px, py)) | qGreen(image.pixel(px, py)) |
                              qBlue(image.pixel(px, py)),
                          0);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, StatusItemIconTest, ::testing::Values(18, 36));

TEST(StatusItemIconSetTest, IconIsAMaskWithBothSizes)
{
    const QIcon icon = StatusItemIcon::makeIcon();
    EXPECT_TRUE(icon.isMask());
    EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(18, 18), QSize(36, 36)}));
}
