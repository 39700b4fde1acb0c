// The real Super+D grab on a private X display: keys come from XTest (ours, or xdotool's).
#include "dictation/HotKeyController.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/X11KeyMap.h"
#include "platform/x11/XTestSyntheticKeys.h"
#include "support/Wait.h"

#include <QProcess>
#include <QStringList>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <xcb/xtest.h>

void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '[' << list.join(", ").toStdString() << ']';
}

namespace {

class X11HotKey : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto x11 = X11Connection::ofApplication();
        ASSERT_TRUE(x11) << "needs the xcb platform";
        m_x11 = *x11;
        controller = std::make_unique<HotKeyController>(
            std::make_unique<X11HotKeyBackend>(m_x11.connection, m_x11.root));
        controller->onPress = [this] { events << "press"; };
        controller->onRelease = [this] { events << "release"; };
    }

    void xdotool(const QStringList& arguments) { run("xdotool", arguments); }

    void run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.start(program, arguments);
        // Its keys reach us through the event loop, so keep it turning while xdotool runs.
        ASSERT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 5000));
        ASSERT_EQ(process.exitCode(), 0)
            << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    }

    X11Connection m_x11;
    std::unique_ptr<HotKeyController> controller;
    QStringList events;
};

// Half a second is a normal hold; 1.2 s outlasts the server's 660 ms repeat delay, so the
// held D key auto-repeats.
class X11HotKeyHold : public X11HotKey, public ::testing::WithParamInterface<int>
{
};

TEST_P(X11HotKeyHold, IsOnePressThenOneRelease)
{
    ASSERT_EQ(controller->start(), std::nullopt);
    xdotool({"keydown", "super+d"});
    ASSERT_TRUE(waitUntil([&] { return !events.isEmpty(); }, 2000));
    spinFor(GetParam());
    xdotool({"keyup", "super+d"});
    ASSERT_TRUE(waitUntil([&] { return events.size() >= 2; }, 2000));
    spinFor(100);
    EXPECT_EQ(events, QStringList({"press", "release"}));
}

INSTANTIATE_TEST_SUITE_P(Milliseconds, X11HotKeyHold, ::testing::Values(500, 1200));

TEST_F(X11HotKey, FiresWithCapsLockAndNumLockOn)
{
    ASSERT_EQ(controller->start(), std::nullopt);
    xdotool({"key", "Caps_Lock", "Num_Lock"});
    xdotool({"key", "super+d"});
    xdotool({"key", "Caps_Lock", "Num_Lock"});
    ASSERT_TRUE(waitUntil([&] { return events.size() >= 2; }, 2000));
    EXPECT_EQ(events, QStringList({"press", "release"}));
}

TEST_F(X11HotKey, IgnoresDWithoutSuperAndOtherSuperChords)
{
    ASSERT_EQ(controller->start(), std::nullopt);
    xdotool({"key", "d", "super+e", "ctrl+d"});
    spinFor(200);
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(X11HotKey, SelfTestKeysGoThroughTheGrab)
{
    ASSERT_EQ(controller->start(), std::nullopt);
    XTestSyntheticKeys keys(m_x11.connection, m_x11.root);
    ASSERT_TRUE(keys.postHotKey(HotKey::standard().combination(), true));
    ASSERT_TRUE(waitUntil([&] { return !events.isEmpty(); }, 2000));
    spinFor(300);
    ASSERT_TRUE(keys.postHotKey(HotKey::standard().combination(), false));
    ASSERT_TRUE(waitUntil([&] { return events.size() >= 2; }, 2000));
    EXPECT_EQ(events, QStringList({"press", "release"}));
}

TEST_F(X11HotKey, GrabHeldByAnotherClientIsReportedAndFiresNothing)
{
    // Another program, on its own connection, holds Super+D first.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    {
        const X11KeyMap keyMap(other);
        const xcb_keycode_t d = keyMap.keycode(0x0064);
        const std::uint16_t super = keyMap.modifierMask(0xffeb, XCB_MOD_MASK_4);
        xcb_generic_error_t* error = xcb_request_check(
            other, xcb_grab_key_checked(other, 0, m_x11.root, super, d, XCB_GRAB_MODE_ASYNC,
                                        XCB_GRAB_MODE_ASYNC));
        ASSERT_EQ(error, nullptr);
    }

    const std::optional<QString> failure = controller->start();
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith("Super + D could not be registered: another program already "
                                    "uses it."))
        << failure->toStdString();

    xdotool({"key", "super+d"});
    spinFor(200);
    EXPECT_TRUE(events.isEmpty());
    xcb_disconnect(other);
}

TEST_F(X11HotKey, ReleasingTheGrabLetsAnotherControllerTakeIt)
{
    ASSERT_EQ(controller->start(), std::nullopt);
    controller.reset();
    HotKeyController second(std::make_unique<X11HotKeyBackend>(m_x11.connection, m_x11.root));
    int presses = 0;
    second.onPress = [&] { ++presses; };
    ASSERT_EQ(second.start(), std::nullopt);
    xdotool({"key", "super+d"});
    EXPECT_TRUE(waitUntil([&] { return presses == 1; }, 2000));
}

// Other keys than Super+D, held as xdotool holds them (modifiers first, then the key).
struct ChosenKeyCase
{
    const char* name;
    const char* hotKey;   // as the setting holds it
    const char* xdotool;  // the same key for xdotool
    const char* otherKey; // a near miss that must not fire
};

class X11ChosenKey : public X11HotKey, public ::testing::WithParamInterface<ChosenKeyCase>
{
};

TEST_P(X11ChosenKey, HoldIsOnePressThenOneReleaseAndNearMissesDoNothing)
{
    const ChosenKeyCase& c = GetParam();
    ASSERT_EQ(controller->change(HotKey::parse(c.hotKey).value()), std::nullopt);
    ASSERT_EQ(controller->start(), std::nullopt);
    xdotool({"key", c.otherKey});
    spinFor(150);
    EXPECT_TRUE(events.isEmpty()) << c.otherKey;
    xdotool({"keydown", c.xdotool});
    ASSERT_TRUE(waitUntil([&] { return !events.isEmpty(); }, 2000));
    spinFor(900); // past the repeat delay
    xdotool({"keyup", c.xdotool});
    ASSERT_TRUE(waitUntil([&] { return events.size() >= 2; }, 2000));
    spinFor(100);
    EXPECT_EQ(events, QStringList({"press", "release"}));
}

INSTANTIATE_TEST_SUITE_P(Keys, X11ChosenKey,
                         ::testing::Values(ChosenKeyCase{"CtrlAltSpace", "Ctrl+Alt+Space",
                                                         "ctrl+alt+space", "ctrl+space"},
                                           ChosenKeyCase{"F9", "F9", "F9", "F10"},
                                           ChosenKeyCase{"Keypad5", "Num+5", "KP_5", "5"},
                                           ChosenKeyCase{"ShiftF12", "Shift+F12", "shift+F12",
                                                         "F12"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(X11HotKey, ChangeGrabsTheNewKeyBeforeLettingTheOldGo)
{
    // Another program holds Ctrl+Alt+T (a terminal binding).
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    {
        const X11KeyMap keyMap(other);
        ASSERT_EQ(xcb_request_check(
                      other, xcb_grab_key_checked(
                                 other, 0, m_x11.root,
                                 keyMap.modifierMask(Qt::ControlModifier | Qt::AltModifier),
                                 keyMap.keycode(0x0074), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
                  nullptr);
    }
    ASSERT_EQ(controller->start(), std::nullopt);
    const std::optional<QString> refused = controller->change(HotKey::parse("Ctrl+Alt+T").value());
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused, "Ctrl + Alt + T could not be registered: another program already uses it.");
    // Super+D still works.
    xdotool({"key", "super+d"});
    ASSERT_TRUE(waitUntil([&] { return events.size() >= 2; }, 2000));
    events.clear();

    ASSERT_EQ(controller->change(HotKey::parse("Ctrl+Alt+Space").value()), std::nullopt);
    xdotool({"key", "super+d"});
    spinFor(200);
    EXPECT_TRUE(events.isEmpty()) << "the old key is still grabbed";
    xdotool({"key", "ctrl+alt+space"});
    EXPECT_TRUE(waitUntil([&] { return events.size() >= 2; }, 2000));
    xcb_disconnect(other);
}

// The layout changes under a running grab: D moves to another keycode. xmodmap rewrites the core
// mapping, setxkbmap loads a whole new keyboard (its notice differs).
struct MappingCase
{
    const char* name;
    QString program;
    QStringList change;
    QStringList restore;
    xcb_keycode_t newD; // where D is afterwards; keycode 40 then types E
};

void PrintTo(const MappingCase& c, std::ostream* out)
{
    *out << c.name;
}

class X11HotKeyMapping : public X11HotKey, public ::testing::WithParamInterface<MappingCase>
{
protected:
    void TearDown() override
    {
        if (!restore.isEmpty())
            run(GetParam().program, restore);
    }

    // Whether another client may grab Super+`code` (then it lets go at once).
    bool othersCanGrabSuperWith(xcb_keycode_t code)
    {
        xcb_connection_t* other = xcb_connect(nullptr, nullptr);
        const X11KeyMap keyMap(other);
        const std::uint16_t super = keyMap.modifierMask(0xffeb, XCB_MOD_MASK_4);
        xcb_generic_error_t* error = xcb_request_check(
            other, xcb_grab_key_checked(other, 0, m_x11.root, super, code, XCB_GRAB_MODE_ASYNC,
                                        XCB_GRAB_MODE_ASYNC));
        const bool granted = error == nullptr;
        std::free(error);
        xcb_disconnect(other); // ends its grab too
        return granted;
    }

    QStringList restore;
};

TEST_P(X11HotKeyMapping, GrabFollowsTheKeyToItsNewKeycode)
{
    const MappingCase& c = GetParam();
    ASSERT_EQ(controller->start(), std::nullopt);
    ASSERT_EQ(X11KeyMap(m_x11.connection).keycode(0x0064), 40);
    restore = c.restore;
    run(c.program, c.change);
    ASSERT_EQ(X11KeyMap(m_x11.connection).keycode(0x0064), c.newD);

    // The new grab follows the server's notice through our event loop; until then a press goes
    // elsewhere, so press again until one arrives.
    bool arrived = false;
    for (int attempt = 0; attempt < 10 && !arrived; ++attempt) {
        xdotool({"keydown", "super+d"});
        arrived = waitUntil([&] { return !events.isEmpty(); }, 300);
        if (!arrived)
            xdotool({"keyup", "super+d"});
    }
    ASSERT_TRUE(arrived) << "Super+D on keycode " << int(c.newD) << " never reached the grab";
    xdotool({"keyup", "super+d"});
    ASSERT_TRUE(waitUntil([&] { return events.size() >= 2; }, 2000));
    spinFor(100);
    EXPECT_EQ(events, QStringList({"press", "release"}));
    EXPECT_TRUE(othersCanGrabSuperWith(40)) << "the stale grab of keycode 40 stayed";
    EXPECT_FALSE(othersCanGrabSuperWith(c.newD));
}

TEST_P(X11HotKeyMapping, KeyHeldThroughTheChangeStillReleases)
{
    const MappingCase& c = GetParam();
    ASSERT_EQ(controller->start(), std::nullopt);
    xdotool({"keydown", "super+d"});
    ASSERT_TRUE(waitUntil([&] { return !events.isEmpty(); }, 2000));
    restore = c.restore;
    run(c.program, c.change);
    spinFor(300); // the regrab
    // The finger lifts the key it pressed, keycode 40, which types E by now.
    xcb_test_fake_input(m_x11.connection, XCB_KEY_RELEASE, 40, XCB_CURRENT_TIME, m_x11.root, 0, 0,
                        0);
    xdotool({"keyup", "super"});
    ASSERT_TRUE(waitUntil([&] { return events.size() >= 2; }, 2000));
    EXPECT_EQ(events, QStringList({"press", "release"}));
}

// Another program already holds Super on the keycode D moves to: the regrab fails, which the
// user must see as the problem a failed first grab is; a later regrab that works ends it.
TEST_P(X11HotKeyMapping, RegrabRefusedAfterTheChangeIsTheProblemUntilARegrabWorks)
{
    const MappingCase& c = GetParam();
    ASSERT_EQ(controller->start(), std::nullopt);
    int changes = 0;
    controller->onStatusChange = [&] { ++changes; };
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    {
        const std::uint16_t super = X11KeyMap(other).modifierMask(0xffeb, XCB_MOD_MASK_4);
        xcb_generic_error_t* error = xcb_request_check(
            other, xcb_grab_key_checked(other, 0, m_x11.root, super, c.newD, XCB_GRAB_MODE_ASYNC,
                                        XCB_GRAB_MODE_ASYNC));
        ASSERT_EQ(error, nullptr);
    }

    restore = c.restore;
    run(c.program, c.change);
    ASSERT_TRUE(waitUntil([&] { return controller->problem().has_value(); }, 3000))
        << "the refused regrab was not reported";
    EXPECT_TRUE(controller->problem()->startsWith("Super + D could not be registered: another "
                                                  "program already uses it. Choose another hot "
                                                  "key in Settings"))
        << controller->problem()->toStdString();
    EXPECT_EQ(changes, 1);

    // The layout goes back: D is on a keycode nobody else holds, and the grab works again.
    xcb_disconnect(other);
    run(c.program, c.restore);
    ASSERT_TRUE(waitUntil([&] { return !controller->problem().has_value(); }, 3000))
        << controller->problem()->toStdString();
    EXPECT_EQ(changes, 2);
    xdotool({"key", "super+d"});
    EXPECT_TRUE(waitUntil([&] { return events.size() >= 2; }, 2000));
    EXPECT_EQ(events, QStringList({"press", "release"}));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, X11HotKeyMapping,
    ::testing::Values(MappingCase{"xmodmap",
                                  "xmodmap",
                                  {"-e", "keycode 40 = e E e E", "-e", "keycode 93 = d D d D"},
                                  {"-e", "keycode 40 = d D d D", "-e", "keycode 93 ="},
                                  93},
                      MappingCase{"setxkbmap",
                                  "setxkbmap",
                                  {"-layout", "us", "-variant", "dvorak"},
                                  {"-layout", "us", "-variant", ""},
                                  43}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
