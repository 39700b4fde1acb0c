#include "onboarding/OnboardingPractice.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>
#include <random>
#include <unicode/normalizer2.h>
#include <vector>

namespace {

using namespace OnboardingPractice;

struct AttemptCase
{
    const char* name;
    QString attempt;
    bool matches;
};

void PrintTo(const AttemptCase& c, std::ostream* os)
{
    *os << c.name;
}

class PracticeAttempt : public ::testing::TestWithParam<AttemptCase>
{
};

TEST_P(PracticeAttempt, MatchesOrNot)
{
    const std::optional<QString> result = correctedTranscript(GetParam().attempt);
    if (GetParam().matches)
        EXPECT_EQ(result, expectedSentence());
    else
        EXPECT_EQ(result, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Attempts, PracticeAttempt,
    ::testing::Values(
        AttemptCase{"exact", "Wendlo helps me write without breaking my flow.", true},
        AttemptCase{"upperNoPeriod", "WENDLO HELPS ME WRITE WITHOUT BREAKING MY FLOW", true},
        AttemptCase{"spacesAndCommas", "  wendlo,  helps me, write without breaking   my flow ",
                    true},
        AttemptCase{"wordsAround", "Hi there! Wendlo helps me write without breaking my flow. Um",
                    true},
        AttemptCase{"empty", "", false}, AttemptCase{"spaces", "     ", false},
        AttemptCase{"punctuation", "?!., -- ...", false},
        AttemptCase{"seventhWordDropped", "Wendlo helps me write without breaking flow.", true},
        // Coverage exactly 6/8: the bound is inclusive.
        AttemptCase{"thirdAndFifthDropped", "Wendlo helps write breaking my flow", true},
        AttemptCase{"threeWordsDropped", "Wendlo helps write breaking flow", false},
        AttemptCase{"reversed", "flow my breaking without write me helps Wendlo", false},
        AttemptCase{"firstTwoSwapped", "helps Wendlo me write without breaking my flow", true},
        AttemptCase{"nameSplit", "Wend lo helps me write without breaking my flow", true},
        AttemptCase{"lastWordGlued", "Wendlo helps me write without breaking my flowers", true},
        AttemptCase{"firstWordIsTail", "Xwendlo helps me write without breaking my flow", true},
        // Two words spoiled keep coverage at 6/8; similarity passes up to 12 edits of 46.
        AttemptCase{"twelveEdits", "wendlo helps me write xxxxxxx xxxxxing my flow", true},
        AttemptCase{"thirteenEdits", "wendlo helps me write xxxxxxx xxxxxxng my flow", false},
        AttemptCase{"emojiBetweenWords",
                    QString::fromUtf8("Wendlo🙂helps me write without breaking my flow"), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PracticeNormalized, UsesUnicodeLowerCaseAndCategories)
{
    EXPECT_EQ(normalized(expectedSentence()),
              QStringLiteral("wendlo helps me write without breaking my flow"));
    EXPECT_EQ(normalized(expectedSentence()).size(), 46);
    EXPECT_EQ(normalized(QStringLiteral("  don't  STOP-now!! ")), QStringLiteral("don t stop now"));
    // Full mapping: capital I with dot above lowers to i + combining dot, which is a mark.
    EXPECT_EQ(normalized(QString::fromUtf8("İ")), QString::fromUtf8("i\u0307"));
    // Final sigma takes its final form, as the default mapping's context rule says.
    EXPECT_EQ(normalized(QString::fromUtf8("ΟΔΟΣ ΟΔΟΣ")), QString::fromUtf8("οδος οδος"));
    // Numbers of any script stay; symbols and emoji become spaces.
    EXPECT_EQ(normalized(QString::fromUtf8("½ ٣ x²€🙂y")), QString::fromUtf8("½ ٣ x² y"));
    EXPECT_EQ(normalized(QStringLiteral("?!")), QString());
}

TEST(PracticeLevenshtein, CountsUserPerceivedCharacters)
{
    const std::tuple<QString, QString, qsizetype> cases[] = {
        {"", "", 0},
        {"", "abc", 3},
        {"abcd", "", 4},
        {"book", "back", 2},
        {"back", "book", 2},
        {QString::fromUtf8("caf\u00e9"), QString::fromUtf8("cafe\u0301"), 0},
        {QString::fromUtf8("cafe\u0301"), "cafe", 1},
        {QString::fromUtf8("e\u0301"), "x", 1},
        {QString::fromUtf8("🇩🇪"), "x", 1},
        {QString::fromUtf8("한"), QString::fromUtf8("\u1112\u1161\u11AB"), 0},
        {"wendlo helps me write without breaking my flow",
         "wendlo helps me write xxxxxxx xxxxxing my flow", 12},
        {"wendlo helps me write without breaking my flow",
         "flow my breaking without write me helps wendlo", 34},
        {"wendlo helps me write without breaking my flow",
         "helps wendlo me write without breaking my flow", 10},
    };
    for (const auto& [a, b, d] : cases) {
        SCOPED_TRACE((a + " / " + b).toStdString());
        EXPECT_EQ(levenshteinDistance(a, b), d);
    }
}

// The textbook full-table distance over UTF-16 units; the inputs below are one unit per
// character, so it must agree with the matcher on every pair.
qsizetype referenceDistance(const QString& a, const QString& b)
{
    std::vector<std::vector<qsizetype>> d(size_t(a.size()) + 1,
                                          std::vector<qsizetype>(size_t(b.size()) + 1));
    for (qsizetype i = 0; i <= a.size(); ++i)
        d[size_t(i)][0] = i;
    for (qsizetype j = 0; j <= b.size(); ++j)
        d[0][size_t(j)] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        for (qsizetype j = 1; j <= b.size(); ++j) {
            d[size_t(i)][size_t(j)] =
                std::min({d[size_t(i - 1)][size_t(j)] + 1, d[size_t(i)][size_t(j - 1)] + 1,
                          d[size_t(i - 1)][size_t(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        }
    }
    return d[size_t(a.size())][size_t(b.size())];
}

TEST(PracticeLevenshtein, AgreesWithTheFullTableForShortAndLongTexts)
{
    // Lengths on both sides of 64 and letters beyond ASCII exercise every path.
    const QString alphabet = QString::fromUtf8("abcéЖ");
    std::mt19937 random(7);
    for (int round = 0; round < 400; ++round) {
        QString a, b;
        const int aLength = int(random() % 90);
        const int bLength = int(random() % 90);
        for (int i = 0; i < aLength; ++i)
            a += alphabet.at(qsizetype(random() % 5));
        for (int i = 0; i < bLength; ++i)
            b += alphabet.at(qsizetype(random() % 5));
        ASSERT_EQ(levenshteinDistance(a, b), referenceDistance(a, b))
            << a.toStdString() << " / " << b.toStdString();
    }
}

TEST(PracticeCoverage, CountsExpectedWordsFoundInTranscript)
{
    const std::tuple<QString, QString, double> cases[] = {
        {"a b", "", 0.0},
        {"", "a b", 0.0},
        {"b a", "a b", 1.0},
        {"a a", "a b", 0.5},
        {"a", "a a b", 2.0 / 3.0},
        {"wendlo helps write breaking my flow", "wendlo helps me write without breaking my flow",
         0.75},
        // Canonically equivalent words are the same word.
        {QString::fromUtf8("caf\u00e9 noir"), QString::fromUtf8("cafe\u0301"), 1.0},
    };
    for (const auto& [transcript, expected, coverage] : cases) {
        SCOPED_TRACE((transcript + " / " + expected).toStdString());
        EXPECT_DOUBLE_EQ(expectedWordCoverage(transcript, expected), coverage);
    }
}

TEST(PracticeBadInput, NeverCrashesOrMatchesGarbage)
{
    EXPECT_EQ(correctedTranscript(QString::fromUtf8("\xff\xfe\xfd")), std::nullopt);
    const QString lone = QString(QChar(0xD800)) + QStringLiteral("wendlo") + QChar(0xDC00);
    EXPECT_EQ(normalized(lone), QStringLiteral("wendlo"));
    EXPECT_EQ(correctedTranscript(lone), std::nullopt);

    QString huge(1 << 20, u'a');
    EXPECT_EQ(correctedTranscript(huge), std::nullopt);
    huge += QStringLiteral(" wendlo helps me write without breaking my flow");
    EXPECT_EQ(correctedTranscript(huge), expectedSentence());
}

// Results recorded from the matcher before its work was bounded, over 600 generated attempts
// (the sentence's words shuffled, dropped, misspelt, accented precomposed and with combining
// marks, with greetings, emoji, Hangul, Greek and separators around): nothing may change.
TEST(PracticeRecorded, AttemptsMatchAsBefore)
{
    QFile file(QStringLiteral(PRACTICE_ATTEMPTS));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray recorded = QJsonDocument::fromJson(file.readAll()).array();
    ASSERT_GT(recorded.size(), 600);
    const QString e = normalized(expectedSentence());
    for (const QJsonValue& entry : recorded) {
        const QJsonArray row = entry.toArray();
        const QString attempt = row.at(0).toString();
        SCOPED_TRACE(attempt.toStdString());
        EXPECT_EQ(correctedTranscript(attempt).has_value(), row.at(1).toBool());
        EXPECT_EQ(levenshteinDistance(normalized(attempt), e), qsizetype(row.at(2).toDouble()));
        EXPECT_DOUBLE_EQ(expectedWordCoverage(normalized(attempt), e), row.at(3).toDouble());
    }
}

// Canonically equivalent texts stay equal whatever the order and length of their marks.
TEST(PracticeLevenshtein, LongRunsOfMarksInAnyOrderAreOneCharacter)
{
    const QString ordered = QStringLiteral("a") + QStringLiteral("\u0323\u0301").repeated(40);
    QString shuffled = QStringLiteral("a");
    shuffled += QString(40, QChar(0x0301)) + QString(40, QChar(0x0323));
    EXPECT_EQ(levenshteinDistance(ordered, shuffled), 0);
    EXPECT_EQ(levenshteinDistance(ordered + "b", "xb"), 1);
    // U+0F73 decomposes into two marks of different classes.
    EXPECT_EQ(levenshteinDistance(QString(40, QChar(0x0F73)),
                                  QStringLiteral("\u0F71\u0F72").repeated(40)),
              0);
}

// Random runs of many marks (and characters that decompose into marks) equal their NFD and
// NFC forms as ICU writes them: the matcher's own decomposition agrees with ICU's.
TEST(PracticeLevenshtein, LongMarkRunsEqualTheirNormalForms)
{
    const char16_t pool[] = {u'\u0301', u'\u0323', u'\u0334', u'\u0308', u'\u0327', u'\u0344',
                             u'\u0F73', u'\u0F71', u'\u00E9', u'\u1E69', u'a',      u'\u05B0'};
    std::mt19937 random(7);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    ASSERT_TRUE(U_SUCCESS(status));
    const auto viaIcu = [&](const icu::Normalizer2* form, const QString& text) {
        const icu::UnicodeString result =
            form->normalize(icu::UnicodeString(false, reinterpret_cast<const UChar*>(text.utf16()),
                                               int32_t(text.size())),
                            status);
        return QString(reinterpret_cast<const QChar*>(result.getBuffer()), result.length());
    };
    for (int i = 0; i < 200; ++i) {
        QString text = QStringLiteral("o");
        const int length = 33 + int(random() % 200);
        for (int j = 0; j < length; ++j)
            text += QChar(pool[random() % std::size(pool)]);
        SCOPED_TRACE(i);
        EXPECT_EQ(levenshteinDistance(text, viaIcu(nfd, text)), 0);
        EXPECT_EQ(levenshteinDistance(text, viaIcu(nfc, text)), 0);
    }
}

// A field far beyond any dictation is searched near its ends; the sentence found there
// matches, one buried in the middle does not count.
TEST(PracticeLongField, TheSentenceIsFoundNearEitherEnd)
{
    const QString sentence = expectedSentence();
    const QString marks = QStringLiteral("o\u0301\u0323\u0334").repeated(20000);
    const QString words = QStringLiteral("some other words ").repeated(5000);
    const struct
    {
        const char* name;
        QString attempt;
        bool matches;
    } cases[] = {
        {"atTheStartOfMarks", sentence + " " + marks, true},
        {"atTheEndOfMarks", marks + " " + sentence, true},
        {"atTheEndOfWords", words + sentence, true},
        {"atTheStartOfWords", sentence + words, true},
        {"buriedInTheMiddle", words + sentence + words, false},
        {"marksOnly", marks, false},
        {"wordsOnly", words, false},
        // The near misses that match in a short field need the whole text: not here.
        {"nearMissAtTheEnd", words + "Wendlo helps me write without breaking flow", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.attempt.size(), 32768);
        EXPECT_EQ(correctedTranscript(c.attempt).has_value(), c.matches);
    }
}

} // namespace
