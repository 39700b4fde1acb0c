#include "dictation/PasteboardSnapshot.h"

PasteboardSnapshot::PasteboardSnapshot(const ClipboardBackend& pasteboard)
    : m_originalChangeCount(pasteboard.changeCount())
{
    // The count is read before the items so that a change racing the read makes the restore
    // step aside rather than put back a half-read clipboard.
    const QList<ClipboardItem> current = pasteboard.items();
    m_items.reserve(current.size());
    for (const ClipboardItem& item : current) {
        ClipboardItem copy;
        for (auto it = item.cbegin(); it != item.cend(); ++it) {
            if (!it.value().isNull())
                copy.insert(it.key(), it.value());
        }
        m_items.append(copy);
    }
}

void PasteboardSnapshot::restoreIfSafe(ClipboardBackend& pasteboard) const
{
    // Our own clear and string write account for one or two changes, depending on how the
    // clipboard counts them; anything more means someone else wrote and their contents win.
    if (pasteboard.changeCount() != m_originalChangeCount + 2 &&
        pasteboard.changeCount() != m_originalChangeCount + 1)
        return;
    pasteboard.clearContents();
    if (m_items.isEmpty())
        return;
    pasteboard.writeItems(m_items);
}
