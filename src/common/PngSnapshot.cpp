#include "common/PngSnapshot.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

namespace PngSnapshot {

Failure write(const QImage& image, const QString& filePath, const QString& encodeFailure)
{
    // Encoded in memory first, so a failed encoding leaves an earlier snapshot in place.
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly))
        return QuorError{encodeFailure};
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return QuorError{encodeFailure};

    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit())
        return QuorError{filePath + QStringLiteral(": ") + file.errorString()};
    return std::nullopt;
}

} // namespace PngSnapshot
