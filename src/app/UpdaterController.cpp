#include "app/UpdaterController.h"

#include "common/DebugLog.h"
#include "common/ErrorText.h"
#include "common/MainThreadTask.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

// Set on a reply that we abort because the feed outgrew its limit; a transfer timeout aborts
// with the same error code.
const char* const tooLargeProperty = "wendloFeedTooLarge";

bool isWebUrl(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

} // namespace

QUrl UpdaterController::feedUrl(const QProcessEnvironment& environment)
{
    const QString configured =
        environment.value(QStringLiteral("WENDLO_UPDATE_FEED_URL")).trimmed();
    if (!configured.isEmpty())
        return QUrl(configured);
    return builtInFeedUrl();
}

QUrl UpdaterController::builtInFeedUrl()
{
    return QUrl(QStringLiteral(WENDLO_UPDATE_FEED_URL));
}

Result<UpdaterController::Release> UpdaterController::parseFeed(const QByteArray& body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return QuorError{QStringLiteral("The update feed is not a valid JSON object.")};
    const QJsonObject feed = document.object();

    const QString versionText = feed.value(QStringLiteral("version")).toString().trimmed();
    qsizetype suffix = 0;
    const QVersionNumber version = QVersionNumber::fromString(versionText, &suffix);
    if (version.isNull() || suffix != versionText.size())
        return QuorError{QStringLiteral("The update feed has no valid version.")};

    // The page is opened in the user's browser: only web links are accepted.
    const QUrl page(feed.value(QStringLiteral("url")).toString().trimmed(), QUrl::StrictMode);
    if (!isWebUrl(page))
        return QuorError{QStringLiteral("The update feed has no valid download page.")};
    return Release{version, page};
}

UpdaterController::UpdaterController(QUrl feedUrl, QVersionNumber currentVersion,
                                     std::unique_ptr<UpdateNotifier> notifier, QObject* parent)
    : QObject(parent), m_feedUrl(std::move(feedUrl)), m_currentVersion(std::move(currentVersion)),
      m_notifier(std::move(notifier))
{
    m_daily.setInterval(automaticIntervalMs);
    connect(&m_daily, &QTimer::timeout, this, &UpdaterController::checkAutomatically);
    if (m_feedUrl.isEmpty()) {
        DebugLog::write(QStringLiteral("update checks off: no update feed configured"));
        return;
    }
    m_daily.start();
    postTask(this, [this] { checkAutomatically(); });
}

UpdaterController::~UpdaterController() = default;

void UpdaterController::checkForUpdates()
{
    check(true);
}

void UpdaterController::checkAutomatically()
{
    check(false);
}

void UpdaterController::check(bool userInitiated)
{
    if (m_feedUrl.isEmpty()) {
        // Not a failure: a packaged build is updated by the distribution's package manager.
        DebugLog::write(QStringLiteral("update check skipped: no update feed configured"));
        if (userInitiated)
            m_notifier->showNoUpdateSource();
        return;
    }
    if (!isWebUrl(m_feedUrl)) {
        fail(QStringLiteral("The update feed address is not a web address: %1")
                 .arg(m_feedUrl.toDisplayString()),
             userInitiated);
        return;
    }

    QNetworkRequest request(m_feedUrl);
    request.setTransferTimeout(m_transferTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = m_network.get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maximumFeedBytes) {
            reply->setProperty(tooLargeProperty, true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, userInitiated] { finish(reply, userInitiated); });
}

void UpdaterController::finish(QNetworkReply* reply, bool userInitiated)
{
    reply->deleteLater();
    if (reply->property(tooLargeProperty).toBool()) {
        fail(QStringLiteral("The update feed is larger than expected."), userInitiated);
        return;
    }
    if (reply->error() == QNetworkReply::OperationCanceledError) {
        fail(QStringLiteral("The update server did not answer in time."), userInitiated);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        fail(QStringLiteral("The update server could not be reached: %1").arg(reply->errorString()),
             userInitiated);
        return;
    }

    const Result<Release> release = parseFeed(reply->read(maximumFeedBytes));
    if (!release) {
        fail(release.error().message, userInitiated);
        return;
    }

    const QString newest = release.value().version.toString();
    const QString current = m_currentVersion.toString();
    if (release.value().version > m_currentVersion) {
        DebugLog::write(QStringLiteral("update available version=") + newest);
        if (userInitiated || !m_announced.contains(newest)) {
            m_announced.insert(newest);
            m_notifier->showUpdateAvailable(newest, current, release.value().downloadPage);
        }
        return;
    }
    DebugLog::write(QStringLiteral("update check: up to date version=") + current);
    if (userInitiated)
        m_notifier->showUpToDate(current);
}

void UpdaterController::fail(const QString& reason, bool userInitiated)
{
    DebugLog::write(QStringLiteral("update check failed: ") + reason);
    if (userInitiated)
        m_notifier->showCheckFailed(ErrorText::forDisplay(reason));
}
