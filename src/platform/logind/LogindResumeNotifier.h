#pragma once

#include "platform/ResumeNotifier.h"

#include <QDBusConnection>
#include <QObject>

// logind's PrepareForSleep(false) on the system bus, sent once the machine is awake again.
// Without a system bus or logind nothing is ever reported.
class LogindResumeNotifier : public QObject, public ResumeNotifier
{
    Q_OBJECT

public:
    explicit LogindResumeNotifier(QDBusConnection bus = QDBusConnection::systemBus(),
                                  QObject* parent = nullptr);

    void setOnResumed(std::function<void()> onResumed) override;
    // Whether the bus accepted the subscription.
    bool isListening() const { return m_listening; }

private Q_SLOTS:
    void prepareForSleep(bool start);

private:
    std::function<void()> m_onResumed;
    bool m_listening = false;
};
