#include "platform/PortalRequests.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace Portal {

QString pathText(const QVariant& value)
{
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

QVariantMap vardict(const QVariant& value)
{
    if (value.canConvert<QDBusArgument>()) {
        QVariantMap map;
        value.value<QDBusArgument>() >> map;
        return map;
    }
    return value.toMap();
}

} // namespace Portal

PortalRequests::PortalRequests(QDBusConnection bus, QString tokenPrefix, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_tokenPrefix(std::move(tokenPrefix))
{
}

QString PortalRequests::nextToken()
{
    return QStringLiteral("%1%2_%3")
        .arg(m_tokenPrefix)
        .arg(QCoreApplication::applicationPid())
        .arg(++m_tokens);
}

void PortalRequests::send(const QDBusMessage& call, const QString& token, Handler handler)
{
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString expected =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    watch(expected, std::move(handler));

    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, expected] {
        watcher->deleteLater();
        if (!m_pending.contains(expected))
            return;
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError()) {
            if (Handler handler = take(expected)) {
                Answer failed;
                failed.callError = reply.error().message();
                handler(failed);
            }
            return;
        }
        if (const QString actual = reply.value().path(); actual != expected)
            watch(actual, take(expected));
    });
}

void PortalRequests::cancelAll()
{
    for (const QString& requestPath : m_pending.keys())
        take(requestPath);
}

void PortalRequests::watch(const QString& requestPath, Handler handler)
{
    m_pending.insert(requestPath, std::move(handler));
    m_bus.connect(Portal::service, requestPath, Portal::requestInterface,
                  QStringLiteral("Response"), this, SLOT(handleResponse(QDBusMessage)));
}

PortalRequests::Handler PortalRequests::take(const QString& requestPath)
{
    const auto found = m_pending.find(requestPath);
    if (found == m_pending.end())
        return {};
    Handler handler = std::move(*found);
    m_pending.erase(found);
    m_bus.disconnect(Portal::service, requestPath, Portal::requestInterface,
                     QStringLiteral("Response"), this, SLOT(handleResponse(QDBusMessage)));
    return handler;
}

void PortalRequests::handleResponse(const QDBusMessage& message)
{
    const Handler handler = take(message.path());
    if (!handler)
        return;
    const QList<QVariant> arguments = message.arguments();
    Answer answer;
    answer.answered = arguments.size() >= 2;
    answer.response = arguments.value(0).toUInt();
    answer.results = Portal::vardict(arguments.value(1));
    handler(answer);
}
