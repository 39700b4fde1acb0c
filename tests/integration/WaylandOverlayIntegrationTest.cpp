// The recording overlay inside a headless sway: the pill as a layer surface over a native GTK
// field, seen in the compositor's own screenshot, while the field keeps the keyboard focus.
#include "FieldApp.h"
#include "SwaySession.h"
#include "VirtualPointer.h"
#include "overlay/RecordingOverlayWindowController.h"
#include "platform/PlatformFactory.h"
#include "platform/wayland/LayerShellOverlay.h"
#include "support/Wait.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

// sway's headless output (tests/integration/wayland-session: 1280 × 800 pixels, scaled by
// the ctest entry's WENDLO_SWAY_CONFIG) and the pill on it in its pixels: centred, 28 points
// above the bottom edge.
constexpr QSize outputPixels(1280, 800);

int outputScale()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->devicePixelRatio()) : 1;
}

QRect pillRect()
{
    const int s = outputScale();
    return {(outputPixels.width() - 200 * s) / 2, outputPixels.height() - (28 + 52) * s, 200 * s,
            52 * s};
}

// The pid of the window sway gives the keyboard focus; 0 when none has it.
qint64 focusedPid()
{
    for (const QJsonValue window : SwaySession::windows()) {
        const QJsonObject w = window.toObject();
        if (w.value(QStringLiteral("focused")).toBool())
            return qint64(w.value(QStringLiteral("pid")).toDouble());
    }
    return 0;
}

bool hasWindowOf(qint64 pid)
{
    for (const QJsonValue window : SwaySession::windows())
        if (qint64(window.toObject().value(QStringLiteral("pid")).toDouble()) == pid)
            return true;
    return false;
}

// The whole output as the compositor composes it, layers included.
QImage screenshot(const QTemporaryDir& dir)
{
    const QString file = dir.filePath(QStringLiteral("screen.png"));
    QProcess grim;
    grim.start(QStringLiteral("grim"), {file});
    if (!grim.waitForFinished(10000) || grim.exitCode() != 0)
        return {};
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

double meanLightness(const QImage& image, const QRect& area)
{
    double sum = 0;
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x, ++count)
            sum += QColor(image.pixel(x, y)).lightness();
    return count ? sum / count : 0;
}

class WaylandOverlay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const auto reason = SwaySession::missing())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
        qputenv("GDK_BACKEND", "wayland");
        field = std::make_unique<FieldApp>(FieldApp::Toolkit::Gtk, QStringLiteral("line"),
                                           QStringLiteral("under the pill"), std::nullopt, 0,
                                           QStringList{QStringLiteral("--clicks"), clicksFile});
        ASSERT_TRUE(field->started());
        ASSERT_TRUE(waitUntil([&] { return focusedPid() == field->processId(); }, 10000))
            << "the GTK field never got the keyboard focus";

        std::unique_ptr<OverlayWindowBackend> backend = PlatformFactory::makeOverlayWindowBackend();
        layerShell = dynamic_cast<LayerShellOverlay*>(backend.get());
        ASSERT_NE(layerShell, nullptr) << "sway offers layer-shell: the factory must use it";
        controller = std::make_unique<RecordingOverlayWindowController>(std::move(backend));
    }

    // Frames reach the compositor only when it shows them: a few mean the pill is on screen.
    bool waitForFrames(int frames)
    {
        const int target = layerShell->framesPresented() + frames;
        return waitUntil([&] { return layerShell->framesPresented() >= target; }, 5000);
    }

    void expectPillOnScreen(const char* when)
    {
        const QImage screen = screenshot(dir);
        ASSERT_EQ(screen.size(), outputPixels) << when;
        const QRect pill = pillRect();
        const int s = outputScale();
        // The near-black capsule, all of it, over the light field, and the field around it.
        EXPECT_LT(meanLightness(screen, pill.adjusted(30 * s, 10 * s, -30 * s, -10 * s)), 90)
            << when;
        EXPECT_GT(meanLightness(screen, pill.translated(0, -80 * s)), 200) << when;
        // Transparent corners: the field shows through outside the rounded shape.
        EXPECT_GT(QColor(screen.pixel(pill.topLeft() + QPoint(1, 1))).lightness(), 200) << when;
    }

    // The presses the field saw, as "x y" in its window's coordinates.
    QStringList clicks() const
    {
        QFile file(clicksFile);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    const QString clicksFile = dir.filePath(QStringLiteral("clicks"));
    std::unique_ptr<FieldApp> field;
    LayerShellOverlay* layerShell = nullptr;
    std::unique_ptr<RecordingOverlayWindowController> controller;
};

TEST_F(WaylandOverlay, PillShowsAboveTheFieldWithoutTakingItsFocus)
{
    controller->render(DictationState::recording());
    EXPECT_TRUE(controller->isVisible());
    ASSERT_TRUE(waitForFrames(5)) << "the compositor never showed the pill's frames";
    expectPillOnScreen("recording");
    EXPECT_EQ(focusedPid(), field->processId()) << "while recording";
    // A layer surface, not a window of its own.
    EXPECT_FALSE(hasWindowOf(getpid()));

    controller->render(DictationState::transcribing());
    ASSERT_TRUE(waitForFrames(10));
    expectPillOnScreen("transcribing");
    EXPECT_EQ(focusedPid(), field->processId()) << "while transcribing";

    controller->render(DictationState::idle());
    EXPECT_FALSE(controller->isVisible());
    ASSERT_TRUE(waitUntil(
        [&] {
            const QImage screen = screenshot(dir);
            return !screen.isNull() && meanLightness(screen, pillRect()) > 200;
        },
        5000))
        << "the pill stayed on screen after idle";
    EXPECT_EQ(focusedPid(), field->processId()) << "after idle";
    EXPECT_FALSE(hasWindowOf(getpid()));
}

TEST_F(WaylandOverlay, ShownAgainAfterBeingHidden)
{
    // Each show makes a new surface: the second must be configured and drawn as the first.
    controller->render(DictationState::recording());
    ASSERT_TRUE(waitForFrames(3));
    controller->render(DictationState::error(QStringLiteral("Transcript was empty")));
    controller->render(DictationState::recording());
    ASSERT_TRUE(waitForFrames(3)) << "the second surface was never drawn";
    expectPillOnScreen("shown again");
    EXPECT_EQ(focusedPid(), field->processId());
}

TEST_F(WaylandOverlay, ClicksOnThePillReachTheFieldBeneath)
{
    VirtualPointer pointer;
    ASSERT_TRUE(pointer.ok()) << "sway offers no virtual pointer";
    controller->render(DictationState::recording());
    ASSERT_TRUE(waitForFrames(3));
    expectPillOnScreen("before the click");

    // In the compositor's logical coordinates: the output's pixels over its scale. A press
    // beside the pill first gives the field's own offset to the output.
    const int s = outputScale();
    const QPoint centre = pillRect().center() / s;
    const QPoint beside = centre - QPoint(0, 100);
    ASSERT_TRUE(pointer.click(beside, outputPixels / s));
    ASSERT_TRUE(pointer.click(centre, outputPixels / s));
    ASSERT_TRUE(waitUntil([&] { return clicks().size() >= 2; }, 5000))
        << "the press at the pill never reached the field beneath it: " << clicks().size()
        << " press(es) seen";
    const auto point = [](const QString& line) {
        const QStringList xy = line.split(u' ');
        return xy.size() == 2 ? QPoint(xy[0].toInt(), xy[1].toInt()) : QPoint(-1, -1);
    };
    EXPECT_EQ(point(clicks()[1]) - point(clicks()[0]), centre - beside);
    EXPECT_EQ(focusedPid(), field->processId());
}

} // namespace
