#include "dictation/WhisperTranscriber.h"

#include "fakes/FakeTranscriber.h"
#include "support/Wait.h"

#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

// Blocks inside the run until released, and notes the thread it ran on.
class GatedTranscriber : public OneShotWhisperTranscriber
{
public:
    Result<QString> transcribe(const QString& audioURL) const override
    {
        thread = QThread::currentThread();
        started = true;
        while (!released)
            QThread::msleep(1);
        return audioURL + " done";
    }

    mutable std::atomic<QThread*> thread{nullptr};
    mutable std::atomic<bool> started{false};
    std::atomic<bool> released{false};
};

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
}
