#pragma once

#include "platform/ClipboardBackend.h"

#include <array>

// An in-memory clipboard and primary selection whose counters rise like the real ones: once
// per write or clear. Control face: other programs copying, a clipboard manager taking a
// selection over, and a target application reading one.
class FakeClipboard : public ClipboardBackend
{
public:
    static inline const QString hint = QStringLiteral("x-kde-passwordManagerHint");

    struct Board
    {
        QList<ClipboardItem> contents;
        qint64 count = 0;
        bool owned = false;
        int writes = 0; // restores: writeItems calls
    };

    qint64 changeCount(Selection s) const override { return at(s).count; }
    QList<ClipboardItem> items(Selection s) const override { return at(s).contents; }
    void clearContents(Selection s) override
    {
        Board& b = at(s);
        b.contents.clear();
        b.owned = false;
        ++b.count;
    }
    void writeItems(Selection s, const QList<ClipboardItem>& items) override
    {
        Board& b = at(s);
        b.contents = items;
        b.owned = true;
        ++b.count;
        ++b.writes;
    }
    void setTransientText(Selection s, const QString& text) override
    {
        Board& b = at(s);
        b.contents = {ClipboardItem{{QStringLiteral("text/plain"), text.toUtf8()},
                                    {hint, QByteArrayLiteral("secret")}}};
        b.owned = true;
        ++b.count;
        ++transientWrites;
    }
    bool ownsSelection(Selection s) const override { return at(s).owned; }
    bool reportsReads() const override { return reads; }
    std::optional<QString> unavailableReason() const override { return unavailable; }

    // Another program taking the selection.
    void userCopies(const QString& text, Selection s = Selection::Clipboard)
    {
        Board& b = at(s);
        b.contents = {ClipboardItem{{QStringLiteral("text/plain"), text.toUtf8()}}};
        b.owned = false;
        ++b.count;
    }
    // A clipboard manager that copies what is there and serves it itself.
    void managerTakesOver(Selection s = Selection::Clipboard)
    {
        Board& b = at(s);
        b.owned = false;
        ++b.count;
    }
    // An application reading the selection's contents (as a paste does).
    void targetReads(Selection s = Selection::Clipboard)
    {
        if (at(s).owned && onContentsRead)
            onContentsRead(s);
    }

    Board& at(Selection s) { return boards[s == Selection::Primary]; }
    const Board& at(Selection s) const { return boards[s == Selection::Primary]; }
    Board& clipboard() { return at(Selection::Clipboard); }
    Board& primary() { return at(Selection::Primary); }

    std::array<Board, 2> boards;
    bool reads = true;
    std::optional<QString> unavailable; // a desktop that keeps the clipboard from us
    int transientWrites = 0;
};
