#pragma once

#include "app/CommandLine.h"
#include "app/InstanceSocketClient.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QLocalSocket;

// Keeps Wendlo to one process per user: two would fight over the hot key. Which process is
// the one is decided by a lock (flock) on a file in the user's private folder, held for the
// life of the process, so two launches at the same moment cannot both win. The winner then
// listens on a socket beside it; every other launch connects there, hands over its command
// and reports back so that it can exit.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // How long a launch waits for the running instance to listen and answer.
    static constexpr int answerTimeoutMs = InstanceSocketClient::answerTimeoutMs;
    static constexpr int retryIntervalMs = 50;

    // `folder` is only this user's; it holds "wendlo.lock" and "wendlo.socket".
    explicit SingleInstance(QString folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The running instance's handler for a command from a later launch.
    std::function<void(InstanceCommand)> onCommand;

    // Becomes the one instance, or hands `command` to the one that runs. Exactly one of
    // becamePrimary, reachedRunningInstance and runningInstanceUnresponsive follows, from the
    // event loop.
    void start(InstanceCommand command);
    // Only hands `command` over; never becomes the instance. Exactly one of
    // reachedRunningInstance, notRunning and runningInstanceUnresponsive follows.
    void send(InstanceCommand command);

    // The protocol on the socket: one request line, one answer line.
    static QByteArray requestLine(InstanceCommand command);
    static QByteArray answerOk() { return latin1(InstanceSocketClient::answerOk); }
    // Why a command that went out was not taken.
    static QString refusedReason() { return QString::fromLatin1(latin1(InstanceSocketClient::refusedReason)); }
    static QString noAnswerReason() { return QString::fromLatin1(latin1(InstanceSocketClient::noAnswerReason)); }

    static QString socketPathIn(const QString& folder);
    QString socketPath() const;
    QString lockPath() const;
    bool isPrimary() const { return m_lockFd >= 0; }
    bool isListening() const { return m_server && m_server->isListening(); }

signals:
    // This process is the one (listening unless `error` says why not).
    void becamePrimary(const QString& error);
    // Another instance runs and took the command; this process should end.
    void reachedRunningInstance();
    // Another instance holds the lock but did not take the command.
    void runningInstanceUnresponsive(const QString& error);
    // No instance runs (send only).
    void notRunning();

private:
    static QByteArray latin1(std::string_view text)
    {
        return QByteArray(text.data(), qsizetype(text.size()));
    }
    enum class Lock
    {
        Acquired,
        HeldElsewhere,
        Failed
    };
    Lock tryLock(QString* error);
    void attempt();
    void connectOnce();
    void retryOrGiveUp(const QString& reason);
    void becomeInstance();
    void serve(QLocalSocket* connection);

    QString m_folder;
    InstanceCommand m_command = InstanceCommand::Reopen;
    bool m_mayBecomeInstance = true;
    int m_lockFd = -1;
    std::unique_ptr<QLocalServer> m_server;
    QPointer<QLocalSocket> m_client;
    QElapsedTimer m_sinceStart;
    QTimer m_answerTimer;
};
