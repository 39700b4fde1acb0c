#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>
#include <algorithm>

// Seconds of 16 kHz mono 16-bit audio in the WAV at `path`, from its data chunk (what is
// really there when a streaming writer left a larger size); -1 when it is no such file.
inline double wavSeconds(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (bytes.mid(at, 4) == "data")
            return std::min<qsizetype>(size, bytes.size() - at - 8) / 2 / 16000.0;
        at += 8 + size + (size & 1);
    }
    return -1;
}
