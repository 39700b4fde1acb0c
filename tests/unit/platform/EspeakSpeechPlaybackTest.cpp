#include "platform/desktop/EspeakSpeechPlayback.h"

#include "common/ChildProcess.h"
#include "support/ProcessAlive.h"
#include "support/QtPrinters.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace {

// Puts stand-ins for the speech tool and the player first on PATH. Each records its arguments
// one per line in `<name>.args` and exits with the status the test chose.
class StandInTools
{
public:
    StandInTools() : m_oldPath(qgetenv("PATH"))
    {
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
        setSpeech(0);
        setPlayer(0);
    }
    ~StandInTools() { qputenv("PATH", m_oldPath); }

    // The speech tool writes its "-w" file (a few bytes are enough here).
    void setSpeech(int status)
    {
        write("espeak-ng", QStringLiteral("[ \"$1\" = -w ] && printf RIFF > \"$2\"\n"
                                          "exit %1\n")
                               .arg(status));
    }
    void setPlayer(int status) { write("paplay", QStringLiteral("exit %1\n").arg(status)); }
    // A player that never ends; it writes its process id to `pidFile`.
    void setHungPlayer(const QString& pidFile)
    {
        write("paplay", QStringLiteral("echo $$ > '%1'\nexec sleep 600\n").arg(pidFile));
    }

    QStringList arguments(const QString& name) const
    {
        QFile file(m_dir.filePath(name + ".args"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        lines.removeLast();
        return lines;
    }

private:
    void write(const QString& name, const QString& body)
    {
        QFile file(m_dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > "
                                  "'%1.args'\n")
                       .arg(m_dir.filePath(name))
                       .toUtf8() +
                   body.toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

QString promptPath()
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + "/QuorDictation/self-test-prompt.wav";
}

TEST(EspeakSpeechPlayback, PhraseReachesTheSpeechToolAsOneArgumentAndReplacesThePrompt)
{
    StandInTools tools;
    const QString phrase = QStringLiteral("-it's \"quoted\" and  spaced");

    QFile::remove(promptPath());
    QDir().mkpath(QFileInfo(promptPath()).path());
    QFile stale(promptPath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("an earlier prompt");
    stale.close();

    const EspeakSpeechPlayback speech;
    ChildProcessStop never;
    const Result<QString> prompt = speech.makePrompt(phrase, never);
    ASSERT_TRUE(prompt.ok()) << prompt.error().message.toStdString();
    EXPECT_EQ(prompt.value(), promptPath());
    EXPECT_EQ(tools.arguments("espeak-ng"), (QStringList{"-w", promptPath(), "--", phrase}));
    QFile written(promptPath());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("RIFF"));
}

TEST(EspeakSpeechPlayback, FailuresCarryTheirMessages)
{
    StandInTools tools;
    tools.setSpeech(1);
    tools.setPlayer(3);
    const EspeakSpeechPlayback speech;
    ChildProcessStop never;
    EXPECT_EQ(speech.makePrompt("hello", never).error().message,
              "Could not create self-test prompt audio");
    const Failure played = speech.playPrompt(promptPath(), never);
    ASSERT_TRUE(played.has_value());
    EXPECT_EQ(played->message, "Could not play self-test prompt audio");
    EXPECT_EQ(tools.arguments("paplay"), QStringList{promptPath()});
}

TEST(EspeakSpeechPlayback, AStopEndsAPlayerThatNeverEnds)
{
    StandInTools tools;
    QTemporaryDir dir;
    const QString pidFile = dir.filePath("player.pid");
    tools.setHungPlayer(pidFile);
    const EspeakSpeechPlayback speech;
    ChildProcessStop stop;
    Failure played;
    std::thread playing([&] { played = speech.playPrompt(promptPath(), stop); });
    const bool started = waitUntil([&] { return pidFrom(pidFile) > 0; }, 10000);
    const qint64 player = pidFrom(pidFile);

    stop.requestStop();
    playing.join();

    ASSERT_TRUE(started);
    EXPECT_TRUE(waitUntil([&] { return !processAlive(player); }));
    EXPECT_TRUE(played.has_value());
}

} // namespace
