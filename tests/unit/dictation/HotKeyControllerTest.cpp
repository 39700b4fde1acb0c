#include "dictation/HotKeyController.h"

#include "fakes/FakeHotKeyBackend.h"

#include <gtest/gtest.h>

namespace {

TEST(HotKeyController, PressAndReleaseCallTheirCallbacks)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    QStringList calls;
    controller.onPress = [&] { calls << "press"; };
    controller.onRelease = [&] { calls << "release"; };
    ASSERT_FALSE(controller.start());

    EXPECT_TRUE(fake->press());
    EXPECT_TRUE(fake->release());
    EXPECT_EQ(calls, QStringList({"press", "release"}));
}

TEST(HotKeyController, HandlesTransitionsWithoutCallbacks)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    ASSERT_FALSE(controller.start());
    EXPECT_TRUE(fake->press());
    EXPECT_TRUE(fake->release());
}

TEST(HotKeyController, StartRegistersOnceAndReportsTheRefusal)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    fake->failure = QStringLiteral("Super + D is already taken by another program");
    HotKeyController controller(std::move(backend));
    int calls = 0;
    controller.onPress = [&] { ++calls; };

    const std::optional<QString> failure = controller.start();
    ASSERT_TRUE(failure);
    // Names the key, the reason, and where to choose another.
    EXPECT_TRUE(failure->startsWith("Super + D could not be registered: " + *fake->failure))
        << failure->toStdString();
    EXPECT_TRUE(failure->contains("Settings")) << failure->toStdString();
    EXPECT_EQ(controller.problem(), failure);
    EXPECT_EQ(fake->registerCalls, 1);
    EXPECT_FALSE(fake->press()); // no handler was installed
    EXPECT_EQ(calls, 0);
}

TEST(HotKeyController, RegistersTheChosenKey)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    const HotKey f9 = HotKey::parse("F9").value();
    HotKeyController controller(std::move(backend), f9);
    ASSERT_FALSE(controller.start());
    EXPECT_EQ(fake->grabbed, QKeyCombination(Qt::Key_F9));
}

TEST(HotKeyController, ChangeBeforeStartOnlyChoosesTheKey)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    const HotKey key = HotKey::parse("Ctrl+Alt+Space").value();
    EXPECT_FALSE(controller.change(key));
    EXPECT_EQ(fake->registerCalls, 0);
    ASSERT_FALSE(controller.start());
    EXPECT_EQ(fake->registered, QList<QKeyCombination>{key.combination()});
}

TEST(HotKeyController, RefusedChangeKeepsTheWorkingKey)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    const HotKey taken = HotKey::parse("Ctrl+Alt+T").value();
    fake->refused << taken.combination();
    HotKeyController controller(std::move(backend));
    int presses = 0;
    controller.onPress = [&] { ++presses; };
    ASSERT_FALSE(controller.start());

    const std::optional<QString> failure = controller.change(taken);
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith("Ctrl + Alt + T could not be registered: another program"))
        << failure->toStdString();
    EXPECT_EQ(controller.hotKey(), HotKey::standard());
    EXPECT_FALSE(controller.problem());
    EXPECT_TRUE(fake->press());
    EXPECT_EQ(presses, 1);
}

TEST(HotKeyController, WorkingChangeClearsTheProblemOfAKeyThatNeverWorked)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    fake->refused << HotKey::standard().combination();
    HotKeyController controller(std::move(backend));
    ASSERT_TRUE(controller.start());
    ASSERT_TRUE(controller.problem());

    const HotKey key = HotKey::parse("Ctrl+Alt+Space").value();
    EXPECT_FALSE(controller.change(key));
    EXPECT_EQ(controller.hotKey(), key);
    EXPECT_FALSE(controller.problem());
    EXPECT_EQ(fake->grabbed, key.combination());
}

} // namespace
