#pragma once

#include "platform/ClipboardBackend.h"

#include <QObject>
#include <array>
#include <memory>

class QClipboard;

// The desktop clipboard and primary selection through QClipboard. The contents of each are
// one item with every format the owner offers; its change count rises on every `changed`,
// our own writes included. Reads by other applications are seen through `reads` when the
// platform offers a watch (X11).
class QtClipboard : public ClipboardBackend
{
public:
    explicit QtClipboard(QClipboard* clipboard, std::unique_ptr<ClipboardReadWatch> reads = {});
    ~QtClipboard() override;

    qint64 changeCount(Selection selection) const override;
    QList<ClipboardItem> items(Selection selection) const override;
    void clearContents(Selection selection) override;
    void writeItems(Selection selection, const QList<ClipboardItem>& items) override;
    void setTransientText(Selection selection, const QString& text) override;
    bool ownsSelection(Selection selection) const override;
    bool reportsReads() const override { return m_reads != nullptr; }

private:
    QClipboard* m_clipboard;
    std::unique_ptr<ClipboardReadWatch> m_reads;
    std::array<qint64, 2> m_counts{};
    QObject m_context; // scopes the `changed` connection to this object
};
