#include "platform/wayland/SwayFocus.h"
#include "platform/wayland/WtypeSyntheticKeys.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

// A trimmed `swaymsg -t get_tree`: an output, a workspace, a tiled native window, a floating
// XWayland window.
QJsonObject tree(const char* focused)
{
    const QByteArray json =
        QByteArray(R"({
      "type": "root", "focused": false, "nodes": [{
        "type": "output", "name": "HEADLESS-1", "focused": false, "nodes": [{
          "type": "workspace", "name": "1", "focused": WS, "nodes": [{
            "type": "con", "app_id": "org.gnome.TextEditor", "pid": 41, "focused": NATIVE,
            "nodes": []
          }],
          "floating_nodes": [{
            "type": "floating_con", "app_id": null, "pid": 42, "focused": X11,
            "window_properties": {"class": "XTerm", "instance": "xterm"}, "nodes": []
          }]
        }]
      }]
    })")
            .replace("WS", std::string_view(focused) == "ws" ? "true" : "false")
            .replace("NATIVE", std::string_view(focused) == "native" ? "true" : "false")
            .replace("X11", std::string_view(focused) == "x11" ? "true" : "false");
    return QJsonDocument::fromJson(json).object();
}

TEST(SwayFocus, FindsTheFocusedWindowByAppIdOrItsX11Class)
{
    const auto native = SwayFocus::focusedWindow(tree("native"));
    ASSERT_TRUE(native);
    EXPECT_EQ(native->names, "org.gnome.TextEditor");
    EXPECT_EQ(native->pid, 41);

    const auto x11 = SwayFocus::focusedWindow(tree("x11"));
    ASSERT_TRUE(x11);
    EXPECT_EQ(x11->names, QByteArray("xterm\0XTerm\0", 12));

    EXPECT_FALSE(SwayFocus::focusedWindow(tree("ws"))) << "an empty workspace is no window";
    EXPECT_FALSE(SwayFocus::ask("/nonexistent/sway-ipc.sock"));
}

struct TargetCase
{
    const char* name;
    std::optional<SwayFocus::Window> focused;
    PasteChord chord;
    bool ownWindow;
};

class PasteTargets : public ::testing::TestWithParam<TargetCase>
{
};

TEST_P(PasteTargets, ChordFollowsTheFocusedWindow)
{
    std::optional<SwayFocus::Window> window = GetParam().focused;
    if (window && window->pid < 0)
        window->pid = QCoreApplication::applicationPid();
    WtypeSyntheticKeys keys("wtype", [window] { return window; });

    const PasteTarget target = keys.pasteTarget();

    EXPECT_EQ(target.chord, GetParam().chord);
    EXPECT_EQ(target.ownWindow, GetParam().ownWindow);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PasteTargets,
    ::testing::Values(
        TargetCase{"Editor", SwayFocus::Window{"org.gnome.TextEditor", 7}, PasteChord::ControlV,
                   false},
        TargetCase{"Foot", SwayFocus::Window{"foot", 7}, PasteChord::ShiftInsert, false},
        TargetCase{"XWaylandXterm", SwayFocus::Window{QByteArray("xterm\0XTerm\0", 12), 7},
                   PasteChord::ShiftInsert, false},
        // -1: this process's own pid.
        TargetCase{"OwnWindow", SwayFocus::Window{"wendlo", -1}, PasteChord::ControlV, true},
        TargetCase{"CompositorDoesNotSay", std::nullopt, PasteChord::ControlV, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct HotKeyCase
{
    const char* name;
    QKeyCombination key;
    QStringList down;
    QStringList up;
};

class HotKeyArguments : public ::testing::TestWithParam<HotKeyCase>
{
};

// wtype resolves key names through xkb: Qt's short names (Esc, PgUp) would not resolve.
TEST_P(HotKeyArguments, PressHoldsModifiersAndKeyAndReleaseLetsGoInReverse)
{
    const auto down = WtypeSyntheticKeys::hotKeyArguments(GetParam().key, true);
    const auto up = WtypeSyntheticKeys::hotKeyArguments(GetParam().key, false);
    ASSERT_TRUE(down && up);
    EXPECT_EQ(down->mid(0, down->size() - 2), GetParam().down);
    EXPECT_EQ(down->mid(down->size() - 2, 1), QStringList{"-s"});
    EXPECT_EQ(*up, GetParam().up);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HotKeyArguments,
    ::testing::Values(
        HotKeyCase{"SuperD",
                   Qt::MetaModifier | Qt::Key_D,
                   {"-M", "logo", "-P", "d"},
                   {"-p", "d", "-m", "logo"}},
        HotKeyCase{"CtrlAltSpace",
                   Qt::ControlModifier | Qt::AltModifier | Qt::Key_Space,
                   {"-M", "ctrl", "-M", "alt", "-P", "space"},
                   {"-p", "space", "-m", "alt", "-m", "ctrl"}},
        HotKeyCase{"F9", QKeyCombination(Qt::Key_F9), {"-P", "F9"}, {"-p", "F9"}},
        HotKeyCase{"ShiftEscape",
                   Qt::ShiftModifier | Qt::Key_Escape,
                   {"-M", "shift", "-P", "Escape"},
                   {"-p", "Escape", "-m", "shift"}},
        HotKeyCase{"PageUp", QKeyCombination(Qt::Key_PageUp), {"-P", "Page_Up"}, {"-p", "Page_Up"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
