#pragma once

#include "platform/ClipboardBackend.h"

// A selection's contents saved before a paste, put back afterwards unless another program
// has put something else there meanwhile.
class ClipboardSnapshot
{
public:
    explicit ClipboardSnapshot(const ClipboardBackend& clipboard,
                               Selection selection = Selection::Clipboard);

    // Restores the saved contents when the selection still holds `transient` (the text the
    // paste put there), whoever owns it now: a clipboard manager may have taken it over.
    // Returns whether it restored.
    bool restoreIfSafe(ClipboardBackend& clipboard, const QString& transient) const;

    Selection selection() const { return m_selection; }
    const QList<ClipboardItem>& items() const { return m_items; }
    qint64 originalChangeCount() const { return m_originalChangeCount; }

private:
    Selection m_selection;
    QList<ClipboardItem> m_items;
    qint64 m_originalChangeCount = 0;
};
