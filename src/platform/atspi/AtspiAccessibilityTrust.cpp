#include "platform/atspi/AtspiAccessibilityTrust.h"

#include "common/DebugLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

QDBusMessage statusCall(const QString& method)
{
    return QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), method);
}

} // namespace

bool AtspiAccessibilityTrust::isTrusted()
{
    QDBusMessage get = statusCall(QStringLiteral("Get"));
    get << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, m_timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

bool AtspiAccessibilityTrust::isTrustedWithPrompt()
{
    if (isTrusted())
        return true;
    QDBusMessage set = statusCall(QStringLiteral("Set"));
    set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
        << QVariant::fromValue(QDBusVariant(true));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(set, QDBus::Block, m_timeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        DebugLog::write(QStringLiteral("could not enable accessibility: ") + reply.errorMessage());
    return isTrusted();
}
