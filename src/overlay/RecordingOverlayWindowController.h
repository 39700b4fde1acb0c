#pragma once

#include "dictation/DictationState.h"
#include "common/QuorError.h"
#include "platform/OverlayWindowBackend.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class RecordingOverlayView;
class StarfieldPillView;
class QWidget;

// The floating 200 × 52 window that carries the pill while recording and transcribing.
// It never takes focus or clicks. Main thread only.
class RecordingOverlayWindowController : public QObject
{
    Q_OBJECT

public:
    // `backend` adds the desktop's window states before each show; without one the window
    // relies on Qt's window flags alone. `clock` gives the pill's animation time in seconds
    // (a monotonic clock when empty).
    explicit RecordingOverlayWindowController(std::unique_ptr<OverlayWindowBackend> backend = {},
                                              std::function<double()> clock = {},
                                              QObject* parent = nullptr);
    ~RecordingOverlayWindowController() override;

    // Shows the pill for recording and transcribing, hides it for idle and error.
    void render(const DictationState& state);

    // Preview only: the pill's 2.2 s demonstration loop, starting in recording, shown.
    void showPreviewLoop();

    // Writes a PNG of the pill (200 × 52 times the device pixel ratio) on a near-black
    // rounded background with transparent corners. Works while hidden. Fails with one of the
    // snapshot messages or the file system's own write error.
    Failure captureSnapshot(const QString& filePath);

    bool isVisible() const;
    QWidget* window() const;
    StarfieldPillView* starfieldView() const;

    // Top-left corner of a window of `windowSize` centred on `availableArea`, its bottom edge
    // 28 px above the area's bottom.
    static QPoint originFor(const QRect& availableArea, const QSize& windowSize);

    // A screen as the pill's placement sees it: its whole area and the part left free by
    // panels, in Qt's logical desktop coordinates.
    struct ScreenArea
    {
        QRect geometry;
        QRect available;
    };

    // The available area of the screen the pill belongs on: the one holding most of the
    // focused window when that is known, else the one under the pointer, else the first
    // (primary) screen; an empty rectangle at the origin without screens.
    static QRect targetAvailableArea(const std::optional<QRect>& focusedWindow,
                                     const QPoint& pointer, const QList<ScreenArea>& screens);

private:
    void position();
    void orderFront();

    std::unique_ptr<OverlayWindowBackend> m_backend;
    std::unique_ptr<RecordingOverlayView> m_overlayView; // the window itself
};
