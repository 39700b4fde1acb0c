#include "platform/KeySyms.h"

#include <gtest/gtest.h>

namespace {

struct TextCase
{
    const char* name;
    QString text;
    std::vector<std::uint32_t> keysyms;
};

class TextKeySyms : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(TextKeySyms, TypeEachCharacterOnce)
{
    EXPECT_EQ(KeySyms::ofText(GetParam().text), GetParam().keysyms);
}

INSTANTIATE_TEST_SUITE_P(
    , TextKeySyms,
    ::testing::Values(
        TextCase{"Ascii", "Hi 5!", {'H', 'i', ' ', '5', '!'}},
        TextCase{"Latin1IsItsCodePoint", QString::fromUtf8("é\u00a0ß"), {0xe9, 0xa0, 0xdf}},
        TextCase{"BeyondLatin1IsUnicodeKeysym", QString::fromUtf8("€ł"), {0x010020ac, 0x01000142}},
        TextCase{"EmojiIsOneKeysymNotTwoSurrogates",
                 QString::fromUtf8("a\xF0\x9F\x98\x80"),
                 {'a', 0x0101f600}},
        TextCase{"LineBreaksAreReturn",
                 "a\nb\r\nc\rd",
                 {'a', KeySyms::returnKey, 'b', KeySyms::returnKey, 'c', KeySyms::returnKey, 'd'}},
        TextCase{"TabIsTab", "a\tb", {'a', KeySyms::tab, 'b'}},
        TextCase{
            "OtherControlCharactersAreDropped", QString::fromUtf8("a\x07\x7f\u0085b"), {'a', 'b'}},
        TextCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct KeyCase
{
    const char* name;
    QKeyCombination key;
    const char* keysymName;
    std::uint32_t keysym;
};

class KeyNames : public ::testing::TestWithParam<KeyCase>
{
};

// One table serves the names (portal triggers, compositor lines, wtype) and the numbers (X11,
// the remote-desktop keyboard): they must agree.
TEST_P(KeyNames, NameAndKeysymAgree)
{
    EXPECT_EQ(KeySyms::name(GetParam().key), QString::fromLatin1(GetParam().keysymName));
    EXPECT_EQ(KeySyms::keysym(GetParam().key), GetParam().keysym);
}

INSTANTIATE_TEST_SUITE_P(
    , KeyNames,
    ::testing::Values(
        KeyCase{"LetterIsSmall", Qt::MetaModifier | Qt::Key_D, "d", 'd'},
        KeyCase{"Space", QKeyCombination(Qt::Key_Space), "space", ' '},
        KeyCase{"Punctuation", QKeyCombination(Qt::Key_Period), "period", '.'},
        KeyCase{"FunctionKey", QKeyCombination(Qt::Key_F9), "F9", 0xffc6},
        KeyCase{"Keypad", Qt::KeypadModifier | Qt::Key_5, "KP_5", 0xffb5},
        KeyCase{"KeypadEnter", Qt::KeypadModifier | Qt::Key_Enter, "KP_Enter", 0xff8d},
        KeyCase{"Special", QKeyCombination(Qt::Key_PageUp), "Page_Up", 0xff55},
        KeyCase{"Media", QKeyCombination(Qt::Key_MediaPlay), "XF86AudioPlay", 0x1008ff14},
        KeyCase{"Latin1", QKeyCombination(Qt::Key_Agrave), "U00E0", 0xe0},
        KeyCase{"BeyondLatin1", QKeyCombination(Qt::Key(0x20ac)), "U20AC", 0x010020ac}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeySyms, KeysWithoutAKeysymHaveNeither)
{
    EXPECT_FALSE(KeySyms::name(QKeyCombination(Qt::Key_unknown)));
    EXPECT_FALSE(KeySyms::keysym(QKeyCombination(Qt::Key_unknown)));
    EXPECT_FALSE(KeySyms::keysym(Qt::KeypadModifier | Qt::Key_A));
}

} // namespace
