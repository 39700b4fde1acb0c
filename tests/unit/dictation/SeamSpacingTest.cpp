#include "dictation/SeamSpacing.h"

#include <gtest/gtest.h>

namespace {

struct SeamCase
{
    const char* name;
    QString before;
    QString text;
    QString after;
    QString expected;
};

class SeamSpacingTable : public ::testing::TestWithParam<SeamCase>
{
};

TEST_P(SeamSpacingTable, PutsOneSpaceWhereTheDictationMeetsAWord)
{
    const SeamCase& c = GetParam();
    EXPECT_EQ(SeamSpacing::padded(c.before, c.text, c.after), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SeamSpacingTable,
    ::testing::Values(SeamCase{"EmptyField", "", "Hello.", "", "Hello."},
                      SeamCase{"StartOfText", "", "Hello.", "world", "Hello. "},
                      SeamCase{"EndOfText", "alpha", "Hello.", "", " Hello."},
                      SeamCase{"MiddleAfterSpace", "alpha ", "Hello.", "beta", "Hello. "},
                      SeamCase{"MiddleBeforeSpace", "alpha", "Hello.", " beta", " Hello."},
                      SeamCase{"AlreadySpacedBothSides", "alpha ", "Hello.", " beta", "Hello."},
                      SeamCase{"AfterADigit", "room 4", "B", "", " B"},
                      SeamCase{"AfterAFullStop", "Done.", "Next one.", "", " Next one."},
                      SeamCase{"AfterAComma", "well,", "yes", "", " yes"},
                      SeamCase{"AfterAClosingBracket", "(see)", "Then", "", " Then"},
                      SeamCase{"BeforePunctuation", "say ", "Hello", ", friend", "Hello"},
                      SeamCase{"BeforeAFullStop", "", "Hi", ".", "Hi"},
                      SeamCase{"AfterANewline", "line\n", "Next.", "", "Next."},
                      SeamCase{"BeforeANewline", "", "Last.", "\nmore", "Last."},
                      SeamCase{"AfterAnOpeningBracket", "(", "Aside", ")", "Aside"},
                      SeamCase{"AfterAStraightQuote", "say \"", "Hi", "\"", "Hi"},
                      SeamCase{"AfterATab", "a\t", "B", "", "B"},
                      SeamCase{"DictationStartsWithPunctuation", "word", "...", "", "..."},
                      SeamCase{"DictationStartsWithADigit", "item", "42.", "", " 42."},
                      SeamCase{"Cyrillic", "Привет", "Мир.", "друг", " Мир. "},
                      SeamCase{"Greek", "καλή", "Μέρα.", "", " Μέρα."},
                      SeamCase{"Arabic", "مرحبا", "بكم", "", " بكم"},
                      SeamCase{"ChineseHasNoSpaces", "你好", "世界。", "朋友", "世界。"},
                      SeamCase{"JapaneseAfterIdeographicFullStop", "です。", "Hello.", "",
                               "Hello."},
                      SeamCase{"ThaiHasNoSpaces", "สวัสดี", "ครับ", "", "ครับ"},
                      SeamCase{"EmojiBeforeIsNoWord", "\U0001F600", "Hi", "", "Hi"},
                      SeamCase{"AccentedLatin", "café", "Été", "", " Été"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
