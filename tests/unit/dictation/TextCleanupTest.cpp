#include "dictation/TextCleanup.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <random>

namespace {

struct CleanupCase
{
    const char* name;
    QString raw;
    QString cleaned;
};

void PrintTo(const CleanupCase& c, std::ostream* os)
{
    *os << c.name;
}

class TextCleanupTest : public ::testing::TestWithParam<CleanupCase>
{
};

TEST_P(TextCleanupTest, Cleans)
{
    EXPECT_EQ(TextCleanup::clean(GetParam().raw), GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TextCleanupTest,
    ::testing::Values(
        CleanupCase{"empty", "", ""}, CleanupCase{"onlyBlanks", " \n\t \r\n ", ""},
        CleanupCase{"collapsesAndTrims", "  hello   world\nagain ", "Hello world again."},
        CleanupCase{"standaloneI", "i think i'm done", "I think I'm done."},
        CleanupCase{"keepsQuestionMark", "is it done?", "Is it done?"},
        CleanupCase{"keepsExclamation", "wow!", "Wow!"},
        CleanupCase{"iInsideWord", "iphone is here", "Iphone is here."},
        CleanupCase{"iBeforeFullStop", "so do i.", "So do I."},
        CleanupCase{"iAfterDigit", "2i and i", "2i and I."},
        CleanupCase{"leadingDigit", "2 apples", "2 apples."},
        CleanupCase{"uppercaseIUntouched", "and I said", "And I said."},
        CleanupCase{"sharpS", QString::fromUtf8("ßtraße ist da"),
                    QString::fromUtf8("SStraße ist da.")},
        CleanupCase{"closingQuote", QString::fromUtf8("he said “yes”"),
                    QString::fromUtf8("He said “yes”.")},
        CleanupCase{"bracketFirst", "(aside) ok)", "(aside) ok)."},
        CleanupCase{"ellipsis", QString::fromUtf8("wait…"), QString::fromUtf8("Wait….")},
        CleanupCase{"bracketedNote", "[noise]", "[noise]."},
        // The first character is the whole cluster: letter plus combining accent.
        CleanupCase{"decomposedAccent", QString::fromUtf8("e\u0301te\u0301"),
                    QString::fromUtf8("E\u0301te\u0301.")},
        CleanupCase{"unicodeSeparators", QString::fromUtf8("a\u00A0\u00A0b\u2028c\u3000d"),
                    "A b c d."},
        CleanupCase{"emojiFirst", QString::fromUtf8("😀 hi"), QString::fromUtf8("😀 hi.")},
        CleanupCase{"fullStopWithAccent", QString::fromUtf8("ok.\u0301"),
                    QString::fromUtf8("Ok.\u0301.")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextCleanup, AsciiTextsCleanAsWithAnyOtherScript)
{
    // A leading ideographic space is white space that the cleanup removes, but it takes the
    // text off the ASCII-only path: both paths must give the same result.
    const QString alphabet = QStringLiteral("iiiIa_1'.?! \t\n\v\f\r\x1c\x1f");
    std::mt19937 random(11);
    for (int round = 0; round < 500; ++round) {
        QString text;
        const int length = int(random() % 24);
        for (int i = 0; i < length; ++i)
            text += alphabet.at(qsizetype(random() % quint32(alphabet.size())));
        ASSERT_EQ(TextCleanup::clean(text), TextCleanup::clean(QChar(0x3000) + text))
            << text.toStdString();
    }
}

TEST(TextCleanupBadInput, InvalidUtf8AndLoneSurrogatesPassThrough)
{
    // Invalid bytes decode to U+FFFD, which is no letter: nothing is capitalised.
    EXPECT_EQ(TextCleanup::clean(QString::fromUtf8("\xff\xfe hi")),
              QString::fromUtf8("\uFFFD\uFFFD hi."));
    const QString lone = QString(QChar(0xD800)) + QStringLiteral(" i ") + QChar(0xDC00);
    EXPECT_EQ(TextCleanup::clean(lone),
              QString(QChar(0xD800)) + QStringLiteral(" I ") + QChar(0xDC00) + u'.');
}

TEST(TextCleanupBadInput, OneMegabyteTexts)
{
    EXPECT_EQ(TextCleanup::clean(QString(1 << 20, u' ')), QString());
    QString words;
    for (int i = 0; i < (1 << 20) / 8; ++i)
        words += QStringLiteral("i  said\n");
    const QString cleaned = TextCleanup::clean(words);
    EXPECT_TRUE(cleaned.startsWith(QStringLiteral("I said I said")));
    EXPECT_EQ(cleaned.size(), (1 << 20) / 8 * 7 - 1 + 1);
}

} // namespace
