#include "dictation/HotKey.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase
{
    const char* name;
    const char* text;
    // Accepted keys: the portable text they are stored as and the text the user sees.
    const char* portable; // nullptr: refused
    const char* display;
    const char* reasonPart; // for refusals
};

class HotKeyParse : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(HotKeyParse, ReadsWritesAndShowsTheKey)
{
    const ParseCase& c = GetParam();
    const Result<HotKey> key = HotKey::parse(QString::fromUtf8(c.text));
    if (!c.portable) {
        ASSERT_FALSE(key) << key.value().portableText().toStdString();
        EXPECT_TRUE(key.error().message.contains(QString::fromUtf8(c.reasonPart)))
            << key.error().message.toStdString();
        return;
    }
    ASSERT_TRUE(key) << key.error().message.toStdString();
    EXPECT_EQ(key.value().portableText(), QString::fromUtf8(c.portable));
    EXPECT_EQ(key.value().displayText(), QString::fromUtf8(c.display));
    // What is stored reads back as the same key.
    const Result<HotKey> again = HotKey::parse(key.value().portableText());
    ASSERT_TRUE(again);
    EXPECT_EQ(again.value(), key.value());
}

INSTANTIATE_TEST_SUITE_P(
    Table, HotKeyParse,
    ::testing::Values(
        ParseCase{"Default", "Super+D", "Super+D", "Super + D", ""},
        ParseCase{"LowerCase", "super+d", "Super+D", "Super + D", ""},
        ParseCase{"QtsMeta", "Meta+D", "Super+D", "Super + D", ""},
        ParseCase{"Win", "Win+D", "Super+D", "Super + D", ""},
        ParseCase{"DisplayFormReadsBack", "Ctrl + Alt + Space", "Ctrl+Alt+Space",
                  "Ctrl + Alt + Space", ""},
        ParseCase{"ModifierOrderNormalised", "Alt+Ctrl+Space", "Ctrl+Alt+Space",
                  "Ctrl + Alt + Space", ""},
        ParseCase{"FunctionKeyAlone", "F9", "F9", "F9", ""},
        ParseCase{"ShiftedFunctionKey", "Shift+F12", "Shift+F12", "Shift + F12", ""},
        ParseCase{"AllModifiers", "Ctrl+Alt+Shift+Super+K", "Ctrl+Alt+Shift+Super+K",
                  "Ctrl + Alt + Shift + Super + K", ""},
        ParseCase{"KeypadDigit", "Num+5", "Num+5", "Keypad 5", ""},
        ParseCase{"KeypadEnterWithCtrl", "Ctrl+Num+Enter", "Ctrl+Num+Enter", "Ctrl + Keypad Enter",
                  ""},
        ParseCase{"KeypadStar", "Num+*", "Num+*", "Keypad *", ""},
        ParseCase{"PlusKey", "Ctrl++", "Ctrl++", "Ctrl + +", ""},
        ParseCase{"MediaKey", "Media Play", "Media Play", "Media Play", ""},
        ParseCase{"Pause", "Pause", "Pause", "Pause", ""},
        ParseCase{"Blanks", "  Super+D \n", "Super+D", "Super + D", ""},
        ParseCase{"Empty", "", nullptr, nullptr, "empty"},
        ParseCase{"Blank", "   ", nullptr, nullptr, "empty"},
        ParseCase{"UnknownKey", "Ctrl+Foo", nullptr, nullptr, "not a key"},
        ParseCase{"Junk", "%%%", nullptr, nullptr, "not"},
        ParseCase{"TrailingPlus", "Ctrl+Alt+", nullptr, nullptr, "not a key"},
        ParseCase{"ModifierOnly", "Ctrl", nullptr, nullptr, "modifier alone"},
        ParseCase{"ModifiersOnly", "Ctrl+Alt", nullptr, nullptr, "modifier alone"},
        ParseCase{"SuperOnly", "Super", nullptr, nullptr, "modifier alone"},
        ParseCase{"TwoKeys", "Ctrl+A, Ctrl+B", nullptr, nullptr, "not one key"},
        ParseCase{"LetterAlone", "D", nullptr, nullptr, "alone would be taken"},
        ParseCase{"ShiftLetter", "Shift+D", nullptr, nullptr, "alone would be taken"},
        ParseCase{"SpaceAlone", "Space", nullptr, nullptr, "alone would be taken"},
        ParseCase{"EscapeAlone", "Esc", nullptr, nullptr, "Esc alone would be taken"},
        ParseCase{"ShiftTab", "Shift+Tab", nullptr, nullptr, "alone would be taken"},
        ParseCase{"ArrowAlone", "Left", nullptr, nullptr, "alone would be taken"},
        ParseCase{"CtrlEscape", "Ctrl+Esc", "Ctrl+Esc", "Ctrl + Esc", ""},
        ParseCase{"KeypadEnterAlone", "Num+Enter", "Num+Enter", "Keypad Enter", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HotKey, StandardIsSuperD)
{
    EXPECT_EQ(HotKey::standard().combination(), QKeyCombination(Qt::MetaModifier, Qt::Key_D));
    EXPECT_EQ(HotKey::standard().displayText(), QStringLiteral("Super + D"));
}

TEST(HotKey, CombinationFromTheKeyEditorFollowsTheSameRules)
{
    EXPECT_TRUE(HotKey::fromCombination(
        QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space)));
    EXPECT_FALSE(HotKey::fromCombination(QKeyCombination(Qt::ShiftModifier, Qt::Key_Shift)));
    EXPECT_FALSE(HotKey::fromCombination(QKeyCombination(Qt::Key_unknown)));
    EXPECT_FALSE(HotKey::fromCombination(QKeyCombination(Qt::Key_A)));
}

} // namespace
