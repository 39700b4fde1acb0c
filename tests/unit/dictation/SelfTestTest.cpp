#include "dictation/DictationCoordinator.h"
#include "dictation/SelfTestDriver.h"
#include "fakes/FakeDictationBackends.h"
#include "fakes/FakeSpeechPlayback.h"
#include "support/QtPrinters.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QThreadPool>
#include <gtest/gtest.h>

namespace {

// The coordinator with fakes whose synthetic hot key drives the fake hot-key back end, so the
// self-test runs the whole pipeline: press, probe, record, play, release, transcribe, insert.
class SelfTestRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        coordinator = std::make_unique<DictationCoordinator>(fakes.make());
        auto keyFake = std::make_unique<FakeSyntheticKeys>();
        keys = keyFake.get();
        keys->onHotKey = [this](bool down) {
            keyTimes << clock.elapsed();
            down ? fakes.hotKey->press() : fakes.hotKey->release();
        };
        speech = std::make_shared<FakeSpeechPlayback>();
        driver =
            new SelfTestDriver(SelfTestBackends{std::move(keyFake), speech}, coordinator.get());
        fakes.accessibility->field->value = QString();
        coordinator->onStateChange = [this](const DictationState& state) { states << state; };
        coordinator->start();
        clock.start();
    }

    FakeDictationBackends fakes;
    std::unique_ptr<DictationCoordinator> coordinator;
    FakeSyntheticKeys* keys = nullptr;
    std::shared_ptr<FakeSpeechPlayback> speech;
    SelfTestDriver* driver = nullptr; // the coordinator's child
    QList<DictationState> states;
    QList<qint64> keyTimes;
    QElapsedTimer clock;
};

TEST_F(SelfTestRun, DictatesThroughTheHotKeyPath)
{
    driver->run("it's \"quoted\"  and spaced");

    ASSERT_TRUE(waitUntil([&] { return fakes.accessibility->field->value == "Hello world."; },
                          10000));
    EXPECT_EQ(keys->posted, (QStringList{"hotkey-down", "hotkey-up"}));
    EXPECT_EQ(keys->hotKeys, (QList<QKeyCombination>(2, HotKey::standard().combination())));
    ASSERT_EQ(keyTimes.size(), 2);
    // The key goes down a second after the prompt exists; playing starts 0.75 s later and
    // the key comes up 0.5 s after playing ends.
    EXPECT_GE(keyTimes[0], 1000);
    EXPECT_GE(keyTimes[1] - keyTimes[0], 1250);
    EXPECT_EQ(speech->calls(),
              (QStringList{"make:it's \"quoted\"  and spaced", "play:" + speech->promptPath}));
    EXPECT_EQ(coordinator->state(), DictationState::idle());
}

TEST_F(SelfTestRun, PressesTheChosenHotKey)
{
    const HotKey key = HotKey::parse("Ctrl+Alt+Space").value();
    ASSERT_FALSE(coordinator->changeHotKey(key));
    driver->run("hello world");
    ASSERT_TRUE(
        waitUntil([&] { return fakes.accessibility->field->value == "Hello world."; }, 10000));
    EXPECT_EQ(keys->hotKeys, (QList<QKeyCombination>(2, key.combination())));
    EXPECT_EQ(fakes.hotKey->grabbed, key.combination());
}

TEST_F(SelfTestRun, PlaybackFailureEndsInErrorWithoutKeyUp)
{
    speech->playFailure = QuorError{"Could not play self-test prompt audio"};
    driver->run("hello world");

    ASSERT_TRUE(waitUntil([&] { return coordinator->state().isError(); }, 10000));
    EXPECT_EQ(coordinator->state(), DictationState::error("Could not play self-test prompt audio"));
    spinFor(700);
    EXPECT_EQ(keys->posted, QStringList{"hotkey-down"});
}

TEST_F(SelfTestRun, PromptFailurePostsNoKey)
{
    speech->promptFailure = QuorError{"Could not create self-test prompt audio"};
    driver->run("hello world");

    ASSERT_TRUE(waitUntil([&] { return coordinator->state().isError(); }, 5000));
    EXPECT_EQ(coordinator->state(),
              DictationState::error("Could not create self-test prompt audio"));
    spinFor(1200);
    EXPECT_TRUE(keys->posted.isEmpty());
    EXPECT_EQ(speech->calls(), QStringList{"make:hello world"});
}

TEST_F(SelfTestRun, APlayerThatNeverEndsIsStoppedWithTheCoordinator)
{
    speech->playsUntilStopped = true;
    driver->run("hello world");
    ASSERT_TRUE(waitUntil([&] { return speech->playing.load(); }, 10000));

    coordinator.reset();

    EXPECT_TRUE(waitUntil([&] { return !speech->playing; }));
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
}

TEST_F(SelfTestRun, EndsQuietlyOnceTheCoordinatorIsGone)
{
    driver->run("hello world");
    coordinator.reset();
    spinFor(1300);
    EXPECT_TRUE(keyTimes.isEmpty());
}

} // namespace
