#include "overlay/RecordingOverlayWindowController.h"

#include "overlay/RecordingOverlayView.h"
#include "overlay/StarfieldPillView.h"
#include "platform/OverlayWindowBackend.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace {

constexpr int bottomGap = 28;

// The screen under the pointer, else the primary one, else the first; none without screens.
QRect targetAvailableArea()
{
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen && !QGuiApplication::screens().isEmpty())
        screen = QGuiApplication::screens().constFirst();
    return screen ? screen->availableGeometry() : QRect(0, 0, 0, 0);
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
    return m_overlayView->isVisible();
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

void RecordingOverlayWindowController::position()
{
    m_overlayView->move(originFor(targetAvailableArea(), m_overlayView->size()));
}

void RecordingOverlayWindowController::orderFront()
{
    if (m_backend)
        m_backend->prepareToShow(m_overlayView.get());
    m_overlayView->show();
    m_overlayView->raise();
}
