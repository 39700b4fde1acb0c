#include "app/SingleInstance.h"

#include "dictation/MainThreadTask.h"

#include <QLocalSocket>

namespace {

const QByteArray reopenRequest = QByteArrayLiteral("reopen\n");
const QByteArray reopenAnswer = QByteArrayLiteral("ok\n");

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), m_socketPath(std::move(socketPath))
{
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setInterval(answerTimeoutMs);
}

SingleInstance::~SingleInstance() = default;

void SingleInstance::start()
{
    auto* client = new QLocalSocket(this);
    m_client = client;
    connect(client, &QLocalSocket::connected, this, [client, this] {
        client->write(reopenRequest);
        m_answerTimer.start();
    });
    connect(client, &QLocalSocket::readyRead, this, [client, this] {
        if (!client->canReadLine())
            return;
        m_answerTimer.stop();
        const bool answered = client->readLine() == reopenAnswer;
        client->disconnect(this);
        client->deleteLater();
        if (answered)
            emit reachedRunningInstance();
        else
            emit runningInstanceUnresponsive(QStringLiteral("unexpected answer"));
    });
    connect(client, &QLocalSocket::errorOccurred, this,
            [client, this](QLocalSocket::LocalSocketError error) {
                m_answerTimer.stop();
                client->disconnect(this);
                client->deleteLater();
                if (error == QLocalSocket::ServerNotFoundError ||
                    error == QLocalSocket::ConnectionRefusedError) {
                    // Nobody listens (a refused socket is left over from a crash).
                    listen();
                } else {
                    emit runningInstanceUnresponsive(client->errorString());
                }
            });
    connect(&m_answerTimer, &QTimer::timeout, client, [client, this] {
        client->disconnect(this);
        client->abort();
        client->deleteLater();
        emit runningInstanceUnresponsive(QStringLiteral("no answer from the running instance"));
    });
    // From the event loop, so every outcome arrives there (and exit() can act on it).
    postTask(client, [client, this] { client->connectToServer(m_socketPath); });
}

void SingleInstance::listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QString error;
    if (!m_server->listen(m_socketPath)) {
        if (m_server->serverError() == QAbstractSocket::AddressInUseError && !m_retried) {
            // Another launch may have claimed the socket a moment ago: ask it first.
            m_retried = true;
            m_server.reset();
            start();
            return;
        }
        // The socket file is left over from a process that ended: take it over.
        QLocalServer::removeServer(m_socketPath);
        if (!m_server->listen(m_socketPath))
            error = m_server->errorString();
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* connection = m_server->nextPendingConnection())
            serve(connection);
    });
    postTask(this, [this, error] { emit becamePrimary(error); });
}

void SingleInstance::serve(QLocalSocket* connection)
{
    const auto handle = [connection, this] {
        if (!connection->canReadLine())
            return;
        const bool reopen = connection->readLine() == reopenRequest;
        if (reopen && onReopenRequested)
            onReopenRequested();
        connection->write(reopen ? reopenAnswer : QByteArrayLiteral("?\n"));
        connection->disconnectFromServer();
    };
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    connect(connection, &QLocalSocket::readyRead, this, handle);
    handle();
}
