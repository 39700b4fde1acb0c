#include "dictation/WhisperTranscriber.h"

#include "fakes/FakeTranscriber.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QtEndian>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

// Blocks inside the run until released or stopped, and notes the thread it ran on.
class GatedTranscriber : public OneShotWhisperTranscriber
{
public:
    Result<QString> transcribe(const QString& audioFile, ChildProcessStop& stop) const override
    {
        thread = QThread::currentThread();
        started = true;
        while (!released && !stop.stopRequested())
            QThread::msleep(1);
        stopped = stop.stopRequested();
        return audioFile + " done";
    }

    mutable std::atomic<QThread*> thread{nullptr};
    mutable std::atomic<bool> started{false};
    mutable std::atomic<bool> stopped{false};
    std::atomic<bool> released{false};
};

// A WAV file of `seconds` at the recorder's format (16 kHz mono 16-bit) or at `byteRate`.
QString writeWav(const QTemporaryDir& dir, double seconds, quint32 byteRate = 32000)
{
    QByteArray header("RIFF\0\0\0\0WAVEfmt ", 16);
    header.append(QByteArray(28, '\0'));
    qToLittleEndian<quint32>(byteRate, header.data() + 28);
    const QString path = dir.filePath(QStringLiteral("%1-%2.wav").arg(seconds).arg(byteRate));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(header + QByteArray(qsizetype(seconds * byteRate), '\0'));
    return path;
}

} // namespace

TEST(WhisperTranscriber, RunsOffTheMainThreadAndResumesOnItAfterTheCallerReturns)
{
    auto cli = std::make_shared<GatedTranscriber>();
    WhisperTranscriber transcriber(cli);
    QObject context;
    std::optional<Result<QString>> answer;
    QThread* resumedOn = nullptr;

    transcriber.transcribe("/tmp/a.wav", &context, [&](Result<QString> result) {
        resumedOn = QThread::currentThread();
        answer = std::move(result);
    });
    ASSERT_TRUE(waitUntil([&] { return cli->started.load(); }));
    EXPECT_NE(cli->thread.load(), QThread::currentThread());

    // The main thread stays live while the run blocks.
    spinFor(20);
    EXPECT_FALSE(answer.has_value());

    cli->released = true;
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(resumedOn, QThread::currentThread());
    ASSERT_TRUE(answer->ok());
    EXPECT_EQ(answer->value(), "/tmp/a.wav done");
}

TEST(WhisperTranscriber, PassesTheErrorOnUnchangedAndNeverAnswersInsideTheCall)
{
    auto cli = std::make_shared<FakeTranscriber>(QuorError{"error: failed to initialize"});
    WhisperTranscriber transcriber(cli);
    QObject context;
    std::optional<Result<QString>> answer;

    transcriber.transcribe("/tmp/b.wav", &context, [&](Result<QString> r) { answer = r; });
    EXPECT_FALSE(answer.has_value());

    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    ASSERT_FALSE(answer->ok());
    EXPECT_EQ(answer->error().message, "error: failed to initialize");
    EXPECT_EQ(cli->calls(), QStringList{"/tmp/b.wav"});
}

TEST(WhisperTranscriber, DropsTheAnswerOnceTheContextIsGoneButFinishesTheRun)
{
    auto cli = std::make_shared<GatedTranscriber>();
    WhisperTranscriber transcriber(cli);
    auto context = std::make_unique<QObject>();
    bool called = false;

    transcriber.transcribe("/tmp/c.wav", context.get(), [&](Result<QString>) { called = true; });
    ASSERT_TRUE(waitUntil([&] { return cli->started.load(); }));
    context.reset();
    cli->released = true;

    // The run itself is not cancelled: let it finish, then give stray events a chance.
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
    spinFor(20);
    EXPECT_FALSE(called);
    EXPECT_FALSE(cli->stopped.load());
}

TEST(WhisperTranscriber, TimeLimitGrowsWithTheRecording)
{
    QTemporaryDir dir;
    const TranscriptionTimeLimit limit; // the app's own
    const struct
    {
        QString audio;
        double seconds;
        std::chrono::milliseconds allowed;
    } cases[] = {
        {writeWav(dir, 0), 0, std::chrono::milliseconds(180000)},
        {writeWav(dir, 2.5), 2.5, std::chrono::milliseconds(205000)},
        {writeWav(dir, 30), 30, std::chrono::milliseconds(480000)},
        // Another format's header is read as it says: 1 s at 48 kHz stereo.
        {writeWav(dir, 1, 192000), 1, std::chrono::milliseconds(190000)},
        {dir.filePath("missing.wav"), 0, std::chrono::milliseconds(180000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.audio.toStdString());
        EXPECT_DOUBLE_EQ(WhisperTranscriber::recordingSeconds(c.audio), c.seconds);
        EXPECT_EQ(limit.forAudioOf(c.seconds), c.allowed);
    }
}

TEST(WhisperTranscriber, ARunPastItsTimeLimitIsStoppedAndReportedOnce)
{
    auto cli = std::make_shared<GatedTranscriber>();
    QTemporaryDir dir;
    // 0.1 s plus 1× the length: 0.2 s for this 0.1 s recording.
    WhisperTranscriber transcriber(cli, {std::chrono::milliseconds(100), 1.0});
    QObject context;
    QList<Result<QString>> answers;
    QElapsedTimer clock;
    clock.start();

    transcriber.transcribe(writeWav(dir, 0.1), &context, [&](Result<QString> r) { answers << r; });
    ASSERT_TRUE(waitUntil([&] { return !answers.isEmpty(); }));
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 150); // not the base alone

    ASSERT_FALSE(answers.first().ok());
    EXPECT_EQ(answers.first().error().message, "Transcription took too long");
    EXPECT_FALSE(transcriber.isRunning());
    // The run itself was stopped, and its late answer is dropped.
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
    EXPECT_TRUE(cli->stopped.load());
    spinFor(20);
    EXPECT_EQ(answers.size(), 1);
}

TEST(WhisperTranscriber, CancelledOrDestroyedRunsAreStoppedWithoutAnAnswer)
{
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "cancelled");
        auto cli = std::make_shared<GatedTranscriber>();
        auto transcriber = std::make_unique<WhisperTranscriber>(cli);
        QObject context;
        bool called = false;

        transcriber->transcribe("/tmp/d.wav", &context, [&](Result<QString>) { called = true; });
        ASSERT_TRUE(waitUntil([&] { return cli->started.load(); }));
        EXPECT_TRUE(transcriber->isRunning());
        if (destroy) {
            transcriber.reset();
        } else {
            transcriber->cancelAll();
            EXPECT_FALSE(transcriber->isRunning());
        }

        ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
        EXPECT_TRUE(cli->stopped.load());
        spinFor(20);
        EXPECT_FALSE(called);
    }
}
