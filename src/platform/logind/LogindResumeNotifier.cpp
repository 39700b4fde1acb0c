#include "platform/logind/LogindResumeNotifier.h"

#include <utility>

LogindResumeNotifier::LogindResumeNotifier(QDBusConnection bus, QObject* parent) : QObject(parent)
{
    m_listening = bus.isConnected() &&
                  bus.connect(QStringLiteral("org.freedesktop.login1"),
                              QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"),
                              QStringLiteral("PrepareForSleep"), this,
                              SLOT(prepareForSleep(bool)));
}

void LogindResumeNotifier::setOnResumed(std::function<void()> onResumed)
{
    m_onResumed = std::move(onResumed);
}

void LogindResumeNotifier::prepareForSleep(bool start)
{
    if (!start && m_onResumed)
        m_onResumed();
}
