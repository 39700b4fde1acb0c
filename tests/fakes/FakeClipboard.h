#pragma once

#include "platform/ClipboardBackend.h"

// An in-memory clipboard whose counter rises like the real one: once per clear and per write.
class FakeClipboard : public ClipboardBackend
{
public:
    qint64 changeCount() const override { return count; }
    QList<ClipboardItem> items() const override { return contents; }
    void clearContents() override
    {
        contents.clear();
        ++count;
    }
    void setString(const QString& text) override
    {
        contents = {ClipboardItem{{QStringLiteral("text/plain"), text.toUtf8()}}};
        ++count;
    }
    void writeItems(const QList<ClipboardItem>& items) override
    {
        contents = items;
        ++count;
        ++writes;
    }

    // Another program taking the clipboard.
    void userCopies(const QString& text)
    {
        contents = {ClipboardItem{{QStringLiteral("text/plain"), text.toUtf8()}}};
        ++count;
    }

    QList<ClipboardItem> contents;
    qint64 count = 0;
    int writes = 0;
};
