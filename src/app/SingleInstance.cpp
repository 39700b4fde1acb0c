#include "app/SingleInstance.h"

#include "common/MainThreadTask.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), m_folder(std::move(folder))
{
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setInterval(answerTimeoutMs);
}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
        m_server.reset();
    }
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QByteArray SingleInstance::requestLine(InstanceCommand command)
{
    return instanceCommandName(command).toLatin1() + '\n';
}

QString SingleInstance::socketPathIn(const QString& folder)
{
    return QDir(folder).filePath(QString::fromLatin1(latin1(InstanceSocketClient::socketName)));
}

QString SingleInstance::socketPath() const
{
    return socketPathIn(m_folder);
}

QString SingleInstance::lockPath() const
{
    return QDir(m_folder).filePath(QStringLiteral("wendlo.lock"));
}

SingleInstance::Lock SingleInstance::tryLock(QString* error)
{
    const QByteArray path = QFile::encodeName(lockPath());
    // Close-on-exec: a recogniser child that outlived us must not keep the lock.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *error = QStringLiteral("cannot open %1: %2")
                     .arg(lockPath(), QString::fromLocal8Bit(std::strerror(errno)));
        return Lock::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_lockFd = fd;
        return Lock::Acquired;
    }
    const int reason = errno;
    ::close(fd);
    if (reason == EWOULDBLOCK)
        return Lock::HeldElsewhere;
    *error = QStringLiteral("cannot lock %1: %2")
                 .arg(lockPath(), QString::fromLocal8Bit(std::strerror(reason)));
    return Lock::Failed;
}

void SingleInstance::start(InstanceCommand command)
{
    m_command = command;
    m_mayBecomeInstance = true;
    m_sinceStart.start();
    // From the event loop, so every outcome arrives there (and exit() can act on it).
    postTask(this, [this] { attempt(); });
}

void SingleInstance::send(InstanceCommand command)
{
    m_command = command;
    m_mayBecomeInstance = false;
    m_sinceStart.start();
    postTask(this, [this] { attempt(); });
}

void SingleInstance::attempt()
{
    QString error;
    switch (tryLock(&error)) {
    case Lock::Acquired:
        if (m_mayBecomeInstance) {
            becomeInstance();
        } else {
            // Nobody holds the lock, so nobody runs. Let go at once for a launch that follows.
            ::close(m_lockFd);
            m_lockFd = -1;
            emit notRunning();
        }
        return;
    case Lock::HeldElsewhere:
        connectOnce();
        return;
    case Lock::Failed:
        if (m_mayBecomeInstance) {
            // Without the lock only the socket can tell; better one more instance than none.
            becomeInstance();
            return;
        }
        connectOnce();
        return;
    }
}

void SingleInstance::becomeInstance()
{
    // The lock is ours, so a socket file there is left over from a process that ended.
    QLocalServer::removeServer(socketPath());
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QString error;
    if (!m_server->listen(socketPath()))
        error = m_server->errorString();
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* connection = m_server->nextPendingConnection())
            serve(connection);
    });
    emit becamePrimary(error);
}

void SingleInstance::connectOnce()
{
    auto* client = new QLocalSocket(this);
    m_client = client;
    connect(client, &QLocalSocket::connected, this, [client, this] {
        client->write(requestLine(m_command));
        m_answerTimer.start();
    });
    connect(client, &QLocalSocket::readyRead, this, [client, this] {
        if (!client->canReadLine())
            return;
        m_answerTimer.stop();
        const bool answered = client->readLine() == answerOk();
        client->disconnect(this);
        client->deleteLater();
        if (answered)
            emit reachedRunningInstance();
        else
            emit runningInstanceUnresponsive(refusedReason());
    });
    connect(client, &QLocalSocket::errorOccurred, this,
            [client, this](QLocalSocket::LocalSocketError error) {
                m_answerTimer.stop();
                client->disconnect(this);
                client->deleteLater();
                if (error == QLocalSocket::ServerNotFoundError ||
                    error == QLocalSocket::ConnectionRefusedError) {
                    // The lock's holder is still starting (or just ended): ask again shortly.
                    retryOrGiveUp(client->errorString());
                } else {
                    emit runningInstanceUnresponsive(client->errorString());
                }
            });
    connect(&m_answerTimer, &QTimer::timeout, client, [client, this] {
        client->disconnect(this);
        client->abort();
        client->deleteLater();
        emit runningInstanceUnresponsive(noAnswerReason());
    });
    client->connectToServer(socketPath());
}

void SingleInstance::retryOrGiveUp(const QString& reason)
{
    if (m_sinceStart.elapsed() >= answerTimeoutMs) {
        emit runningInstanceUnresponsive(QStringLiteral("it holds the lock but does not listen (") +
                                         reason + QLatin1Char(')'));
        return;
    }
    postDelayed(this, retryIntervalMs, [this] { attempt(); });
}

void SingleInstance::serve(QLocalSocket* connection)
{
    const auto handle = [connection, this] {
        if (!connection->canReadLine())
            return;
        const QByteArray line = connection->readLine();
        std::optional<InstanceCommand> command;
        for (const InstanceCommand candidate :
             {InstanceCommand::Reopen, InstanceCommand::OpenSettings,
              InstanceCommand::StartDictation, InstanceCommand::StopDictation,
              InstanceCommand::ToggleDictation, InstanceCommand::Quit}) {
            if (line == requestLine(candidate))
                command = candidate;
        }
        // Answered first: the command (quit above all) may end this process.
        connection->write(command ? answerOk() : QByteArrayLiteral("?\n"));
        connection->flush();
        connection->disconnectFromServer();
        if (command && onCommand)
            onCommand(*command);
    };
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    connect(connection, &QLocalSocket::readyRead, this, handle);
    handle();
}
