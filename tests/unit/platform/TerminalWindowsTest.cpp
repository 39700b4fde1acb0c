#include "platform/TerminalWindows.h"

#include <gtest/gtest.h>

namespace {

struct WmClassCase
{
    const char* name;
    QByteArray wmClass;
    bool shiftInsert;
};

class TerminalWindowsTable : public ::testing::TestWithParam<WmClassCase>
{
};

TEST_P(TerminalWindowsTable, ChoosesShiftInsertByInstanceOrClass)
{
    EXPECT_EQ(TerminalWindows::pastesOnShiftInsert(GetParam().wmClass), GetParam().shiftInsert);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TerminalWindowsTable,
    ::testing::Values(
        WmClassCase{"GnomeTerminal", QByteArray("gnome-terminal-server\0Gnome-terminal\0", 38),
                    true},
        WmClassCase{"KonsoleByClassOnly", QByteArray("x\0konsole\0", 10), true},
        WmClassCase{"UpperCaseClass", QByteArray("alacritty\0Alacritty\0", 20), true},
        WmClassCase{"Kitty", QByteArray("kitty\0kitty\0", 12), true},
        WmClassCase{"NoTrailingNul", QByteArray("foot"), true},
        WmClassCase{"XTerm", QByteArray("xterm\0XTerm\0", 12), true},
        WmClassCase{"Gvim", QByteArray("gvim\0Gvim\0", 10), true},
        WmClassCase{"Emacs", QByteArray("emacs\0Emacs\0", 12), true},
        WmClassCase{"WaylandGnomeTerminal", QByteArray("org.gnome.Terminal"), true},
        WmClassCase{"WaylandKonsole", QByteArray("org.kde.konsole"), true},
        WmClassCase{"Editor", QByteArray("gedit\0Gedit\0", 12), false},
        WmClassCase{"NameContainingTerminal", QByteArray("terminal-notes\0Notes\0", 21), false},
        WmClassCase{"StOnlyAsWholeName", QByteArray("firefox-esr\0Firefox-esr\0", 24), false},
        WmClassCase{"Empty", QByteArray(), false},
        WmClassCase{"OnlyNuls", QByteArray("\0\0", 2), false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
