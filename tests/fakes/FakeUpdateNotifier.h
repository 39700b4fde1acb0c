#pragma once

#include "app/UpdateNotifier.h"

#include <QStringList>

// Records what the update check told the user, one line per message.
class FakeUpdateNotifier : public UpdateNotifier
{
public:
    void showUpToDate(const QString& currentVersion) override
    {
        messages << "up to date " + currentVersion;
    }
    void showUpdateAvailable(const QString& newVersion, const QString& currentVersion,
                             const QUrl& downloadPage) override
    {
        messages << "available " + newVersion + " over " + currentVersion + " at " +
                        downloadPage.toString();
    }
    void showCheckFailed(const QString& reason) override { messages << "failed: " + reason; }
    void showNoUpdateSource() override { messages << "no update source"; }

    QStringList messages;
};
