#include "dictation/HotKeyController.h"

#include "fakes/FakeHotKeyBackend.h"

#include <gtest/gtest.h>

namespace {

struct HotKeyCase
{
    const char* name;
    std::uint32_t signature;
    std::uint32_t id;
    int kind;
    int presses;
    int releases;
};

class HotKeyControllerEvents : public ::testing::TestWithParam<HotKeyCase>
{
};

TEST_P(HotKeyControllerEvents, CallsTheCallbackOfTheEventKind)
{
    const HotKeyCase& c = GetParam();
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    int presses = 0;
    int releases = 0;
    controller.onPress = [&] { ++presses; };
    controller.onRelease = [&] { ++releases; };
    ASSERT_FALSE(controller.start());

    const HotKeyEvent event{c.signature, c.id, c.kind};
    EXPECT_EQ(fake->deliver(&event), 0);
    EXPECT_EQ(presses, c.presses);
    EXPECT_EQ(releases, c.releases);
}

constexpr std::uint32_t quor = 0x51554F52;

INSTANTIATE_TEST_SUITE_P(
    Table, HotKeyControllerEvents,
    ::testing::Values(HotKeyCase{"Pressed", quor, 1, HotKeyEvent::Pressed, 1, 0},
                      HotKeyCase{"Released", quor, 1, HotKeyEvent::Released, 0, 1},
                      HotKeyCase{"OtherKind", quor, 1, 7, 0, 0},
                      HotKeyCase{"ZeroKind", quor, 1, 0, 0, 0},
                      HotKeyCase{"OtherId", quor, 2, HotKeyEvent::Pressed, 0, 0},
                      HotKeyCase{"ZeroIdUnreadable", 0, 0, HotKeyEvent::Released, 0, 0},
                      HotKeyCase{"ForeignSignatureStillOurs", 0x41424344, 1, HotKeyEvent::Pressed,
                                 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HotKeyController, AbsentEventIsNotHandled)
{
    HotKeyController controller(std::make_unique<FakeHotKeyBackend>());
    int calls = 0;
    controller.onPress = [&] { ++calls; };
    EXPECT_EQ(controller.handleEvent(nullptr), HotKeyController::EventNotHandled);
    EXPECT_EQ(calls, 0);
}

TEST(HotKeyController, HandlesEventsWithoutCallbacks)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    ASSERT_FALSE(controller.start());
    EXPECT_EQ(fake->press(), 0);
    EXPECT_EQ(fake->release(), 0);
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
    EXPECT_EQ(fake->press(), std::nullopt); // no handler was installed
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
    EXPECT_EQ(fake->press(), 0);
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
