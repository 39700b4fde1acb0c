#include "app/CommandLineFront.h"

#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

std::optional<std::string_view> remoteCommandOf(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "wendlo");
    arguments.push_back(nullptr);
    return CommandLineFront::remoteCommand(int(arguments.size() - 1), arguments.data());
}

// The built front in a folder of its own, beside a stand-in full app that records its
// process id and arguments and exits with 7.
class FrontFolder
{
public:
    FrontFolder()
    {
        QDir().mkpath(m_dir.filePath("bin"));
        QDir().mkpath(runtimeDir());
        m_ok = QFile::copy(QStringLiteral(WENDLO_FRONT), front());
        QFile app(m_dir.filePath("bin/wendlo-app"));
        m_ok = m_ok && app.open(QIODevice::WriteOnly) &&
               app.write(QStringLiteral("#!/bin/sh\necho \"$$ $*\" > '%1'\nexit 7\n")
                             .arg(recordPath())
                             .toUtf8()) > 0;
        app.close();
        app.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    bool ok() const { return m_ok; }
    QString front() const { return m_dir.filePath("bin/wendlo"); }
    QString runtimeDir() const { return m_dir.filePath("run"); }
    QString socketPath() const { return runtimeDir() + "/QuorDictation/wendlo.socket"; }
    QString recordPath() const { return m_dir.filePath("app-ran"); }
    void removeApp() { QFile::remove(m_dir.filePath("bin/wendlo-app")); }

    // What the stand-in app wrote: "<pid> <arguments>", empty when it did not run.
    QString record() const
    {
        QFile file(recordPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                              : QString();
    }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

// A running instance that answers every request line with `answer`.
class FakeInstance
{
public:
    FakeInstance(const QString& socketPath, QByteArray answer) : m_answer(std::move(answer))
    {
        QDir().mkpath(QFileInfo(socketPath).path());
        QFile::setPermissions(QFileInfo(socketPath).path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_listening = m_server.listen(socketPath);
        QObject::connect(&m_server, &QLocalServer::newConnection, [this] {
            QLocalSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                requests += socket->readAll();
                if (requests.endsWith('\n'))
                    socket->write(m_answer);
            });
        });
    }

    bool listening() const { return m_listening; }
    QByteArray requests;

private:
    QByteArray m_answer;
    QLocalServer m_server;
    bool m_listening = false;
};

struct FrontRun
{
    int exitCode = -1;
    qint64 pid = 0;
    QString standardError;
};

FrontRun runFront(const FrontFolder& folder, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", folder.runtimeDir());
    process.setProcessEnvironment(environment);
    process.start(folder.front(), arguments);
    FrontRun run;
    if (!process.waitForStarted(5000))
        return run;
    run.pid = process.processId();
    // The fake instance answers on this thread's event loop.
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, 10000);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.standardError = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

TEST(CommandLineFrontTest, OnlyALoneInstanceCommandStaysInTheFront)
{
    struct Case
    {
        std::vector<const char*> arguments;
        std::optional<std::string_view> command;
    };
    const std::vector<Case> cases{
        {{"--start-dictation"}, "start-dictation"},
        {{"--stop-dictation"}, "stop-dictation"},
        {{"--toggle-dictation"}, "toggle-dictation"},
        {{"--quit"}, "quit"},
        {{}, std::nullopt},
        {{"--help"}, std::nullopt},
        {{"--version"}, std::nullopt},
        {{"--settings"}, std::nullopt},
        {{"--stop-dictation", "--quit"}, std::nullopt},
        {{"--stop-dictation", "-platform", "offscreen"}, std::nullopt},
        {{"-stop-dictation"}, std::nullopt},
        {{"stop-dictation"}, std::nullopt},
        {{"--stop-dictation="}, std::nullopt},
        {{"--stop"}, std::nullopt},
        {{"--"}, std::nullopt},
        {{""}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const char* argument : c.arguments)
            shown += std::string(" '") + argument + "'";
        EXPECT_EQ(remoteCommandOf(c.arguments), c.command) << shown;
    }
}

TEST(CommandLineFrontTest, TheFullAppIsBesideTheFront)
{
    EXPECT_EQ(CommandLineFront::appBeside("/usr/bin/wendlo"), "/usr/bin/wendlo-app");
    EXPECT_EQ(CommandLineFront::appBeside("/opt/my dir/bin/wendlo"), "/opt/my dir/bin/wendlo-app");
}

// The real front binary: what goes to the socket, and what becomes the full app in the same
// process with the same arguments and exit status.
TEST(CommandLineFrontTest, SendsOrBecomesTheFullApp)
{
    enum class Instance
    {
        None,
        Takes,
        Refuses
    };
    struct Case
    {
        QStringList arguments;
        Instance instance;
        QByteArray request; // what the instance got
        bool becameApp;
        int exitCode;
        QString standardError;
    };
    const std::vector<Case> cases{
        {{"--stop-dictation"}, Instance::Takes, "stop-dictation\n", false, 0, ""},
        {{"--quit"}, Instance::Takes, "quit\n", false, 0, ""},
        // Not running (or still starting): the full app waits and says so.
        {{"--start-dictation"}, Instance::None, "", true, 7, ""},
        // The command went out: sending it again from the full app would repeat it.
        {{"--toggle-dictation"}, Instance::Refuses, "toggle-dictation\n", false, 1,
         "Wendlo did not take the command: it refused the command\n"},
        {{}, Instance::Takes, "", true, 7, ""},
        {{"--help"}, Instance::Takes, "", true, 7, ""},
        {{"--stop-dictation", "--quit"}, Instance::Takes, "", true, 7, ""},
        {{"--stop-dictation", "-platform", "offscreen"}, Instance::Takes, "", true, 7, ""},
    };
    for (const Case& c : cases) {
        const QString name = "wendlo " + c.arguments.join(' ');
        FrontFolder folder;
        ASSERT_TRUE(folder.ok());
        std::optional<FakeInstance> instance;
        if (c.instance != Instance::None) {
            instance.emplace(folder.socketPath(), c.instance == Instance::Takes ? "ok\n" : "?\n");
            ASSERT_TRUE(instance->listening()) << name.toStdString();
        }
        const FrontRun run = runFront(folder, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << name.toStdString();
        EXPECT_EQ(run.standardError, c.standardError) << name.toStdString();
        if (instance) {
            EXPECT_EQ(instance->requests, c.request) << name.toStdString();
        }
        const QString expected =
            c.becameApp ? (QStringList(QString::number(run.pid)) + c.arguments).join(' ') : "";
        EXPECT_EQ(folder.record(), expected) << name.toStdString();
    }
}

TEST(CommandLineFrontTest, AMissingFullAppIsReported)
{
    FrontFolder folder;
    ASSERT_TRUE(folder.ok());
    folder.removeApp();
    const FrontRun run = runFront(folder, {"--version"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.standardError.startsWith("wendlo: cannot start " + folder.front() + "-app: "))
        << run.standardError.toStdString();
}
