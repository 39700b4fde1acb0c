#pragma once

// The stand-in remote-desktop portal (apps/remote-desktop-portal.py) on the private session
// bus, owning the portal's name for as long as it lives.
#include "support/Wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QRegularExpression>

class RemoteDesktopPortal
{
public:
    explicit RemoteDesktopPortal(const QStringList& arguments = {})
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start("/usr/bin/python3", QStringList{WENDLO_REMOTE_DESKTOP_PORTAL} + arguments);
    }
    ~RemoteDesktopPortal()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
        // The name must be gone before the next test asks for the portal.
        waitUntil([] { return !owned(); }, 5000);
    }

    static bool owned()
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(
            "org.freedesktop.portal.Desktop");
    }
    bool started() { return m_process.waitForStarted(5000) && waitUntil(owned, 10000); }

    bool call(const QString& method, const QVariantList& arguments = {})
    {
        return invoke(method, arguments).type() == QDBusMessage::ReplyMessage;
    }
    QStringList calls()
    {
        const QDBusReply<QStringList> reply = invoke("Calls", {});
        return reply.isValid() ? reply.value() : QStringList{"(no answer)"};
    }
    QStringList keys() { return calls().filter(QRegularExpression("^Keysym ")); }

private:
    static QDBusMessage invoke(const QString& method, const QVariantList& arguments)
    {
        QDBusInterface control("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                               "org.wendlo.test.RemoteDesktopPortal");
        return control.callWithArgumentList(QDBus::Block, method, arguments);
    }

    QProcess m_process;
};
