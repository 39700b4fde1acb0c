#pragma once

#include "platform/ClipboardBackend.h"

// The clipboard's contents saved before a paste, put back only when nobody else wrote since.
class PasteboardSnapshot
{
public:
    explicit PasteboardSnapshot(const ClipboardBackend& pasteboard);

    void restoreIfSafe(ClipboardBackend& pasteboard) const;

    const QList<ClipboardItem>& items() const { return m_items; }
    qint64 originalChangeCount() const { return m_originalChangeCount; }

private:
    QList<ClipboardItem> m_items;
    qint64 m_originalChangeCount = 0;
};
