#include "overlay/RecordingOverlayWindowController.h"

#include "overlay/RecordingOverlayView.h"
#include "overlay/StarfieldPillView.h"
#include "platform/OverlayWindowBackend.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace {

constexpr int bottomGap = 28;

// Qt's screens in the placement's terms; the primary screen comes first.
QList<RecordingOverlayWindowController::ScreenArea> currentScreens()
{
    QList<RecordingOverlayWindowController::ScreenArea> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas.append({screen->geometry(), screen->availableGeometry()});
    return areas;
}

qint64 overlapArea(const QRect& a, const QRect& b)
{
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

} // namespace

RecordingOverlayWindowController::RecordingOverlayWindowController(
    std::unique_ptr<OverlayWindowBackend> backend, std::function<double()> clock, QObject* parent)
    : QObject(parent), m_backend(std::move(backend)),
      m_overlayView(std::make_unique<RecordingOverlayView>(std::move(clock)))
{
    m_overlayView->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                  Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                                  Qt::BypassWindowManagerHint);
    m_overlayView->setAttribute(Qt::WA_ShowWithoutActivating);
    m_overlayView->setAttribute(Qt::WA_X11DoNotAcceptFocus);
    m_overlayView->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_overlayView->setWindowTitle(QStringLiteral("Wendlo"));
}

RecordingOverlayWindowController::~RecordingOverlayWindowController() = default;

void RecordingOverlayWindowController::render(const DictationState& state)
{
    StarfieldPillView* pill = m_overlayView->starfieldView();
    switch (state.kind) {
    case DictationState::Kind::Recording:
    case DictationState::Kind::Transcribing:
        pill->stopPreviewLoop();
        pill->applyMode(state.isRecording() ? StarfieldPillView::Mode::Recording
                                            : StarfieldPillView::Mode::Transcribing);
        position();
        orderFront();
        break;
    case DictationState::Kind::Idle:
    case DictationState::Kind::Error:
        pill->stopAnimating();
        if (m_backend)
            m_backend->hideOwnSurface();
        m_overlayView->hide();
        break;
    }
}

void RecordingOverlayWindowController::showPreviewLoop()
{
    m_overlayView->starfieldView()->startPreviewLoop();
    position();
    orderFront();
}

Failure RecordingOverlayWindowController::captureSnapshot(const QString& filePath)
{
    return m_overlayView->captureSnapshot(filePath);
}

bool RecordingOverlayWindowController::isVisible() const
{
    return m_overlayView->isVisible() || (m_backend && m_backend->ownSurfaceShown());
}

QWidget* RecordingOverlayWindowController::window() const
{
    return m_overlayView.get();
}

StarfieldPillView* RecordingOverlayWindowController::starfieldView() const
{
    return m_overlayView->starfieldView();
}

QPoint RecordingOverlayWindowController::originFor(const QRect& availableArea,
                                                   const QSize& windowSize)
{
    // Qt's y grows downwards: the bottom edge sits `bottomGap` above the area's bottom.
    const int bottom = availableArea.y() + availableArea.height();
    const int centreX = availableArea.x() + availableArea.width() / 2;
    return {centreX - windowSize.width() / 2, bottom - bottomGap - windowSize.height()};
}

QRect RecordingOverlayWindowController::targetAvailableArea(
    const std::optional<QRect>& focusedWindow, const QPoint& pointer,
    const QList<ScreenArea>& screens)
{
    if (screens.isEmpty())
        return {0, 0, 0, 0};
    if (focusedWindow) {
        // The screen that shows most of the window; a window wholly off every screen says
        // nothing about where the user looks.
        const ScreenArea* best = nullptr;
        qint64 bestOverlap = 0;
        for (const ScreenArea& screen : screens) {
            const qint64 overlap = overlapArea(screen.geometry, *focusedWindow);
            if (overlap > bestOverlap) {
                best = &screen;
                bestOverlap = overlap;
            }
        }
        if (best)
            return best->available;
    }
    for (const ScreenArea& screen : screens) {
        if (screen.geometry.contains(pointer))
            return screen.available;
    }
    return screens.constFirst().available;
}

void RecordingOverlayWindowController::position()
{
    const std::optional<QRect> focused =
        m_backend ? m_backend->activeWindowFrame() : std::optional<QRect>();
    const QRect area = targetAvailableArea(focused, QCursor::pos(), currentScreens());
    m_overlayView->move(originFor(area, m_overlayView->size()));
}

void RecordingOverlayWindowController::orderFront()
{
    if (m_backend && !m_backend->canShow())
        return;
    if (m_backend) {
        m_backend->prepareToShow(m_overlayView.get());
        if (m_backend->showOnOwnSurface(m_overlayView.get())) {
            m_overlayView->hide();
            return;
        }
    }
    m_overlayView->show();
    m_overlayView->raise();
}
