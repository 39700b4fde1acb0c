#include "common/ChildProcess.h"
#include "dictation/DictationCoordinator.h"
#include "dictation/SelfTestAudio.h"
#include "fakes/FakeDictationBackends.h"
#include "support/ProcessAlive.h"
#include "support/QtPrinters.h"
#include "support/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>

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

TEST(SelfTestAudio, PhraseReachesTheSpeechToolAsOneArgumentAndReplacesThePrompt)
{
    StandInTools tools;
    const QString phrase = QStringLiteral("-it's \"quoted\" and  spaced");

    QFile::remove(promptPath());
    QDir().mkpath(QFileInfo(promptPath()).path());
    QFile stale(promptPath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("an earlier prompt");
    stale.close();

    ChildProcessStop never;
    const Result<QString> prompt = SelfTestAudio::makePrompt(phrase, never);
    ASSERT_TRUE(prompt.ok()) << prompt.error().message.toStdString();
    EXPECT_EQ(prompt.value(), promptPath());
    EXPECT_EQ(tools.arguments("espeak-ng"), (QStringList{"-w", promptPath(), "--", phrase}));
    QFile written(promptPath());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("RIFF"));
}

TEST(SelfTestAudio, FailuresCarryTheirMessages)
{
    StandInTools tools;
    tools.setSpeech(1);
    tools.setPlayer(3);
    ChildProcessStop never;
    EXPECT_EQ(SelfTestAudio::makePrompt("hello", never).error().message,
              "Could not create self-test prompt audio");
    const Failure played = SelfTestAudio::playPrompt(promptPath(), never);
    ASSERT_TRUE(played.has_value());
    EXPECT_EQ(played->message, "Could not play self-test prompt audio");
    EXPECT_EQ(tools.arguments("paplay"), QStringList{promptPath()});
}

// The coordinator with fakes whose synthetic hot key drives the fake hot-key back end, so the
// self-test runs the whole pipeline: press, probe, record, play, release, transcribe, insert.
class SelfTestRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        coordinator = std::make_unique<DictationCoordinator>(fakes.make());
        fakes.selfTestKeys->onHotKey = [this](bool down) {
            keyTimes << clock.elapsed();
            down ? fakes.hotKey->press() : fakes.hotKey->release();
        };
        fakes.accessibility->field->value = QString();
        coordinator->onStateChange = [this](const DictationState& state) { states << state; };
        coordinator->start();
        clock.start();
    }

    StandInTools tools;
    FakeDictationBackends fakes;
    std::unique_ptr<DictationCoordinator> coordinator;
    QList<DictationState> states;
    QList<qint64> keyTimes;
    QElapsedTimer clock;
};

TEST_F(SelfTestRun, DictatesThroughTheHotKeyPath)
{
    coordinator->runSelfTest("hello world");

    ASSERT_TRUE(waitUntil([&] { return fakes.accessibility->field->value == "Hello world."; },
                          10000));
    EXPECT_EQ(fakes.selfTestKeys->posted, (QStringList{"hotkey-down", "hotkey-up"}));
    EXPECT_EQ(fakes.selfTestKeys->hotKeys,
              (QList<QKeyCombination>(2, HotKey::standard().combination())));
    ASSERT_EQ(keyTimes.size(), 2);
    // The key goes down a second after the prompt exists; playing starts 0.75 s later and
    // the key comes up 0.5 s after playing ends.
    EXPECT_GE(keyTimes[0], 1000);
    EXPECT_GE(keyTimes[1] - keyTimes[0], 1250);
    EXPECT_EQ(tools.arguments("paplay"), QStringList{promptPath()});
    EXPECT_EQ(coordinator->state(), DictationState::idle());
}

TEST_F(SelfTestRun, PressesTheChosenHotKey)
{
    const HotKey key = HotKey::parse("Ctrl+Alt+Space").value();
    ASSERT_FALSE(coordinator->changeHotKey(key));
    coordinator->runSelfTest("hello world");
    ASSERT_TRUE(
        waitUntil([&] { return fakes.accessibility->field->value == "Hello world."; }, 10000));
    EXPECT_EQ(fakes.selfTestKeys->hotKeys, (QList<QKeyCombination>(2, key.combination())));
    EXPECT_EQ(fakes.hotKey->grabbed, key.combination());
}

TEST_F(SelfTestRun, PlaybackFailureEndsInErrorWithoutKeyUp)
{
    tools.setPlayer(1);
    coordinator->runSelfTest("hello world");

    ASSERT_TRUE(waitUntil([&] { return coordinator->state().isError(); }, 10000));
    EXPECT_EQ(coordinator->state(), DictationState::error("Could not play self-test prompt audio"));
    spinFor(700);
    EXPECT_EQ(fakes.selfTestKeys->posted, QStringList{"hotkey-down"});
}

TEST_F(SelfTestRun, PromptFailurePostsNoKey)
{
    tools.setSpeech(2);
    coordinator->runSelfTest("hello world");

    ASSERT_TRUE(waitUntil([&] { return coordinator->state().isError(); }, 5000));
    EXPECT_EQ(coordinator->state(),
              DictationState::error("Could not create self-test prompt audio"));
    spinFor(1200);
    EXPECT_TRUE(fakes.selfTestKeys->posted.isEmpty());
}

TEST_F(SelfTestRun, APlayerThatNeverEndsDiesWithTheCoordinator)
{
    QTemporaryDir dir;
    const QString pidFile = dir.filePath("player.pid");
    tools.setHungPlayer(pidFile);
    coordinator->runSelfTest("hello world");
    ASSERT_TRUE(waitUntil([&] { return pidFrom(pidFile) > 0; }, 10000));
    const qint64 player = pidFrom(pidFile);
    ASSERT_TRUE(processAlive(player));

    coordinator.reset();

    EXPECT_TRUE(waitUntil([&] { return !processAlive(player); }));
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
}

TEST_F(SelfTestRun, EndsQuietlyOnceTheCoordinatorIsGone)
{
    coordinator->runSelfTest("hello world");
    coordinator.reset();
    spinFor(1300);
    EXPECT_TRUE(keyTimes.isEmpty());
}

} // namespace
