#pragma once

#include "common/QuorError.h"

#include <QImage>
#include <QWidget>
#include <functional>

class StarfieldPillView;

// The overlay window's content: exactly 200 × 52, filled by the pill.
class RecordingOverlayView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int pillWidth = 200;
    static constexpr int pillHeight = 52;

    explicit RecordingOverlayView(std::function<double()> clock = {}, QWidget* parent = nullptr);
    ~RecordingOverlayView() override;

    StarfieldPillView* starfieldView() const { return m_starfieldView; }

    // The pill's current frame at `devicePixelRatio` on a near-black rounded background
    // (radius 26) with transparent corners.
    Result<QImage> renderSnapshot(qreal devicePixelRatio) const;
    // renderSnapshot at the window's pixel ratio, written as PNG to `filePath` (replaced).
    Failure captureSnapshot(const QString& filePath) const;

private:
    StarfieldPillView* m_starfieldView; // child
};
