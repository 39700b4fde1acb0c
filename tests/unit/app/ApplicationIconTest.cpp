#include "app/ApplicationIcon.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

// The pixel at a point given as fractions of the size, y downwards.
QRgb pixelAt(const QImage& image, double x, double y)
{
    return image.pixel(int(x * image.width()), int(y * image.height()));
}

bool isLightMark(QRgb pixel)
{
    return qAlpha(pixel) == 255 && qGray(pixel) > 200;
}

bool isDarkTile(QRgb pixel)
{
    return qAlpha(pixel) == 255 && qGray(pixel) < 80;
}

struct SvgRing
{
    double cx = 0, cy = 0, r = 0, size = 0;
};

// The SVG parsed as XML (a broken document would leave menus without an icon).
SvgRing parseRing(const QByteArray& svg)
{
    SvgRing ring;
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("svg"))
            ring.size = a.value("width").toDouble();
        if (xml.name() == QLatin1String("circle")) {
            ring.cx = a.value("cx").toDouble();
            ring.cy = a.value("cy").toDouble();
            ring.r = a.value("r").toDouble();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return ring;
}

} // namespace

class ApplicationIconSizes : public ::testing::TestWithParam<int>
{
};

// Light strokes on a dark tile read on light and dark menus alike; the margin stays clear.
TEST_P(ApplicationIconSizes, DrawsTheTrayMarkLightOnADarkTile)
{
    const QImage icon = ApplicationIcon::render(GetParam());
    ASSERT_EQ(icon.size(), QSize(GetParam(), GetParam()));

    for (const auto& [x, y] : {std::pair{0.01, 0.01}, {0.99, 0.99}, {0.5, 0.01}})
        EXPECT_EQ(qAlpha(pixelAt(icon, x, y)), 0) << x << "," << y;
    // Inside the ring above the wave, and the tile's margin band below the ring.
    for (const auto& [x, y] : {std::pair{0.5, 0.33}, {0.5, 0.88}})
        EXPECT_TRUE(isDarkTile(pixelAt(icon, x, y))) << x << "," << y;
    if (GetParam() < 48)
        return; // strokes are a pixel or two wide: sampling them exactly proves little
    // The ring's top and left, the wave's low point (the tray's lines, moved into the tile).
    for (const auto& [x, y] : {std::pair{0.5, 0.2008}, {0.2008, 0.5}, {0.5176, 0.6056}})
        EXPECT_TRUE(isLightMark(pixelAt(icon, x, y))) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Sizes, ApplicationIconSizes, ::testing::Values(16, 48, 256));

TEST(ApplicationIcon, SvgDrawsTheSameRingAsTheBitmaps)
{
    const SvgRing ring = parseRing(ApplicationIcon::svg());
    ASSERT_GT(ring.size, 0);
    const QImage icon = ApplicationIcon::render(256);
    const double top = (ring.cy - ring.r) / ring.size;
    const double left = (ring.cx - ring.r) / ring.size;
    EXPECT_TRUE(isLightMark(pixelAt(icon, ring.cx / ring.size, top)));
    EXPECT_TRUE(isLightMark(pixelAt(icon, left, ring.cy / ring.size)));
    EXPECT_TRUE(isDarkTile(pixelAt(icon, ring.cx / ring.size, top + 0.06)));
}
