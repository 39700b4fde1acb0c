#pragma once

#include "common/QuorError.h"

#include <QString>

class QImage;

// Writes UI snapshots for the preview mode.
namespace PngSnapshot {

// `image` as PNG at `filePath`, replacing a file there only once the whole image is written.
// Fails with `encodeFailure` when the image cannot be encoded, or with the path and the file
// system's own error.
Failure write(const QImage& image, const QString& filePath, const QString& encodeFailure);

} // namespace PngSnapshot
