// The resume notice from logind, on the private desktop's session bus standing in for the
// system bus, with this test owning logind's name.
#include "platform/logind/LogindResumeNotifier.h"
#include "support/Wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <gtest/gtest.h>

namespace {

void sendPrepareForSleep(const QDBusConnection& logind, bool start)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                     QStringLiteral("org.freedesktop.login1.Manager"),
                                                     QStringLiteral("PrepareForSleep"));
    signal << start;
    ASSERT_TRUE(logind.send(signal));
}

TEST(LogindResumeIntegration, OnlyTheWakeUpIsReportedAndOnlyFromLogind)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        GTEST_SKIP() << "no session bus (run it inside desktop-session)";
    QDBusConnection logind = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "logind");
    QDBusConnection impostor = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "other");
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));

    LogindResumeNotifier notifier(bus);
    ASSERT_TRUE(notifier.isListening());
    int resumed = 0;
    notifier.setOnResumed([&] { ++resumed; });

    sendPrepareForSleep(logind, true); // going to sleep
    sendPrepareForSleep(impostor, false);
    spinFor(300);
    EXPECT_EQ(resumed, 0);

    sendPrepareForSleep(logind, false);
    EXPECT_TRUE(waitUntil([&] { return resumed == 1; }, 5000));
    spinFor(100);
    EXPECT_EQ(resumed, 1);
}

TEST(LogindResumeIntegration, WithoutABusNothingListens)
{
    LogindResumeNotifier notifier(QDBusConnection(QStringLiteral("never-connected")));
    EXPECT_FALSE(notifier.isListening());
}

} // namespace
