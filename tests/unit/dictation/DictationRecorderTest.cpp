#include "dictation/DictationRecorder.h"

#include "fakes/FakeAudioCapture.h"
#include "support/QtPrinters.h"
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

// A recorder on the fake capture, with its temporary directory of its own. Files are not
// kept (the debug log is off) unless a test makes a recorder that keeps them.
class DictationRecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid());
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        makeRecorder(false);
    }
    void TearDown() override
    {
        recorder.reset();
        qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
    }

    void makeRecorder(bool keepFiles)
    {
        recorder.reset();
        auto backend = std::make_unique<FakeAudioCapture>();
        capture = backend.get();
        recorder = std::make_unique<DictationRecorder>(std::move(backend), keepFiles);
    }
    QString folder() const { return QDir::cleanPath(m_runtime.path()) + "/QuorDictation"; }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files); }
    QStringList calls() const { return capture->log->calls; }

    QTemporaryDir m_runtime;
    QByteArray m_savedRuntime;
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
    EXPECT_TRUE(QFile::exists(path)) << "the transcription still needs it";
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

// The probe confirms by the capture's first samples, later and on the main thread.
struct ProbeCase
{
    const char* name;
    FakeAudioRecording::FirstSamples firstSamples;
    bool confirmed;
};

class DictationRecorderProbe : public DictationRecorderTest,
                               public ::testing::WithParamInterface<ProbeCase>
{
};

TEST_P(DictationRecorderProbe, ReportsTheFirstSamplesAndLeavesNoFile)
{
    capture->next.firstSamples = GetParam().firstSamples;
    LogWatch log;
    std::optional<bool> answer;
    int answers = 0;
    recorder->promptForPermission([&](bool confirmed) {
        answer = confirmed;
        ++answers;
    });
    EXPECT_FALSE(answer) << "a probe that started reports later, never at once";
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }, 3000));
    spinFor(50);

    EXPECT_EQ(answers, 1);
    EXPECT_EQ(*answer, GetParam().confirmed);
    const QString probe = capture->madePaths.first();
    EXPECT_EQ(QFileInfo(probe).absolutePath(), folder());
    EXPECT_EQ(calls(), QStringList({"prepare " + probe, "record " + probe, "destroyed " + probe}));
    EXPECT_TRUE(files().isEmpty()) << "no probe file outlives its probe";
    EXPECT_TRUE(log.added().contains(QStringLiteral("[Quor] recorder prompt probe confirmed=") +
                                     (GetParam().confirmed ? "true" : "false") + "\n"));
    // Nothing was kept for a recording: a start opens a capture of its own.
    ASSERT_FALSE(recorder->start());
    EXPECT_EQ(capture->madePaths.size(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Captures, DictationRecorderProbe,
    ::testing::Values(ProbeCase{"Samples", FakeAudioRecording::FirstSamples::AtOnce, true},
                      ProbeCase{"CaptureEnded", FakeAudioRecording::FirstSamples::Fail, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DictationRecorderTest, ASilentCaptureIsGivenUpAfterItsTimeLimit)
{
    capture->next.firstSamples = FakeAudioRecording::FirstSamples::Never;
    LogWatch log;
    std::optional<bool> answer;
    QElapsedTimer clock;
    clock.start();
    recorder->promptForPermission([&](bool confirmed) { answer = confirmed; }, true);
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }, 5000));
    EXPECT_GE(clock.elapsed(), DictationRecorder::firstSamplesTimeoutMs);
    EXPECT_FALSE(*answer);
    EXPECT_TRUE(log.added().contains("[Quor] recorder prompt probe error=no sound from the "
                                     "microphone within 2.5 s\n"));
    EXPECT_EQ(capture->openCount(), 0) << "the silent capture was closed";
    EXPECT_TRUE(files().isEmpty());
    // The recording that was to take it over cannot start.
    const Failure failure = recorder->start();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "Could not start recording");
    // The next probe starts afresh.
    capture->next.firstSamples = FakeAudioRecording::FirstSamples::AtOnce;
    answer.reset();
    recorder->promptForPermission([&](bool confirmed) { answer = confirmed; }, true);
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(*answer);
}

TEST_F(DictationRecorderTest, AProbeForARecordingBecomesThatRecording)
{
    capture->next.firstSamples = FakeAudioRecording::FirstSamples::Never;
    std::optional<bool> answer;
    recorder->promptForPermission([&](bool confirmed) { answer = confirmed; }, true);
    const QString path = capture->madePaths.first();
    spinFor(20);
    EXPECT_FALSE(answer);
    ASSERT_TRUE(capture->deliver(path, true));
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(*answer);

    ASSERT_FALSE(recorder->start());
    EXPECT_EQ(capture->madePaths.size(), 1) << "no second capture";
    EXPECT_EQ(recorder->stop().value(), path);
    EXPECT_EQ(calls(), QStringList({"prepare " + path, "record " + path, "stop " + path,
                                    "destroyed " + path}));
}

TEST_F(DictationRecorderTest, ProbesWhileOneWaitsShareItsCapture)
{
    capture->next.firstSamples = FakeAudioRecording::FirstSamples::Never;
    QList<bool> answers;
    recorder->promptForPermission([&](bool confirmed) { answers << confirmed; }, true);
    recorder->promptForPermission([&](bool confirmed) { answers << confirmed; });
    EXPECT_EQ(capture->madePaths.size(), 1);
    ASSERT_TRUE(capture->deliver(capture->madePaths.first(), true));
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 2; }));
    // Once confirmed, a further probe answers from it too.
    recorder->promptForPermission([&](bool confirmed) { answers << confirmed; });
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 3; }));
    EXPECT_EQ(answers, (QList<bool>{true, true, true}));
    EXPECT_EQ(capture->madePaths.size(), 1);
    EXPECT_EQ(capture->openCount(), 1);
}

TEST_F(DictationRecorderTest, ADiscardedCaptureClosesAndNeverAnswers)
{
    capture->next.firstSamples = FakeAudioRecording::FirstSamples::Never;
    bool answered = false;
    recorder->promptForPermission([&](bool) { answered = true; }, true);
    const QString path = capture->madePaths.first();
    EXPECT_TRUE(QFile::exists(path));
    recorder->discardPendingCapture();
    EXPECT_EQ(capture->openCount(), 0);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(capture->deliver(path, true)) << "a closed capture reports nothing";
    spinFor(50);
    EXPECT_FALSE(answered);
    // A start after it opens a capture of its own.
    ASSERT_FALSE(recorder->start());
    EXPECT_EQ(capture->madePaths.size(), 2);
}

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
    EXPECT_TRUE(files().isEmpty());
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
    capture->next.firstSamples = FakeAudioRecording::FirstSamples::Never;
    const auto log = capture->log;
    bool answered = false;
    recorder->promptForPermission([&](bool) { answered = true; });
    recorder.reset(); // the fake capture goes with it
    spinFor(100);
    EXPECT_FALSE(answered);
    EXPECT_EQ(log->calls.filter("destroyed ").size(), 1);
}

// Which files stay: a recording until its holder lets go, a replaced or failed one not at
// all, and everything when files are kept for diagnosis.
TEST_F(DictationRecorderTest, FilesGoOnceNothingNeedsThemUnlessKept)
{
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep);
        makeRecorder(keep);
        for (const QString& name : files())
            QFile::remove(folder() + "/" + name);

        ASSERT_FALSE(recorder->start());
        ASSERT_FALSE(recorder->start()); // replaces the first
        const QString replaced = capture->madePaths.at(0);
        const Result<QString> stopped = recorder->stop();
        ASSERT_TRUE(stopped.ok());
        std::shared_ptr<RecordingFile> file = recorder->takeFile(stopped.value());
        EXPECT_TRUE(QFile::exists(stopped.value()));
        file.reset();
        EXPECT_EQ(QFile::exists(stopped.value()), keep);
        EXPECT_EQ(QFile::exists(replaced), keep);

        capture->next.failure = QuorError{"Could not save the recording: disk full"};
        ASSERT_FALSE(recorder->start());
        const QString faulty = capture->madePaths.last();
        ASSERT_FALSE(recorder->stop().ok());
        EXPECT_EQ(QFile::exists(faulty), keep);
        capture->next.failure.reset();
        EXPECT_EQ(files().size(), keep ? 3 : 0);
    }
}

TEST_F(DictationRecorderTest, LeftoversOfAnEarlierRunAreRemovedUnlessKept)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QStringList leftovers = {"0A1B2C3D-0000-4000-8000-00000000000F.wav",
                                   "FFFFFFFF-1111-4222-8333-444444444444.wav"};
    const QStringList others = {"self-test-prompt.wav", "wendlo.socket", "notes.wav",
                                "QuorDictation.log"};
    for (const QString& name : leftovers + others) {
        QFile file(folder() + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    makeRecorder(true);
    recorder->removeLeftovers();
    EXPECT_EQ(files().size(), 6);

    makeRecorder(false);
    LogWatch log;
    recorder->removeLeftovers();
    QStringList remaining = files();
    QStringList expected = others;
    remaining.sort();
    expected.sort();
    EXPECT_EQ(remaining, expected);
    EXPECT_TRUE(log.added().contains("[Quor] removed 2 recordings left by an earlier run\n"));
}

} // namespace
