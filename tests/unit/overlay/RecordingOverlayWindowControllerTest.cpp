#include "overlay/RecordingOverlayWindowController.h"

#include "overlay/RecordingOverlayView.h"
#include "overlay/StarfieldPillView.h"
#include "platform/OverlayWindowBackend.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

using Mode = StarfieldPillView::Mode;

class CountingBackend : public OverlayWindowBackend
{
public:
    explicit CountingBackend(int* prepared, int* asked = nullptr)
        : m_prepared(prepared), m_asked(asked)
    {
    }
    void prepareToShow(QWidget*) override { ++*m_prepared; }
    std::optional<QRect> activeWindowFrame() override
    {
        if (m_asked)
            ++*m_asked;
        return std::nullopt;
    }

private:
    int* m_prepared;
    int* m_asked;
};

class OverlayFixture : public ::testing::Test
{
protected:
    int prepared = 0;
    int asked = 0;
    double now = 10.0;
    RecordingOverlayWindowController controller{
        std::make_unique<CountingBackend>(&prepared, &asked), [this] { return now; }};

    int timers() const { return controller.starfieldView()->findChildren<QTimer*>().size(); }
};

TEST_F(OverlayFixture, StartsHiddenAndStill)
{
    EXPECT_FALSE(controller.isVisible());
    EXPECT_FALSE(controller.starfieldView()->isAnimating());
    EXPECT_EQ(controller.window()->size(), QSize(200, 52));
    EXPECT_TRUE(controller.window()->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(controller.window()->windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(controller.window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(OverlayFixture, ShownThroughADictationAndHiddenAtIdle)
{
    controller.render(DictationState::recording());
    EXPECT_TRUE(controller.isVisible());
    EXPECT_EQ(controller.starfieldView()->mode(), Mode::Recording);
    EXPECT_TRUE(controller.starfieldView()->isAnimating());

    controller.render(DictationState::transcribing());
    EXPECT_TRUE(controller.isVisible());
    EXPECT_EQ(controller.starfieldView()->mode(), Mode::Transcribing);

    controller.render(DictationState::idle());
    EXPECT_FALSE(controller.isVisible());
    EXPECT_FALSE(controller.starfieldView()->isAnimating());
    EXPECT_EQ(timers(), 0);
    // A hidden pill keeps its last mode.
    EXPECT_EQ(controller.starfieldView()->mode(), Mode::Transcribing);
    EXPECT_EQ(prepared, 2);
}

// Where the pill would be an ordinary window that takes the focus from the user's field.
TEST(OverlayUnshowable, ADictationLeavesThePillHidden)
{
    struct Unshowable : OverlayWindowBackend
    {
        int prepared = 0;
        bool canShow() override { return false; }
        void prepareToShow(QWidget*) override { ++prepared; }
    };
    auto backend = std::make_unique<Unshowable>();
    Unshowable* seen = backend.get();
    RecordingOverlayWindowController controller{std::move(backend), [] { return 10.0; }};
    controller.render(DictationState::recording());
    controller.render(DictationState::transcribing());
    EXPECT_FALSE(controller.isVisible());
    EXPECT_FALSE(controller.window()->isVisible());
    EXPECT_EQ(seen->prepared, 0);
}

TEST_F(OverlayFixture, AnErrorWhileRecordingHidesThePillAtOnce)
{
    controller.render(DictationState::recording());
    controller.render(DictationState::error(QStringLiteral("Transcript was empty")));
    EXPECT_FALSE(controller.isVisible());
    EXPECT_FALSE(controller.starfieldView()->isAnimating());
}

TEST_F(OverlayFixture, RepeatedRecordingRendersKeepOneTimerAndThePosition)
{
    controller.render(DictationState::recording());
    const QPoint first = controller.window()->pos();
    controller.render(DictationState::recording());
    EXPECT_EQ(timers(), 1);
    EXPECT_EQ(controller.window()->pos(), first);
    EXPECT_EQ(prepared, 2); // re-prepared at every show
    EXPECT_EQ(asked, 2);    // and placed by where the user works at every show

    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(first, RecordingOverlayWindowController::originFor(screen->availableGeometry(),
                                                                 QSize(200, 52)));
}

TEST_F(OverlayFixture, PreviewLoopRunsUntilAStateIsRendered)
{
    controller.showPreviewLoop();
    EXPECT_TRUE(controller.isVisible());
    EXPECT_TRUE(controller.starfieldView()->isPreviewLooping());
    EXPECT_EQ(controller.starfieldView()->mode(), Mode::Recording);

    controller.render(DictationState::transcribing());
    EXPECT_FALSE(controller.starfieldView()->isPreviewLooping());
    EXPECT_EQ(controller.starfieldView()->mode(), Mode::Transcribing);
    EXPECT_EQ(timers(), 1);
}

TEST_F(OverlayFixture, ASwitchQueuedByTheLoopDoesNotOverrideALaterState)
{
    controller.showPreviewLoop();
    QTimer* loop = nullptr;
    for (QTimer* timer : controller.starfieldView()->findChildren<QTimer*>())
        if (timer->interval() == StarfieldPillView::previewIntervalMs)
            loop = timer;
    ASSERT_NE(loop, nullptr);
    // The loop fires, and before its switch runs the dictation reports recording.
    QMetaObject::invokeMethod(loop, "timeout");
    controller.render(DictationState::recording());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(controller.starfieldView()->mode(), Mode::Recording);
}

struct OriginCase
{
    const char* name;
    QRect area;
    QPoint origin;
};

class OverlayOrigin : public ::testing::TestWithParam<OriginCase>
{
};

TEST_P(OverlayOrigin, CentredTwentyEightAboveTheBottom)
{
    EXPECT_EQ(RecordingOverlayWindowController::originFor(GetParam().area, QSize(200, 52)),
              GetParam().origin);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, OverlayOrigin,
    ::testing::Values(OriginCase{"plain", QRect(0, 0, 1280, 800), QPoint(540, 720)},
                      // A bottom panel of 40 px, the screen right of another one.
                      OriginCase{"panel", QRect(1920, 0, 2560, 1400), QPoint(3100, 1320)},
                      OriginCase{"topPanel", QRect(0, 32, 1920, 1048), QPoint(860, 1000)},
                      OriginCase{"noScreen", QRect(0, 0, 0, 0), QPoint(-100, -80)}),
    [](const auto& info) { return std::string(info.param.name); });

struct ScreenChoiceCase
{
    const char* name;
    std::optional<QRect> focusedWindow;
    QPoint pointer;
    int screen; // index into the two screens below; -1: none
};

class OverlayScreenChoice : public ::testing::TestWithParam<ScreenChoiceCase>
{
};

// Two monitors: the primary on the left with a bottom panel, a larger one on its right with a
// top panel.
TEST_P(OverlayScreenChoice, FollowsTheFocusedWindowElseThePointer)
{
    using Screen = RecordingOverlayWindowController::ScreenArea;
    const QList<Screen> screens{{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040)},
                                {QRect(1920, 0, 2560, 1440), QRect(1920, 32, 2560, 1408)}};
    const ScreenChoiceCase& c = GetParam();
    EXPECT_EQ(
        RecordingOverlayWindowController::targetAvailableArea(c.focusedWindow, c.pointer, screens),
        screens[c.screen].available);
}

INSTANTIATE_TEST_SUITE_P(
    TwoScreens, OverlayScreenChoice,
    ::testing::Values(
        ScreenChoiceCase{"focusedRightPointerLeft", QRect(2200, 200, 800, 600), {100, 100}, 1},
        ScreenChoiceCase{"focusedLeftPointerRight", QRect(100, 100, 800, 600), {3000, 700}, 0},
        // Straddling the edge: the screen showing most of it.
        ScreenChoiceCase{"straddlingMostlyRight", QRect(1800, 100, 800, 600), {100, 100}, 1},
        ScreenChoiceCase{"straddlingMostlyLeft", QRect(1400, 100, 800, 600), {3000, 700}, 0},
        ScreenChoiceCase{"unknownFocusPointerRight", std::nullopt, {3000, 700}, 1},
        ScreenChoiceCase{"unknownFocusPointerLeft", std::nullopt, {10, 1070}, 0},
        ScreenChoiceCase{"focusedOffEveryScreen", QRect(-5000, 0, 300, 300), {3000, 700}, 1},
        // Below the left screen, beside the taller right one: on no screen, so the primary.
        ScreenChoiceCase{"nothingKnown", std::nullopt, {100, 1300}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OverlayScreenChoiceNoScreens, IsAnEmptyAreaAtTheOrigin)
{
    EXPECT_EQ(RecordingOverlayWindowController::targetAvailableArea(QRect(0, 0, 10, 10),
                                                                    QPoint(5, 5), {}),
              QRect(0, 0, 0, 0));
}

// Snapshot files.

TEST_F(OverlayFixture, SnapshotWritesThePillEvenWhileHidden)
{
    controller.starfieldView()->applyMode(Mode::Transcribing);
    now = 11.0;
    controller.starfieldView()->drawFrame();
    controller.starfieldView()->stopAnimating();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("transcribing.png"));
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("old");
    stale.close();

    EXPECT_EQ(controller.captureSnapshot(path), std::nullopt);
    const QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(200, 52) * controller.window()->devicePixelRatioF());
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_GT(qRed(image.pixel(100, 26)), 70); // the middle dot
}

TEST_F(OverlayFixture, SnapshotIntoAMissingDirectoryReportsTheFileSystemError)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/recording.png"));
    const Failure failure = controller.captureSnapshot(path);
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->message.startsWith(path + QStringLiteral(": ")))
        << failure->message.toStdString();
    EXPECT_GT(failure->message.size(), path.size() + 2);
    EXPECT_FALSE(QFile::exists(path));
}

TEST(RecordingOverlaySnapshot, KeepsThePixelRatioAndTheRoundedBackground)
{
    double now = 3.0;
    RecordingOverlayView view([&] { return now; });
    view.starfieldView()->applyMode(Mode::Recording);
    view.starfieldView()->stopAnimating();

    const Result<QImage> snapshot = view.renderSnapshot(2.0);
    ASSERT_TRUE(snapshot.ok()) << snapshot.error().message.toStdString();
    const QImage& image = snapshot.value();
    EXPECT_EQ(image.size(), QSize(400, 104));
    EXPECT_EQ(image.devicePixelRatio(), 2.0);

    // Corners outside the radius-26 capsule are clear; its inside is opaque.
    for (QPoint corner : {QPoint(0, 0), QPoint(399, 0), QPoint(0, 103), QPoint(399, 103),
                          QPoint(8, 8), QPoint(391, 95)})
        EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
    int nearBlack = 0, opaque = 0;
    for (int y = 0; y < 104; ++y)
        for (int x = 52; x < 348; ++x) {
            const QRgb px = image.pixel(x, y);
            opaque += qAlpha(px) == 255;
            nearBlack += qAlpha(px) == 255 && qRed(px) <= 8 && qBlue(px) <= 8;
        }
    EXPECT_EQ(opaque, 104 * 296);
    EXPECT_GT(nearBlack, 104 * 296 * 3 / 4);
}

// A back end that shows the pill on a surface of its own while it can (a layer surface).
class OwnSurfaceBackend : public OverlayWindowBackend
{
public:
    bool canShow = true;
    bool shown = false;
    int hides = 0;
    QWidget* drawnFrom = nullptr;

    void prepareToShow(QWidget*) override {}
    bool showOnOwnSurface(QWidget* window) override
    {
        drawnFrom = window;
        shown = canShow;
        return canShow;
    }
    void hideOwnSurface() override
    {
        ++hides;
        shown = false;
    }
    bool ownSurfaceShown() const override { return shown; }
};

TEST(OverlayOwnSurface, CarriesThePillWhileTheWidgetStaysHidden)
{
    auto owned = std::make_unique<OwnSurfaceBackend>();
    OwnSurfaceBackend* backend = owned.get();
    RecordingOverlayWindowController controller(std::move(owned));

    controller.render(DictationState::recording());
    EXPECT_TRUE(controller.isVisible());
    EXPECT_FALSE(controller.window()->isVisible()); // no second, ordinary window
    EXPECT_EQ(backend->drawnFrom, controller.window());
    EXPECT_TRUE(controller.starfieldView()->isAnimating());

    controller.render(DictationState::error(QStringLiteral("Transcript was empty")));
    EXPECT_FALSE(controller.isVisible());
    EXPECT_EQ(backend->hides, 1);
    EXPECT_FALSE(controller.starfieldView()->isAnimating());
}

TEST(OverlayOwnSurface, TheWidgetStandsInWhileTheSurfaceCannotBeShown)
{
    // The compositor connection lost: the pill must still be seen, and only once.
    auto owned = std::make_unique<OwnSurfaceBackend>();
    OwnSurfaceBackend* backend = owned.get();
    RecordingOverlayWindowController controller(std::move(owned));

    backend->canShow = false;
    controller.render(DictationState::recording());
    EXPECT_TRUE(controller.isVisible());
    EXPECT_TRUE(controller.window()->isVisible());

    backend->canShow = true;
    controller.render(DictationState::transcribing());
    EXPECT_TRUE(backend->shown);
    EXPECT_FALSE(controller.window()->isVisible());

    controller.render(DictationState::idle());
    EXPECT_FALSE(controller.isVisible());
}

} // namespace
