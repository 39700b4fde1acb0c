#include "app/StatusItemIcon.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>
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

    // Strokes of the one colour asked for; only their coverage varies.
    const QImage tinted = StatusItemIcon::make(size, QColor(30, 144, 255));
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            const QColor pixel = tinted.pixelColor(px, py);
            if (pixel.alpha() < 64)
                continue;
            ASSERT_NEAR(pixel.red(), 30, 4) << px << "," << py;
            ASSERT_NEAR(pixel.green(), 144, 4) << px << "," << py;
            ASSERT_NEAR(pixel.blue(), 255, 4) << px << "," << py;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, StatusItemIconTest, ::testing::Values(18, 36));

TEST(StatusItemIconSetTest, IconHasBothSizesInTheGivenColour)
{
    const QIcon icon = StatusItemIcon::makeIcon(Qt::white);
    EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(18, 18), QSize(36, 36)}));
    // The top of the ring, fully covered.
    const QColor ringTop = icon.pixmap(18).toImage().pixelColor(9, 3);
    EXPECT_EQ(ringTop.rgb(), QColor(Qt::white).rgb());
    EXPECT_GT(ringTop.alpha(), 200);
}

namespace {

double luminance(const QColor& color)
{
    const auto channel = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

// WCAG contrast ratio, 1 (none) to 21 (black on white).
double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette paletteWithText(const QColor& window, const QColor& text)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}

struct PanelCase
{
    const char* name;
    QPalette palette; // the application's colour scheme
    QString desktop;  // XDG_CURRENT_DESKTOP
    QColor panel;     // what the tray is drawn on
};

} // namespace

class TrayIconContrastTest : public ::testing::TestWithParam<PanelCase>
{
};

// The icon as the tray shows it, composited over the panel: its strokes must stand out as
// clearly as text does (4.5:1).
TEST_P(TrayIconContrastTest, StandsOutOnThePanel)
{
    const PanelCase& c = GetParam();
    const QColor color = StatusItemIcon::panelTextColor(c.palette, c.desktop);
    for (int size : {18, 36}) {
        QImage shown(size, size, QImage::Format_ARGB32);
        shown.fill(c.panel);
        QPainter painter(&shown);
        painter.drawPixmap(0, 0, StatusItemIcon::makeIcon(color).pixmap(size));
        painter.end();

        double best = 1;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x)
                best = std::max(best, contrast(shown.pixelColor(x, y), c.panel));
        }
        EXPECT_GE(best, 4.5) << c.name << " at " << size;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Panels, TrayIconContrastTest,
    ::testing::Values(
        PanelCase{"lightScheme", paletteWithText("#eff0f1", "#232629"), "KDE", QColor("#eff0f1")},
        PanelCase{"darkScheme", paletteWithText("#31363b", "#fcfcfc"), "KDE", QColor("#31363b")},
        PanelCase{"darkXfcePanel", paletteWithText("#3c3c3c", "#dcdcdc"), "XFCE",
                  QColor("#2b2b2b")},
        // GNOME Shell's top bar is black even when the applications use a light theme.
        PanelCase{"gnomeTopBarLightApps", paletteWithText("#f6f5f4", "#2e3436"), "ubuntu:GNOME",
                  QColor("#000000")},
        PanelCase{"gnomeTopBarDarkApps", paletteWithText("#242424", "#ffffff"), "GNOME",
                  QColor("#000000")},
        PanelCase{"gnomeFlashbackLightPanel", paletteWithText("#f6f5f4", "#2e3436"),
                  "GNOME-Flashback:GNOME", QColor("#f6f5f4")}),
    [](const auto& info) { return std::string(info.param.name); });

// A tray that embeds the icon shows the panel around it: a colour that would vanish there
// gives way to black or white.
TEST(StatusItemIconPanelTest, KeepsAColourThatStandsOutElseTakesBlackOrWhite)
{
    const auto panel = [](const QColor& color) {
        QImage image(22, 22, QImage::Format_ARGB32);
        image.fill(color);
        // The drawn icon in the middle must not count as panel.
        QPainter painter(&image);
        painter.drawImage(2, 2, StatusItemIcon::make(18, QColor(255, 0, 255)));
        return image;
    };
    const QColor darkText("#232629");
    EXPECT_EQ(StatusItemIcon::colorOver(panel("#eff0f1"), darkText), darkText);
    EXPECT_EQ(StatusItemIcon::colorOver(panel("#202020"), darkText), QColor(Qt::white));
    EXPECT_EQ(StatusItemIcon::colorOver(panel("#000000"), Qt::white), QColor(Qt::white));
    EXPECT_EQ(StatusItemIcon::colorOver(panel("#f6f5f4"), Qt::white), QColor(Qt::black));
    // Mid grey: the better of the two.
    EXPECT_EQ(StatusItemIcon::colorOver(panel("#5a5a5a"), QColor("#606060")), QColor(Qt::white));
    EXPECT_EQ(StatusItemIcon::colorOver(QImage(), darkText), darkText);
    EXPECT_TRUE(StatusItemIcon::grabPanel(QRect()).isNull());
}
