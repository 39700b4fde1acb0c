#include "app/UpdaterController.h"

#include "fakes/FakeUpdateNotifier.h"
#include "support/Wait.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

// A one-route HTTP server on localhost that answers every request with `body`.
class FeedServer
{
public:
    FeedServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    ++requests;
                    if (!answers)
                        return;
                    socket->write("HTTP/1.1 " + status +
                                  "\r\nContent-Type: application/json\r\n"
                                  "Connection: close\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/latest.json").arg(m_server.serverPort()));
    }

    QByteArray status = "200 OK";
    QByteArray body;
    bool answers = true; // false: takes the request and stays silent
    int requests = 0;

private:
    QTcpServer m_server;
};

struct Checker
{
    FakeUpdateNotifier* notifier = nullptr;
    std::unique_ptr<UpdaterController> controller;

    explicit Checker(const QUrl& url, QVersionNumber current = QVersionNumber(1, 2, 0))
    {
        auto owned = std::make_unique<FakeUpdateNotifier>();
        notifier = owned.get();
        controller = std::make_unique<UpdaterController>(url, current, std::move(owned));
    }
};

} // namespace

struct FeedCase
{
    const char* name;
    QByteArray status;
    QByteArray body;
    QString message;
};

class UpdateFeedTest : public ::testing::TestWithParam<FeedCase>
{
};

TEST_P(UpdateFeedTest, UserCheckAlwaysAnswers)
{
    FeedServer server;
    server.status = GetParam().status;
    server.body = GetParam().body;
    Checker checker(server.url());
    // The automatic check at start says nothing unless there is news.
    ASSERT_TRUE(waitUntil([&] { return server.requests == 1; }));
    spinFor(50);
    const bool news = GetParam().message.startsWith("available");
    EXPECT_EQ(checker.notifier->messages.size(), news ? 1 : 0);
    checker.notifier->messages.clear();

    checker.controller->checkForUpdates();
    ASSERT_TRUE(waitUntil([&] { return !checker.notifier->messages.isEmpty(); }));
    EXPECT_EQ(checker.notifier->messages, QStringList{GetParam().message});
}

INSTANTIATE_TEST_SUITE_P(
    Feeds, UpdateFeedTest,
    ::testing::Values(
        FeedCase{"newer", "200 OK", R"({"version": "1.10.0", "url": "https://example.org/dl"})",
                 "available 1.10.0 over 1.2.0 at https://example.org/dl"},
        FeedCase{"same", "200 OK", R"({"version": "1.2.0", "url": "https://example.org/dl"})",
                 "up to date 1.2.0"},
        FeedCase{"older", "200 OK", R"({"version": "1.1.9", "url": "https://example.org/dl"})",
                 "up to date 1.2.0"},
        FeedCase{"notJson", "200 OK", "<html>moved</html>",
                 "failed: The update feed is not a valid JSON object."},
        FeedCase{"badVersion", "200 OK", R"({"version": "soon", "url": "https://example.org"})",
                 "failed: The update feed has no valid version."},
        FeedCase{"unsafePage", "200 OK", R"({"version": "2.0", "url": "file:///etc/passwd"})",
                 "failed: The update feed has no valid download page."},
        FeedCase{"missingPage", "200 OK", R"({"version": "2.0"})",
                 "failed: The update feed has no valid download page."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdaterControllerTest, ServerErrorIsShownWhenTheUserAsked)
{
    FeedServer server;
    server.status = "404 Not Found";
    server.body = "gone";
    Checker checker(server.url());
    checker.controller->checkForUpdates();
    ASSERT_TRUE(waitUntil([&] { return !checker.notifier->messages.isEmpty(); }));
    EXPECT_TRUE(checker.notifier->messages.first().startsWith(
        "failed: The update server could not be reached: "));
}

struct TransferCase
{
    const char* name;
    bool answers;
    qsizetype bodyBytes;
    QString message;
};

class UpdateTransferTest : public ::testing::TestWithParam<TransferCase>
{
};

// Both end in an aborted transfer; the user is told which one happened.
TEST_P(UpdateTransferTest, StalledServerAndOversizedFeedAreToldApart)
{
    FeedServer server;
    server.answers = GetParam().answers;
    server.body = QByteArray(GetParam().bodyBytes, ' ');
    Checker checker(server.url());
    checker.controller->setTransferTimeout(300);
    checker.controller->checkForUpdates();
    ASSERT_TRUE(waitUntil([&] { return !checker.notifier->messages.isEmpty(); }, 5000));
    EXPECT_EQ(checker.notifier->messages, QStringList{GetParam().message});
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, UpdateTransferTest,
    ::testing::Values(TransferCase{"stalled", false, 0,
                                   "failed: The update server did not answer in time."},
                      TransferCase{"oversized", true, UpdaterController::maximumFeedBytes + 4096,
                                   "failed: The update feed is larger than expected."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdaterControllerTest, UnreachableServerIsShownWhenTheUserAsked)
{
    QUrl url;
    {
        QTcpServer closed; // a port that nobody listens on once this closes
        closed.listen(QHostAddress::LocalHost);
        url = QUrl(QStringLiteral("http://127.0.0.1:%1/latest.json").arg(closed.serverPort()));
    }
    Checker checker(url);
    spinFor(200); // the automatic check fails quietly
    EXPECT_TRUE(checker.notifier->messages.isEmpty());

    checker.controller->checkForUpdates();
    ASSERT_TRUE(waitUntil([&] { return !checker.notifier->messages.isEmpty(); }));
    EXPECT_TRUE(checker.notifier->messages.first().startsWith(
        "failed: The update server could not be reached: "));
}

TEST(UpdaterControllerTest, AutomaticChecksRunDailyAndAnnounceAVersionOnce)
{
    FeedServer server;
    server.body = R"({"version": "2.0.0", "url": "https://example.org/dl"})";
    Checker checker(server.url());
    EXPECT_TRUE(checker.controller->isScheduled());
    ASSERT_TRUE(waitUntil([&] { return checker.notifier->messages.size() == 1; }));
    checker.controller->checkAutomatically();
    ASSERT_TRUE(waitUntil([&] { return server.requests == 2; }));
    spinFor(50);
    EXPECT_EQ(checker.notifier->messages.size(), 1);
}

// Sends every HTTP request of this process to `server` while it lives, whatever the host.
class CapturingProxy
{
public:
    explicit CapturingProxy(const FeedServer& server)
    {
        QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", server.url().port()));
    }
    ~CapturingProxy() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }
};

// An offline tool must not reach out on its own: without a feed there is no request at start,
// daily or on demand, and the user's check says where updates come from instead.
TEST(UpdaterControllerTest, WithoutAFeedNothingIsEverRequested)
{
    if (!UpdaterController::builtInFeedUrl().isEmpty())
        GTEST_SKIP() << "this build was configured with an update feed";
    FeedServer server;
    server.body = R"({"version": "2.0.0", "url": "https://example.org/dl"})";
    CapturingProxy proxy(server);

    Checker checker{UpdaterController::feedUrl(QProcessEnvironment())};
    EXPECT_FALSE(checker.controller->isScheduled());
    checker.controller->checkAutomatically();
    checker.controller->checkForUpdates();
    spinFor(200);
    EXPECT_EQ(server.requests, 0);
    EXPECT_EQ(checker.notifier->messages, QStringList{"no update source"});

    // The capture does see a configured feed's request, so the zero above means something.
    Checker configured{QUrl("http://updates.example/latest.json")};
    ASSERT_TRUE(waitUntil([&] { return server.requests == 1; }));
}

TEST(UpdaterControllerTest, FeedUrlComesFromTheEnvironmentOrTheBuild)
{
    QProcessEnvironment env;
    const QUrl builtIn = UpdaterController::builtInFeedUrl();
    EXPECT_EQ(UpdaterController::feedUrl(env), builtIn);
    env.insert("WENDLO_UPDATE_FEED_URL", "  ");
    EXPECT_EQ(UpdaterController::feedUrl(env), builtIn);
    env.insert("WENDLO_UPDATE_FEED_URL", "http://localhost:8080/feed.json");
    EXPECT_EQ(UpdaterController::feedUrl(env), QUrl("http://localhost:8080/feed.json"));
}
