#include "dictation/ClipboardSnapshot.h"

ClipboardSnapshot::ClipboardSnapshot(const ClipboardBackend& clipboard, Selection selection)
    : m_selection(selection), m_originalChangeCount(clipboard.changeCount(selection))
{
    // The count is read before the items so that a change racing the read shows.
    const QList<ClipboardItem> current = clipboard.items(selection);
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

bool ClipboardSnapshot::restoreIfSafe(ClipboardBackend& clipboard, const QString& transient) const
{
    // The change count alone cannot tell: a manager that copies the transcript and takes
    // the selection over moves it as much as a program writing something new. What is
    // there now decides; anything but our text was put there by someone and stays.
    if (clipboard.changeCount(m_selection) == m_originalChangeCount)
        return false; // our write never happened, so nothing of ours is there
    if (plainText(clipboard.items(m_selection)) != transient)
        return false;
    if (m_items.isEmpty())
        clipboard.clearContents(m_selection);
    else
        clipboard.writeItems(m_selection, m_items);
    return true;
}
