#include "dictation/FocusedTextInserter.h"

#include "fakes/FakeAccessibility.h"
#include "fakes/FakeClipboard.h"
#include "fakes/FakeSyntheticKeys.h"
#include "support/DebugLogLines.h"
#include "support/Wait.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units

class InserterTest : public ::testing::Test
{
protected:
    InserterTest()
    {
        QFile::remove(qEnvironmentVariable("QUOR_DEBUG_LOG"));
        auto accessibility = std::make_unique<FakeAccessibility>();
        auto clipboard = std::make_unique<FakeClipboard>();
        auto keys = std::make_unique<FakeSyntheticKeys>();
        a11y = accessibility.get();
        board = clipboard.get();
        keystrokes = keys.get();
        inserter = std::make_unique<FocusedTextInserter>(std::move(accessibility),
                                                         std::move(clipboard), std::move(keys));
    }

    void userHasCopied()
    {
        board->contents = {ClipboardItem{{"text/plain", "user text"}, {"text/html", "<b>u</b>"}},
                           ClipboardItem{{"image/png", QByteArray("\x89PNG\0\1", 6)}}};
        board->count = 7;
    }

    FakeTextField& field() { return *a11y->field; }

    // The log's messages, without the "[Quor] " prefix.
    static QStringList logged() { return debugLogMessages(qEnvironmentVariable("QUOR_DEBUG_LOG")); }

    FakeAccessibility* a11y = nullptr;
    FakeClipboard* board = nullptr;
    FakeSyntheticKeys* keystrokes = nullptr;
    std::unique_ptr<FocusedTextInserter> inserter;
};

struct InPlaceCase
{
    const char* name;
    QString value;
    std::optional<TextRange> selection;
    QString text;
    QString expected;
    qsizetype caret;
};

class InPlaceInsertion : public InserterTest, public ::testing::WithParamInterface<InPlaceCase>
{
};

TEST_P(InPlaceInsertion, SplicesTheTextAndPutsTheCaretBehindIt)
{
    const InPlaceCase& c = GetParam();
    userHasCopied();
    const auto before = board->contents;
    field().value = c.value;
    field().selection = c.selection;

    EXPECT_EQ(inserter->insert(c.text), std::nullopt);

    EXPECT_EQ(field().value, c.expected);
    EXPECT_EQ(field().selection, (TextRange{c.caret, 0}));
    EXPECT_EQ(field().valueWrites, 1);
    EXPECT_TRUE(keystrokes->posted.isEmpty());
    EXPECT_EQ(board->contents, before);
    EXPECT_EQ(board->count, 7);
    EXPECT_EQ(logged(), QStringList{"inserted via accessibility value update"});
}

INSTANTIATE_TEST_SUITE_P(
    Fields, InPlaceInsertion,
    ::testing::Values(
        InPlaceCase{"SelectionReplaced", "Hello world", TextRange{6, 5}, "there", "Hello there",
                    11},
        InPlaceCase{"NoSelectionAppends", "abc", std::nullopt, "def", "abcdef", 6},
        InPlaceCase{"CaretAfterEmoji", "a" + emoji + "b", TextRange{3, 0}, "x", "a" + emoji + "xb",
                    4},
        InPlaceCase{"EmojiInsertedCountsTwoUnits", "ab", TextRange{1, 0}, emoji + "!",
                    "a" + emoji + "!b", 4},
        InPlaceCase{"SelectedEmojiReplaced", "a" + emoji + "b", TextRange{1, 2}, "c", "acb", 2},
        InPlaceCase{"CaretAtStart", "world", TextRange{0, 0}, "Hello ", "Hello world", 6},
        InPlaceCase{"EmptyField", "", std::nullopt, "Hi.", "Hi.", 3},
        InPlaceCase{"WholeTextSelected", "old", TextRange{0, 3}, "new", "new", 3}),
    [](const auto& info) { return std::string(info.param.name); });

struct FallbackCase
{
    const char* name;
    std::function<void(FakeAccessibility&)> setUp;
};

class FallbackToPaste : public InserterTest, public ::testing::WithParamInterface<FallbackCase>
{
};

TEST_P(FallbackToPaste, PastesAndRestoresTheUsersClipboard)
{
    userHasCopied();
    const auto before = board->contents;
    field().value = "Hello";
    field().selection = TextRange{5, 0};
    GetParam().setUp(*a11y);
    const std::optional<QString> fieldBefore = a11y->field ? a11y->field->value : std::nullopt;

    QList<ClipboardItem> seenByTarget;
    keystrokes->onPaste = [&] { seenByTarget = board->contents; };

    EXPECT_EQ(inserter->insert("dictated"), std::nullopt);

    EXPECT_EQ(keystrokes->posted, QStringList{"paste"});
    EXPECT_EQ(logged(), (QStringList{"falling back to pasteboard insertion", "posting command-v"}));
    ASSERT_EQ(seenByTarget.size(), 1);
    EXPECT_EQ(seenByTarget.first().value("text/plain"), "dictated");
    if (a11y->field) {
        EXPECT_EQ(a11y->field->value, fieldBefore);
    }
    EXPECT_TRUE(waitUntil([&] { return board->contents == before; }, 2000));
    EXPECT_EQ(board->writes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FallbackToPaste,
    ::testing::Values(
        FallbackCase{"NoFocusedElement", [](FakeAccessibility& a) { a.field.reset(); }},
        FallbackCase{"NoTextValue", [](FakeAccessibility& a) { a.field->value.reset(); }},
        FallbackCase{"SelectionPastTheEnd",
                     [](FakeAccessibility& a) {
                         a.field->selection = TextRange{6, 0};
                     }},
        FallbackCase{"SelectionRunsPastTheEnd",
                     [](FakeAccessibility& a) {
                         a.field->selection = TextRange{3, 3};
                     }},
        FallbackCase{"NegativeSelection",
                     [](FakeAccessibility& a) {
                         a.field->selection = TextRange{-1, 0};
                     }},
        FallbackCase{"SelectionSplitsAnEmoji",
                     [](FakeAccessibility& a) {
                         a.field->value = "a" + emoji;
                         a.field->selection = TextRange{2, 0};
                     }},
        FallbackCase{"ValueWriteRefused",
                     [](FakeAccessibility& a) { a.field->refuseValueWrite = true; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InserterTest, RefusedCaretMoveStillCountsAsInserted)
{
    field().value = "abc";
    field().refuseSelectionWrite = true;

    EXPECT_EQ(inserter->insert("d"), std::nullopt);

    EXPECT_EQ(field().value, "abcd");
    EXPECT_TRUE(keystrokes->posted.isEmpty());
}

TEST_F(InserterTest, UntrustedProcessPromptsAndNeverTouchesTheClipboard)
{
    userHasCopied();
    const auto before = board->contents;
    a11y->trusted = false;

    const Failure failure = inserter->insert("text");

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "Accessibility access is required for text insertion");
    EXPECT_EQ(a11y->prompts, 1);
    EXPECT_EQ(field().valueWrites, 0);
    EXPECT_TRUE(keystrokes->posted.isEmpty());
    EXPECT_EQ(board->contents, before);
    EXPECT_EQ(board->count, 7);
    EXPECT_TRUE(logged().isEmpty());
}

TEST_F(InserterTest, EmptyTextDoesNothing)
{
    a11y->trusted = false;
    userHasCopied();

    EXPECT_EQ(inserter->insert(""), std::nullopt);

    EXPECT_EQ(a11y->prompts, 0);
    EXPECT_EQ(field().valueWrites, 0);
    EXPECT_TRUE(keystrokes->posted.isEmpty());
    EXPECT_EQ(board->count, 7);
}

TEST_F(InserterTest, FailedPasteLeavesTheDictatedTextOnTheClipboard)
{
    userHasCopied();
    a11y->field.reset();
    keystrokes->works = false;

    const Failure failure = inserter->insert("keep me");

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "Could not create paste event");
    EXPECT_EQ(logged(), QStringList{"falling back to pasteboard insertion"})
        << "no paste went out, so none is reported as posted";
    spinFor(500);
    ASSERT_EQ(board->contents.size(), 1);
    EXPECT_EQ(board->contents.first().value("text/plain"), "keep me");
}

TEST_F(InserterTest, RestoreWaitsForTheTargetToPaste)
{
    userHasCopied();
    a11y->field.reset();

    ASSERT_EQ(inserter->insert("dictated"), std::nullopt);

    // The target reads the clipboard some time after the keystroke; it must still hold the text.
    spinFor(200);
    ASSERT_EQ(board->contents.size(), 1);
    EXPECT_EQ(board->contents.first().value("text/plain"), "dictated");
}

TEST_F(InserterTest, ClipboardTakenByAnotherProgramIsKept)
{
    userHasCopied();
    a11y->field.reset();
    keystrokes->onPaste = [&] { board->userCopies("newer"); };

    ASSERT_EQ(inserter->insert("dictated"), std::nullopt);

    spinFor(600);
    ASSERT_EQ(board->contents.size(), 1);
    EXPECT_EQ(board->contents.first().value("text/plain"), "newer");
    EXPECT_EQ(board->writes, 0);
}

TEST_F(InserterTest, PendingRestoreIsDroppedWithTheInserter)
{
    userHasCopied();
    a11y->field.reset();
    ASSERT_EQ(inserter->insert("dictated"), std::nullopt);

    inserter.reset(); // takes the fake clipboard with it; a late restore would touch freed memory

    spinFor(500);
    SUCCEED();
}

} // namespace
