#include "overlay/RecordingOverlayView.h"

#include "common/PngSnapshot.h"
#include "overlay/StarfieldPillView.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

QuorError failure(const char* message)
{
    return QuorError{QString::fromUtf8(message)};
}

} // namespace

RecordingOverlayView::RecordingOverlayView(std::function<double()> clock, QWidget* parent)
    : QWidget(parent), m_starfieldView(new StarfieldPillView(std::move(clock), this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(pillWidth, pillHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_starfieldView);
}

RecordingOverlayView::~RecordingOverlayView() = default;

Result<QImage> RecordingOverlayView::renderSnapshot(qreal devicePixelRatio) const
{
    // Hidden windows have not been laid out yet.
    layout()->activate();

    const QSize pixels = (QSizeF(size()) * devicePixelRatio).toSize();
    QImage cached(pixels, QImage::Format_ARGB32_Premultiplied);
    if (cached.isNull())
        return failure("Could not create overlay snapshot bitmap");
    cached.setDevicePixelRatio(devicePixelRatio);
    cached.fill(Qt::transparent);
    {
        QPainter painter(&cached);
        painter.translate(m_starfieldView->pos());
        m_starfieldView->paintPill(painter);
    }

    QImage surface(pixels, QImage::Format_ARGB32_Premultiplied);
    if (surface.isNull())
        return failure("Could not create overlay snapshot surface");
    surface.setDevicePixelRatio(devicePixelRatio);
    surface.fill(Qt::transparent);

    QPainter painter;
    if (!painter.begin(&surface))
        return failure("Could not create overlay snapshot context");
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(QPointF(0, 0), QSizeF(size()));
    QPainterPath background;
    background.addRoundedRect(bounds, 26, 26);
    painter.fillPath(background, QColor::fromRgbF(0.02f, 0.02f, 0.02f, 1));
    // Only where the background is: keeps the corners transparent, with soft edges.
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.drawImage(bounds, cached);
    painter.end();
    return surface;
}

Failure RecordingOverlayView::captureSnapshot(const QString& filePath) const
{
    Result<QImage> image = renderSnapshot(devicePixelRatioF());
    if (!image)
        return image.error();

    return PngSnapshot::write(image.value(), filePath,
                              QStringLiteral("Could not encode overlay snapshot"));
}
