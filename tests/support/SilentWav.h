#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>

// A WAV file of silence in the recorder's format: 16 kHz, mono, signed 16-bit.
inline QByteArray silentWav(quint32 samples = 16000)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples * 2);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(16000) << quint32(32000) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(samples * 2);
    bytes.append(QByteArray(samples * 2, '\0'));
    return bytes;
}
