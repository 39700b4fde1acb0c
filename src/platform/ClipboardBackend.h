#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// One clipboard item: MIME type to bytes.
using ClipboardItem = QMap<QString, QByteArray>;

// The desktop clipboard with a change counter that rises on every change of owner or
// contents, our own writes included.
class ClipboardBackend
{
public:
    virtual ~ClipboardBackend() = default;

    virtual qint64 changeCount() const = 0;
    virtual QList<ClipboardItem> items() const = 0;
    virtual void clearContents() = 0;
    virtual void setString(const QString& text) = 0;
    virtual void writeItems(const QList<ClipboardItem>& items) = 0;
};
