#pragma once

#include <QString>
#include <QUrl>

// How the update check talks to the user. Each call returns at once (no modal loops).
class UpdateNotifier
{
public:
    virtual ~UpdateNotifier() = default;

    virtual void showUpToDate(const QString& currentVersion) = 0;
    // A newer release, with a way to open its download page.
    virtual void showUpdateAvailable(const QString& newVersion, const QString& currentVersion,
                                     const QUrl& downloadPage) = 0;
    virtual void showCheckFailed(const QString& reason) = 0;
    // The build has no update feed: the distribution's package manager updates it.
    virtual void showNoUpdateSource() = 0;
};
