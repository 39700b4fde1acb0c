#include "dictation/DictationRecorder.h"

#include "fakes/FakeAudioCapture.h"
#include "fakes/FakeRecordPermission.h"
#include "support/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Everything the debug log gained since construction.
class LogWatch
{
public:
    LogWatch() : m_start(QFileInfo(path()).size()) {}
    QString added() const
    {
        QFile file(path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        file.seek(m_start);
        return QString::fromUtf8(file.readAll());
    }

private:
    static QString path() { return qEnvironmentVariable("QUOR_DEBUG_LOG"); }
    qint64 m_start;
};

// A recorder on the fake capture, with its temporary directory of its own.
class DictationRecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid());
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        auto backend = std::make_unique<FakeAudioCapture>();
        capture = backend.get();
        recorder = std::make_unique<DictationRecorder>(std::move(backend), permission);
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", m_savedRuntime); }

    QString folder() const { return QDir::cleanPath(m_runtime.path()) + "/QuorDictation"; }
    QStringList calls() const { return capture->log->calls; }

    QTemporaryDir m_runtime;
    QByteArray m_savedRuntime;
    FakeRecordPermission permission;
    FakeAudioCapture* capture = nullptr;
    std::unique_ptr<DictationRecorder> recorder;
};

TEST_F(DictationRecorderTest, StartThenStopReturnsANewWavFileInThePrivateFolder)
{
    ASSERT_FALSE(recorder->start());
    ASSERT_EQ(capture->madePaths.size(), 1);
    const QString path = capture->madePaths.first();

    const QFileInfo info(path);
    EXPECT_EQ(info.absolutePath(), folder());
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"
                                   "\\.wav$")
                    .match(info.fileName())
                    .hasMatch())
        << info.fileName().toStdString();
    struct stat folderInfo
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(folder()).constData(), &folderInfo), 0);
    EXPECT_EQ(folderInfo.st_mode & 0777, 0700u);

    const Result<QString> stopped = recorder->stop();
    ASSERT_TRUE(stopped.ok());
    EXPECT_EQ(stopped.value(), path);
    EXPECT_EQ(calls(), QStringList({"prepare " + path, "record " + path, "stop " + path,
                                    "destroyed " + path}));
}

TEST_F(DictationRecorderTest, StopWithoutAnActiveRecordingFails)
{
    const QuorError notActive{"Recording was not active"};
    ASSERT_FALSE(recorder->stop().ok());
    EXPECT_EQ(recorder->stop().error(), notActive);

    ASSERT_FALSE(recorder->start());
    ASSERT_TRUE(recorder->stop().ok());
    ASSERT_FALSE(recorder->stop().ok());
    EXPECT_EQ(recorder->stop().error(), notActive);
    EXPECT_EQ(calls().filter("stop ").size(), 1);
}

TEST_F(DictationRecorderTest, ConsecutiveDictationsGetDifferentFilesInTheSameFolder)
{
    ASSERT_FALSE(recorder->start());
    const QString first = recorder->stop().value();
    ASSERT_FALSE(recorder->start());
    const QString second = recorder->stop().value();
    EXPECT_NE(first, second);
    EXPECT_EQ(QFileInfo(first).absolutePath(), QFileInfo(second).absolutePath());
}

TEST_F(DictationRecorderTest, ASecondStartReplacesTheFirstRecording)
{
    ASSERT_FALSE(recorder->start());
    ASSERT_FALSE(recorder->start());
    ASSERT_EQ(capture->madePaths.size(), 2);
    const QString first = capture->madePaths[0];
    const QString second = capture->madePaths[1];

    // The first is released without a stop of its own.
    EXPECT_TRUE(calls().contains("destroyed " + first));
    EXPECT_FALSE(calls().contains("stop " + first));
    EXPECT_EQ(recorder->stop().value(), second);
}

struct StartRefusal
{
    const char* name;
    bool prepareOk;
    bool recordOk;
};

class DictationRecorderStartFailure : public DictationRecorderTest,
                                      public ::testing::WithParamInterface<StartRefusal>
{
};

TEST_P(DictationRecorderStartFailure, FailsWithoutStoringTheRecording)
{
    capture->next.prepareOk = GetParam().prepareOk;
    capture->next.recordOk = GetParam().recordOk;
    LogWatch log;

    const Failure failure = recorder->start();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "Could not start recording");
    const QString path = capture->madePaths.first();
    EXPECT_TRUE(log.added().contains("[Quor] recorder start failed path=" + path + "\n"));
    EXPECT_TRUE(calls().contains("destroyed " + path));
    // Record is asked only after a successful prepare.
    EXPECT_EQ(calls().contains("record " + path), GetParam().prepareOk);
    EXPECT_EQ(recorder->stop().error().message, "Recording was not active");
}

INSTANTIATE_TEST_SUITE_P(Refusals, DictationRecorderStartFailure,
                         ::testing::Values(StartRefusal{"PrepareFails", false, true},
                                           StartRefusal{"RecordFails", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DictationRecorderTest, AFailedStartLeavesTheRunningRecordingStored)
{
    ASSERT_FALSE(recorder->start());
    const QString running = capture->madePaths.first();
    capture->next.recordOk = false;
    ASSERT_TRUE(recorder->start());
    EXPECT_EQ(recorder->stop().value(), running);
}

TEST_F(DictationRecorderTest, ARefusedRecordingObjectPassesThePlatformErrorOn)
{
    capture->refusal = QuorError{"Connection refused"};
    const Failure failure = recorder->start();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "Connection refused");
    EXPECT_EQ(recorder->stop().error().message, "Recording was not active");
}

struct UnsafeFolder
{
    const char* name;
    const char* reason;
};

class DictationRecorderUnsafeFolder : public DictationRecorderTest,
                                      public ::testing::WithParamInterface<UnsafeFolder>
{
};

TEST_P(DictationRecorderUnsafeFolder, IsRefusedBeforeAnythingIsRecordedOrProbed)
{
    QTemporaryDir elsewhere;
    const QByteArray native = QFile::encodeName(folder());
    if (std::string(GetParam().name) == "Symlink") {
        ASSERT_TRUE(QFile::link(elsewhere.path(), folder()));
    } else {
        if (::geteuid() != 0)
            GTEST_SKIP() << "handing a folder to another user needs root";
        ASSERT_TRUE(QDir().mkdir(folder()));
        ASSERT_EQ(::chown(native.constData(), 65534, 65534), 0);
    }

    const Failure failure = recorder->start();
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->message.contains(GetParam().reason)) << failure->message.toStdString();
    std::optional<bool> answer;
    recorder->promptForPermission([&](bool confirmed) { answer = confirmed; });
    EXPECT_EQ(answer, false);
    EXPECT_TRUE(capture->madePaths.isEmpty());
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_TRUE(QDir(folder()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Folders, DictationRecorderUnsafeFolder,
                         ::testing::Values(UnsafeFolder{"Symlink", "symbolic link"},
                                           UnsafeFolder{"OtherOwner", "another user"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DictationRecorderTest, AWriteFaultFailsStopInsteadOfReturningATruncatedFile)
{
    capture->next.failure = QuorError{"Could not save the recording: No space left on device"};
    ASSERT_FALSE(recorder->start());
    const Result<QString> stopped = recorder->stop();
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.error().message, "Could not save the recording: No space left on device");
    // The recording ended all the same; the next dictation starts afresh.
    EXPECT_EQ(recorder->stop().error().message, "Recording was not active");
    capture->next.failure.reset();
    ASSERT_FALSE(recorder->start());
    EXPECT_TRUE(recorder->stop().ok());
}

struct ProbeCase
{
    const char* name;
    MicrophonePermissionState permission;
    bool confirmed;
};

class DictationRecorderProbe : public DictationRecorderTest,
                               public ::testing::WithParamInterface<ProbeCase>
{
};

TEST_P(DictationRecorderProbe, ReportsThePermissionAfterFourTenthsOfASecond)
{
    permission.current = GetParam().permission;
    LogWatch log;
    std::optional<bool> answer;
    int answers = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 answeredAfter = -1;

    recorder->promptForPermission([&](bool confirmed) {
        answer = confirmed;
        ++answers;
        answeredAfter = clock.elapsed();
    });
    EXPECT_FALSE(answer) << "a probe that started reports later, never at once";
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }, 3000));
    spinFor(50);

    EXPECT_EQ(answers, 1);
    EXPECT_EQ(*answer, GetParam().confirmed);
    EXPECT_GE(answeredAfter, 400);
    const QString probe = capture->madePaths.first();
    EXPECT_EQ(QFileInfo(probe).absolutePath(), folder());
    EXPECT_EQ(calls(), QStringList({"prepare " + probe, "recordFor:0.2 " + probe, "stop " + probe,
                                    "destroyed " + probe}));
    EXPECT_TRUE(log.added().contains(QStringLiteral("[Quor] recorder prompt probe confirmed=") +
                                     (GetParam().confirmed ? "true" : "false") + "\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Permissions, DictationRecorderProbe,
    ::testing::Values(ProbeCase{"Granted", MicrophonePermissionState::Granted, true},
                      ProbeCase{"Denied", MicrophonePermissionState::Denied, false},
                      ProbeCase{"Undetermined", MicrophonePermissionState::Undetermined, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DictationRecorderTest, AProbeThatCannotBeMadeAnswersFalseAtOnce)
{
    capture->refusal = QuorError{"Connection refused"};
    LogWatch log;
    std::optional<bool> answer;
    recorder->promptForPermission([&](bool confirmed) { answer = confirmed; });
    ASSERT_TRUE(answer);
    EXPECT_FALSE(*answer);
    EXPECT_TRUE(log.added().contains("[Quor] recorder prompt probe error=Connection refused\n"));
}

TEST_F(DictationRecorderTest, AProbeThatCannotStartAnswersFalseAtOnce)
{
    capture->next.recordOk = false;
    LogWatch log;
    std::optional<bool> answer;
    recorder->promptForPermission([&](bool confirmed) { answer = confirmed; });
    ASSERT_TRUE(answer);
    EXPECT_FALSE(*answer);
    EXPECT_TRUE(log.added().contains("[Quor] recorder prompt probe failed to start\n"));
    EXPECT_TRUE(calls().contains("destroyed " + capture->madePaths.first()));
}

TEST_F(DictationRecorderTest, AProbeDuringARecordingLeavesThatRecordingAlone)
{
    ASSERT_FALSE(recorder->start());
    const QString recording = capture->madePaths.first();
    bool answered = false;
    recorder->promptForPermission([&](bool) { answered = true; });
    ASSERT_TRUE(waitUntil([&] { return answered; }, 3000));

    EXPECT_NE(capture->madePaths.last(), recording);
    EXPECT_FALSE(calls().contains("stop " + recording));
    EXPECT_EQ(recorder->stop().value(), recording);
}

TEST_F(DictationRecorderTest, AProbePendingWhenTheRecorderGoesAwayNeverAnswers)
{
    const auto log = capture->log;
    bool answered = false;
    recorder->promptForPermission([&](bool) { answered = true; });
    recorder.reset(); // the fake capture goes with it
    spinFor(500);
    EXPECT_FALSE(answered);
    EXPECT_EQ(log->calls.filter("destroyed ").size(), 1);
}

} // namespace
