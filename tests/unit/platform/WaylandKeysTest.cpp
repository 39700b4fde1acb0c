#include "platform/KeySyms.h"
#include "platform/PlatformFactory.h"
#include "platform/portal/RemoteDesktopKeyboard.h"

#include <gtest/gtest.h>

namespace {

struct ChoiceCase
{
    const char* name;
    bool wtype;
    std::optional<bool> virtualKeyboard;
    bool portal;
    PlatformFactory::WaylandKeys expected;
};

class WaylandKeysChoice : public ::testing::TestWithParam<ChoiceCase>
{
};

TEST_P(WaylandKeysChoice, PrefersTheVirtualKeyboardThenThePortal)
{
    const ChoiceCase& c = GetParam();
    EXPECT_EQ(PlatformFactory::chooseWaylandKeys(c.wtype, c.virtualKeyboard, c.portal), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    , WaylandKeysChoice,
    ::testing::Values(ChoiceCase{"Wlroots", true, true, true,
                                 PlatformFactory::WaylandKeys::VirtualKeyboard},
                      ChoiceCase{"UnknownGlobalsTryWtype", true, std::nullopt, false,
                                 PlatformFactory::WaylandKeys::VirtualKeyboard},
                      ChoiceCase{"GnomeOrKde", true, false, true,
                                 PlatformFactory::WaylandKeys::RemoteDesktopPortal},
                      ChoiceCase{"NoWtypeInstalled", false, true, true,
                                 PlatformFactory::WaylandKeys::RemoteDesktopPortal},
                      ChoiceCase{"NeitherWithWtype", true, false, false,
                                 PlatformFactory::WaylandKeys::Unavailable},
                      ChoiceCase{"Neither", false, std::nullopt, false,
                                 PlatformFactory::WaylandKeys::Unavailable}),
    [](const auto& info) { return std::string(info.param.name); });

using Strokes = RemoteDesktopKeyboard::Strokes;

TEST(RemoteDesktopStrokes, ChordsPressTheModifierFirstAndReleaseItLast)
{
    EXPECT_EQ(
        RemoteDesktopKeyboard::chordStrokes(PasteChord::ControlV),
        (Strokes{
            {KeySyms::controlL, true}, {'v', true}, {'v', false}, {KeySyms::controlL, false}}));
    EXPECT_EQ(RemoteDesktopKeyboard::chordStrokes(PasteChord::ShiftInsert),
              (Strokes{{KeySyms::shiftL, true},
                       {KeySyms::insert, true},
                       {KeySyms::insert, false},
                       {KeySyms::shiftL, false}}));
}

TEST(RemoteDesktopStrokes, HotKeyReleasesInReverse)
{
    const QKeyCombination key = Qt::ControlModifier | Qt::MetaModifier | Qt::Key_D;
    EXPECT_EQ(RemoteDesktopKeyboard::hotKeyStrokes(key, true),
              (Strokes{{KeySyms::controlL, true}, {KeySyms::superL, true}, {'d', true}}));
    EXPECT_EQ(RemoteDesktopKeyboard::hotKeyStrokes(key, false),
              (Strokes{{'d', false}, {KeySyms::superL, false}, {KeySyms::controlL, false}}));
    EXPECT_FALSE(RemoteDesktopKeyboard::hotKeyStrokes(QKeyCombination(Qt::Key_unknown), true));
}

TEST(RemoteDesktopStrokes, TextIsAPressAndAReleasePerCharacter)
{
    EXPECT_EQ(RemoteDesktopKeyboard::textStrokes(QString::fromUtf8("A\n€")),
              (Strokes{{'A', true},
                       {'A', false},
                       {KeySyms::returnKey, true},
                       {KeySyms::returnKey, false},
                       {0x010020ac, true},
                       {0x010020ac, false}}));
}

} // namespace
