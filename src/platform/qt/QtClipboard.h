#pragma once

#include "platform/ClipboardBackend.h"

#include <QObject>

class QClipboard;

// The desktop clipboard (not the primary selection) through QClipboard. The contents are one
// item with every format the owner offers; the change count rises on every dataChanged,
// our own writes included.
class QtClipboard : public ClipboardBackend
{
public:
    explicit QtClipboard(QClipboard* clipboard);

    qint64 changeCount() const override { return m_count; }
    QList<ClipboardItem> items() const override;
    void clearContents() override;
    void setString(const QString& text) override;
    void writeItems(const QList<ClipboardItem>& items) override;

private:
    QClipboard* m_clipboard;
    qint64 m_count = 0;
    QObject m_context; // scopes the dataChanged connection to this object
};
