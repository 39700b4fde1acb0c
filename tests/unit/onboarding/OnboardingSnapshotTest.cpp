#include "onboarding/OnboardingWindowController.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class OnboardingSnapshot : public ::testing::TestWithParam<OnboardingStep>
{
};

// Each step's picture at a fixed animation time: full size, dark, with the title drawn.
// ONBOARDING_SNAPSHOT_DIR keeps the pictures for a person to look at.
TEST_P(OnboardingSnapshot, IsTheDarkFullWindowWithItsTitle)
{
    QTemporaryDir scratch;
    const QString directory = qEnvironmentVariable("ONBOARDING_SNAPSHOT_DIR", scratch.path());
    const QString path = QDir(directory).filePath(GetParam().rawValue() + ".png");
    OnboardingWindowController controller([] { return 42.0; });
    controller.showPreview(GetParam());

    ASSERT_EQ(controller.captureSnapshot(path), std::nullopt);

    const QImage image(path);
    ASSERT_FALSE(image.isNull());
    const qreal ratio = controller.window()->devicePixelRatioF();
    EXPECT_EQ(image.size(), (QSizeF(860, 700) * ratio).toSize());

    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 48 ? 1 : 0;
    }
    EXPECT_GT(dark, image.width() * image.height() * 85 / 100);

    const auto* title = controller.window()->findChild<QLabel*>("titleLabel");
    const QRect area(title->mapTo(controller.window(), QPoint(0, 0)), title->size());
    ASSERT_FALSE(area.isEmpty());
    int bright = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            bright += qGray(image.pixel(QPoint(x, y) * ratio)) > 200 ? 1 : 0;
    }
    EXPECT_GT(bright, 200) << "no title text at " << area.x() << "," << area.y();
}

INSTANTIATE_TEST_SUITE_P(Steps, OnboardingSnapshot, ::testing::ValuesIn(OnboardingStep::allCases()),
                         [](const auto& info) { return info.param.rawValue().toStdString(); });

} // namespace
