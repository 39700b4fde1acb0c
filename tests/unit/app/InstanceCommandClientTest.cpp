#include "app/InstanceCommandClient.h"
#include "app/SingleInstance.h"

#include "support/Wait.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <future>
#include <gtest/gtest.h>

namespace {

using InstanceCommandClient::Answer;
using InstanceCommandClient::Outcome;

// The client blocks; the server side answers on this thread's event loop meanwhile.
Answer sendFromAnotherThread(const QString& socketPath, InstanceCommand command, int timeoutMs)
{
    std::future<Answer> answer = std::async(std::launch::async, [=] {
        return InstanceCommandClient::send(socketPath, command, timeoutMs);
    });
    waitUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              10000);
    return answer.get();
}

} // namespace

TEST(InstanceCommandClientTest, TheRunningInstanceTakesTheCommand)
{
    QTemporaryDir dir;
    SingleInstance running(dir.path());
    QList<InstanceCommand> received;
    running.onCommand = [&](InstanceCommand command) { received << command; };
    QSignalSpy primary(&running, &SingleInstance::becamePrimary);
    running.start(InstanceCommand::Reopen);
    ASSERT_TRUE(primary.wait(2000));

    for (const InstanceCommand command :
         {InstanceCommand::StartDictation, InstanceCommand::StopDictation,
          InstanceCommand::ToggleDictation, InstanceCommand::Quit}) {
        const Answer answer = sendFromAnotherThread(running.socketPath(), command, 3000);
        EXPECT_EQ(answer.outcome, Outcome::Accepted) << answer.error.toStdString();
    }
    EXPECT_EQ(received, (QList<InstanceCommand>{InstanceCommand::StartDictation,
                                                 InstanceCommand::StopDictation,
                                                 InstanceCommand::ToggleDictation,
                                                 InstanceCommand::Quit}));
}

// Nothing was sent, so the slower path may still wait for a starting instance and try again.
TEST(InstanceCommandClientTest, NoListenerIsNotReached)
{
    QTemporaryDir dir;
    EXPECT_EQ(InstanceCommandClient::send(dir.filePath("wendlo.socket"),
                                          InstanceCommand::StopDictation, 3000)
                  .outcome,
              Outcome::NotReached);
    // Longer than a socket address holds.
    EXPECT_EQ(InstanceCommandClient::send(dir.filePath(QString(200, 'x')),
                                          InstanceCommand::StopDictation, 3000)
                  .outcome,
              Outcome::NotReached);
}

// Once the command went out, every way of not taking it is a failure with its reason.
TEST(InstanceCommandClientTest, ACommandNotTakenSaysWhy)
{
    struct Case
    {
        const char* name;
        std::function<void(QLocalSocket*)> serve;
        QString error;
    };
    const std::vector<Case> cases{
        {"refuses", [](QLocalSocket* s) { s->write("?\n"); }, SingleInstance::refusedReason()},
        {"hangs up", [](QLocalSocket* s) { s->disconnectFromServer(); },
         SingleInstance::noAnswerReason()},
        {"stays silent", [](QLocalSocket*) {}, SingleInstance::noAnswerReason()},
        {"answers in pieces, wrongly",
         [](QLocalSocket* s) {
             s->write("o");
             s->flush();
             s->write("k?\n");
         },
         SingleInstance::refusedReason()},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        QLocalServer server;
        ASSERT_TRUE(server.listen(dir.filePath("wendlo.socket")));
        QByteArray request;
        QObject::connect(&server, &QLocalServer::newConnection, [&] {
            QLocalSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [&, socket] {
                request += socket->readAll();
                if (request.endsWith('\n'))
                    c.serve(socket);
            });
        });
        const Answer answer =
            sendFromAnotherThread(dir.filePath("wendlo.socket"), InstanceCommand::StopDictation, 300);
        EXPECT_EQ(answer.outcome, Outcome::Failed) << c.name;
        EXPECT_EQ(answer.error, c.error) << c.name;
        EXPECT_EQ(request, "stop-dictation\n") << c.name;
    }
}
