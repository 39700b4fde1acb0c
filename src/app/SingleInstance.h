#pragma once

#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QLocalSocket;

// Keeps Wendlo to one process per user: two would fight over the hot key. The first launch
// listens on a socket in the user's private folder; a later launch connects to it, asks the
// running one to reopen, and reports back so that it can exit.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr int answerTimeoutMs = 3000;

    // `socketPath` lives in a folder only this user can enter.
    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The running instance's handler for a later launch.
    std::function<void()> onReopenRequested;

    // Finds out which one this is. Exactly one of the signals follows, from the event loop.
    void start();

    const QString& socketPath() const { return m_socketPath; }
    bool isListening() const { return m_server && m_server->isListening(); }

signals:
    // Nobody else runs: this process is the one (listening unless `error` says why not).
    void becamePrimary(const QString& error);
    // Another instance runs and took the request; this process should end.
    void reachedRunningInstance();
    // Another instance seems to run but did not answer.
    void runningInstanceUnresponsive(const QString& error);

private:
    void listen();
    void serve(QLocalSocket* connection);

    QString m_socketPath;
    std::unique_ptr<QLocalServer> m_server;
    QPointer<QLocalSocket> m_client;
    QTimer m_answerTimer;
    bool m_retried = false;
};
