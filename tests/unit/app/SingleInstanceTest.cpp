#include "app/SingleInstance.h"

#include "support/Wait.h"

#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

TEST(SingleInstanceTest, LaterLaunchHandsItsCommandToTheFirst)
{
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    QList<InstanceCommand> received;
    first.onCommand = [&](InstanceCommand command) { received << command; };
    QSignalSpy firstPrimary(&first, &SingleInstance::becamePrimary);
    first.start(InstanceCommand::Reopen);
    ASSERT_TRUE(firstPrimary.wait(2000));
    EXPECT_EQ(firstPrimary.first().first().toString(), QString());
    EXPECT_TRUE(first.isListening());

    for (const InstanceCommand command :
         {InstanceCommand::Reopen, InstanceCommand::StartDictation, InstanceCommand::Quit}) {
        SingleInstance later(dir.path());
        QSignalSpy reached(&later, &SingleInstance::reachedRunningInstance);
        QSignalSpy laterPrimary(&later, &SingleInstance::becamePrimary);
        later.start(command);
        ASSERT_TRUE(reached.wait(2000)) << instanceCommandName(command).toStdString();
        EXPECT_TRUE(laterPrimary.isEmpty());
        EXPECT_FALSE(later.isPrimary());
    }
    EXPECT_EQ(received,
              (QList<InstanceCommand>{InstanceCommand::Reopen, InstanceCommand::StartDictation,
                                      InstanceCommand::Quit}));
}

TEST(SingleInstanceTest, SocketLeftByACrashedInstanceIsTakenOver)
{
    QTemporaryDir dir;
    {
        QFile stale(dir.filePath("wendlo.socket"));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    SingleInstance instance(dir.path());
    QSignalSpy primary(&instance, &SingleInstance::becamePrimary);
    instance.start(InstanceCommand::Reopen);
    ASSERT_TRUE(primary.wait(2000));
    EXPECT_EQ(primary.first().first().toString(), QString());
    EXPECT_TRUE(instance.isListening());
}

// Both decide in the same turn of the event loop, before either listens: the lock decides.
TEST(SingleInstanceTest, TwoLaunchesAtTheSameMomentMakeOneInstance)
{
    for (int round = 0; round < 20; ++round) {
        QTemporaryDir dir;
        SingleInstance a(dir.path());
        SingleInstance b(dir.path());
        QSignalSpy aPrimary(&a, &SingleInstance::becamePrimary);
        QSignalSpy bPrimary(&b, &SingleInstance::becamePrimary);
        QSignalSpy aReached(&a, &SingleInstance::reachedRunningInstance);
        QSignalSpy bReached(&b, &SingleInstance::reachedRunningInstance);
        a.start(InstanceCommand::Reopen);
        b.start(InstanceCommand::Reopen);
        ASSERT_TRUE(waitUntil(
            [&] {
                return aPrimary.size() + bPrimary.size() + aReached.size() + bReached.size() == 2;
            },
            3000));
        EXPECT_EQ(aPrimary.size() + bPrimary.size(), 1) << "round " << round;
        EXPECT_EQ(aReached.size() + bReached.size(), 1) << "round " << round;
        EXPECT_NE(a.isPrimary(), b.isPrimary());
    }
}

TEST(SingleInstanceTest, CommandWithoutARunningInstanceSaysSoAndTakesNoLock)
{
    QTemporaryDir dir;
    {
        SingleInstance command(dir.path());
        QSignalSpy notRunning(&command, &SingleInstance::notRunning);
        command.send(InstanceCommand::StartDictation);
        ASSERT_TRUE(notRunning.wait(2000));
        EXPECT_FALSE(command.isPrimary());
        EXPECT_FALSE(command.isListening());
    }
    // A launch right after it still becomes the instance.
    SingleInstance launch(dir.path());
    QSignalSpy primary(&launch, &SingleInstance::becamePrimary);
    launch.start(InstanceCommand::Reopen);
    ASSERT_TRUE(primary.wait(2000));
}

// The lock's holder has not begun to listen yet: the launch waits for it instead of giving up.
TEST(SingleInstanceTest, CommandReachesAnInstanceThatListensLate)
{
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    QSignalSpy firstPrimary(&first, &SingleInstance::becamePrimary);
    first.start(InstanceCommand::Reopen);
    ASSERT_TRUE(firstPrimary.wait(2000));
    QLocalServer::removeServer(first.socketPath()); // as if still starting
    first.onCommand = [](InstanceCommand) {};

    SingleInstance command(dir.path());
    QSignalSpy reached(&command, &SingleInstance::reachedRunningInstance);
    QSignalSpy unresponsive(&command, &SingleInstance::runningInstanceUnresponsive);
    command.send(InstanceCommand::StopDictation);
    // Listening again a moment later.
    QTimer::singleShot(300, &first, [&] {
        auto* server = new QLocalServer(&first);
        server->listen(first.socketPath());
        QObject::connect(server, &QLocalServer::newConnection, server, [server] {
            QLocalSocket* connection = server->nextPendingConnection();
            QObject::connect(connection, &QLocalSocket::readyRead, connection, [connection] {
                connection->readAll();
                connection->write("ok\n");
                connection->flush();
            });
        });
    });
    ASSERT_TRUE(reached.wait(3000));
    EXPECT_TRUE(unresponsive.isEmpty());
}

TEST(SingleInstanceTest, LockHolderThatNeverListensIsReportedAfterTheTimeout)
{
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    QSignalSpy firstPrimary(&first, &SingleInstance::becamePrimary);
    first.start(InstanceCommand::Reopen);
    ASSERT_TRUE(firstPrimary.wait(2000));
    QLocalServer::removeServer(first.socketPath());

    SingleInstance later(dir.path());
    QSignalSpy unresponsive(&later, &SingleInstance::runningInstanceUnresponsive);
    QSignalSpy primary(&later, &SingleInstance::becamePrimary);
    later.start(InstanceCommand::Reopen);
    ASSERT_TRUE(unresponsive.wait(SingleInstance::answerTimeoutMs + 2000));
    EXPECT_TRUE(primary.isEmpty());
}
