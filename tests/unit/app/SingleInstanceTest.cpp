#include "app/SingleInstance.h"

#include "support/Wait.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(SingleInstanceTest, SecondLaunchReachesTheFirst)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("wendlo.socket");
    SingleInstance first(path);
    int reopens = 0;
    first.onReopenRequested = [&] { ++reopens; };
    QSignalSpy firstPrimary(&first, &SingleInstance::becamePrimary);
    first.start();
    ASSERT_TRUE(firstPrimary.wait(2000));
    EXPECT_EQ(firstPrimary.first().first().toString(), QString());
    EXPECT_TRUE(first.isListening());

    SingleInstance second(path);
    QSignalSpy reached(&second, &SingleInstance::reachedRunningInstance);
    QSignalSpy secondPrimary(&second, &SingleInstance::becamePrimary);
    second.start();
    ASSERT_TRUE(reached.wait(2000));
    EXPECT_EQ(reopens, 1);
    EXPECT_TRUE(secondPrimary.isEmpty());
}

TEST(SingleInstanceTest, SocketLeftByACrashedInstanceIsTakenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("wendlo.socket");
    {
        QFile stale(path);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    SingleInstance instance(path);
    QSignalSpy primary(&instance, &SingleInstance::becamePrimary);
    instance.start();
    ASSERT_TRUE(primary.wait(2000));
    EXPECT_EQ(primary.first().first().toString(), QString());
    EXPECT_TRUE(instance.isListening());
}
