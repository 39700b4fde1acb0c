#pragma once

#include "app/UpdateNotifier.h"
#include "common/QuorError.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QProcessEnvironment>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QVersionNumber>
#include <memory>

class QNetworkReply;

// Checks a small JSON feed for a newer release: {"version": "1.2.0", "url": "https://…"}.
// Checks run by themselves at start and daily, and when the user asks. Automatic checks only
// speak up when a release is newer (once per version); a check the user asked for always
// answers: up to date, the new version with its page, or why it failed.
class UpdaterController : public QObject
{
    Q_OBJECT

public:
    struct Release
    {
        QVersionNumber version;
        QUrl downloadPage;
    };

    static constexpr int automaticIntervalMs = 24 * 60 * 60 * 1000;
    static constexpr qint64 maximumFeedBytes = 64 * 1024;

    // WENDLO_UPDATE_FEED_URL when set and not blank, else the URL built in.
    static QUrl feedUrl(const QProcessEnvironment& environment);
    // The feed given at build time; empty (no update checks) unless the build was configured
    // with one.
    static QUrl builtInFeedUrl();
    static Result<Release> parseFeed(const QByteArray& body);

    // Starts automatic checking: one check right after construction, then daily. An empty
    // `feedUrl` means the build has no feed: nothing is ever requested, and a user check
    // answers that updates come from elsewhere.
    UpdaterController(QUrl feedUrl, QVersionNumber currentVersion,
                      std::unique_ptr<UpdateNotifier> notifier, QObject* parent = nullptr);
    ~UpdaterController() override;

    // The menu's check.
    void checkForUpdates();
    void checkAutomatically();

    // How long a check may receive nothing before it gives up (15 s unless set).
    void setTransferTimeout(int milliseconds) { m_transferTimeoutMs = milliseconds; }

    const QUrl& url() const { return m_feedUrl; }
    bool isScheduled() const { return m_daily.isActive(); }

private:
    void check(bool userInitiated);
    void finish(QNetworkReply* reply, bool userInitiated);
    void fail(const QString& reason, bool userInitiated);

    QUrl m_feedUrl;
    QVersionNumber m_currentVersion;
    int m_transferTimeoutMs = 15000;
    std::unique_ptr<UpdateNotifier> m_notifier;
    QNetworkAccessManager m_network;
    QTimer m_daily;
    QSet<QString> m_announced;
};
