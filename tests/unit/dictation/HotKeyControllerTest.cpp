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

    EXPECT_EQ(controller.start(), fake->failure);
    EXPECT_EQ(fake->registerCalls, 1);
    EXPECT_EQ(fake->press(), std::nullopt); // no handler was installed
    EXPECT_EQ(calls, 0);
}

} // namespace
