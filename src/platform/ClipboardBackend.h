#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>
#include <optional>

// One clipboard item: MIME type to bytes.
using ClipboardItem = QMap<QString, QByteArray>;

// The two selections a paste can read: the clipboard, and the primary selection that X11
// terminals and editors paste on Shift+Insert or a middle click.
enum class Selection
{
    Clipboard,
    Primary
};

// The desktop clipboard with a change counter per selection that rises on every change of
// owner or contents, our own writes included.
class ClipboardBackend
{
public:
    virtual ~ClipboardBackend() = default;

    virtual qint64 changeCount(Selection selection) const = 0;
    virtual QList<ClipboardItem> items(Selection selection) const = 0;
    virtual void clearContents(Selection selection) = 0;
    virtual void writeItems(Selection selection, const QList<ClipboardItem>& items) = 0;
    // Puts `text` there for a moment, marked so clipboard managers keep it out of their
    // history (it is dictated text on its way into a field, not something the user copied).
    virtual void setTransientText(Selection selection, const QString& text) = 0;
    // Whether this process still owns the selection.
    virtual bool ownsSelection(Selection selection) const = 0;

    // Whether onContentsRead is ever called: only then can a paste be seen to arrive.
    virtual bool reportsReads() const = 0;
    // Why this session lets no application take the selections (a desktop that keeps the
    // clipboard from windowless clients); nothing where it may.
    virtual std::optional<QString> unavailableReason() const { return std::nullopt; }
    // Called when another application asks for the contents (not just the list of formats
    // or the history hint) of a selection this process owns.
    std::function<void(Selection)> onContentsRead;
};

// The plain text of a clipboard item, if it has any. Wayland owners may offer it only as
// UTF-8 by name.
inline std::optional<QString> plainText(const QList<ClipboardItem>& items)
{
    for (const char* type : {"text/plain", "text/plain;charset=utf-8"}) {
        for (const ClipboardItem& item : items) {
            const auto it = item.constFind(QLatin1String(type));
            if (it != item.cend())
                return QString::fromUtf8(*it);
        }
    }
    return std::nullopt;
}

// Tells when another application asks for the contents of a selection this process owns.
class ClipboardReadWatch
{
public:
    virtual ~ClipboardReadWatch() = default;

    std::function<void(Selection)> onRead;
};
