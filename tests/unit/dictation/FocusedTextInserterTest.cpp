#include "dictation/FocusedTextInserter.h"

#include "fakes/FakeAccessibility.h"
#include "fakes/FakeClipboard.h"
#include "fakes/FakeSyntheticKeys.h"
#include "support/DebugLogLines.h"
#include "support/Wait.h"

#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units
const QString plain = QStringLiteral("text/plain");

// Short waits, so the tests run quickly; their order is what matters.
constexpr ClipboardPaste::Timing fast{.settleMs = 5,
                                      .readWaitMs = 300,
                                      .quietMs = 20,
                                      .ownWindowMs = 60,
                                      .unwatchedMs = 80,
                                      .keyboardWaitMs = 400};

QList<ClipboardItem> userItems()
{
    return {ClipboardItem{{"text/plain", "user text"}, {"text/html", "<b>u</b>"}},
            ClipboardItem{{"image/png", QByteArray("\x89PNG\0\1", 6)}}};
}

QList<ClipboardItem> textItem(const QString& text)
{
    return {ClipboardItem{{plain, text.toUtf8()}}};
}

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
        inserter = std::make_unique<FocusedTextInserter>(
            std::move(accessibility), std::move(clipboard), std::move(keys), fast);
    }

    void userHasCopied()
    {
        board->clipboard().contents = userItems();
        board->clipboard().count = 7;
        board->primary().contents = textItem("selected words");
        board->primary().count = 3;
    }

    // The target application: on the chord it reads what the chord pastes.
    void targetPastes()
    {
        keystrokes->onPaste = [this] {
            const Selection from = keystrokes->posted.last() == "shift+insert"
                                       ? Selection::Primary
                                       : Selection::Clipboard;
            seenByTarget = board->items(from);
            board->targetReads(from);
        };
    }

    // Inserts and runs the event loop until the inserter reports back.
    Failure insertAndWait(const QString& text)
    {
        bool finished = false;
        Failure result;
        inserter->insert(text, [&](Failure failure) {
            finished = true;
            result = std::move(failure);
        });
        EXPECT_FALSE(finished) << "reported inside insert()";
        EXPECT_TRUE(waitUntil([&] { return finished; }, 3000)) << "never reported";
        return result;
    }

    FakeTextField& field() { return *a11y->field; }

    // The log's messages, without the "[Quor] " prefix.
    static QStringList logged() { return debugLogMessages(qEnvironmentVariable("QUOR_DEBUG_LOG")); }

    FakeAccessibility* a11y = nullptr;
    FakeClipboard* board = nullptr;
    FakeSyntheticKeys* keystrokes = nullptr;
    QList<ClipboardItem> seenByTarget;
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
    field().value = c.value;
    field().selection = c.selection;

    EXPECT_EQ(insertAndWait(c.text), std::nullopt);

    EXPECT_EQ(field().value, c.expected);
    EXPECT_EQ(field().selection, (TextRange{c.caret, 0}));
    EXPECT_EQ(field().valueWrites, 1);
    EXPECT_TRUE(keystrokes->posted.isEmpty());
    EXPECT_EQ(board->clipboard().contents, userItems());
    EXPECT_EQ(board->clipboard().count, 7);
    EXPECT_EQ(logged(), QStringList{"inserted via accessibility value update"});
}

INSTANTIATE_TEST_SUITE_P(
    Fields, InPlaceInsertion,
    ::testing::Values(
        InPlaceCase{"SelectionReplaced", "Hello world", TextRange{6, 5}, "there", "Hello there",
                    11},
        InPlaceCase{"NoSelectionAppends", "abc ", std::nullopt, "def", "abc def", 7},
        InPlaceCase{"CaretAfterEmoji", "a" + emoji + " b", TextRange{3, 0}, "x",
                    "a" + emoji + "x b", 4},
        InPlaceCase{"EmojiInsertedCountsTwoUnits", "a b", TextRange{1, 0}, emoji + "!",
                    "a" + emoji + "! b", 4},
        InPlaceCase{"SelectedEmojiReplaced", "a" + emoji + " b", TextRange{1, 2}, "-", "a- b", 2},
        InPlaceCase{"EmptyField", "", std::nullopt, "Hi.", "Hi.", 3},
        InPlaceCase{"WholeTextSelected", "old", TextRange{0, 3}, "new", "new", 3},
        // The seam: one space where the dictation meets a word on either side.
        InPlaceCase{"MiddleOfText", "alpha beta", TextRange{6, 0}, "Hello from wendlo.",
                    "alpha Hello from wendlo. beta", 25},
        InPlaceCase{"AfterAWordWithoutSpace", "abc", std::nullopt, "def", "abc def", 7},
        InPlaceCase{"BeforeAWordAtTheStart", "world", TextRange{0, 0}, "Hello.", "Hello. world",
                    7}),
    [](const auto& info) { return std::string(info.param.name); });

struct FallbackCase
{
    const char* name;
    std::function<void(FakeAccessibility&)> setUp;
};

class FallbackToPaste : public InserterTest, public ::testing::WithParamInterface<FallbackCase>
{
};

TEST_P(FallbackToPaste, PastesAndRestoresTheUsersClipboardOnceTheTargetReadIt)
{
    userHasCopied();
    field().value = "Hello ";
    field().selection = TextRange{6, 0};
    GetParam().setUp(*a11y);
    const std::optional<QString> fieldBefore = a11y->field ? a11y->field->value : std::nullopt;
    targetPastes();

    EXPECT_EQ(insertAndWait("dictated"), std::nullopt);

    EXPECT_EQ(keystrokes->posted, QStringList{"paste"});
    EXPECT_EQ(logged(), (QStringList{"falling back to clipboard insertion", "sending the paste chord ctrl+v"}));
    EXPECT_EQ(plainText(seenByTarget), "dictated");
    EXPECT_EQ(seenByTarget.value(0).value(FakeClipboard::hint), "secret")
        << "marked for clipboard managers";
    if (a11y->field) {
        EXPECT_EQ(a11y->field->value, fieldBefore);
    }
    EXPECT_EQ(board->clipboard().contents, userItems());
    EXPECT_EQ(board->primary().contents, textItem("selected words")) << "Ctrl+V reads no PRIMARY";
    EXPECT_EQ(board->primary().count, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FallbackToPaste,
    ::testing::Values(
        FallbackCase{"NoFocusedElement", [](FakeAccessibility& a) { a.field.reset(); }},
        FallbackCase{"NoTextValue", [](FakeAccessibility& a) { a.field->value.reset(); }},
        FallbackCase{"SelectionPastTheEnd",
                     [](FakeAccessibility& a) {
                         a.field->selection = TextRange{7, 0};
                     }},
        FallbackCase{"SelectionRunsPastTheEnd",
                     [](FakeAccessibility& a) {
                         a.field->selection = TextRange{3, 4};
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

TEST_F(InserterTest, PasteIntoAReadableFieldGetsTheSameSpacing)
{
    field().value = "alpha beta";
    field().selection = TextRange{6, 0};
    field().refuseValueWrite = true;
    targetPastes();

    EXPECT_EQ(insertAndWait("Hello."), std::nullopt);
    EXPECT_EQ(plainText(seenByTarget), "Hello. ");
}

TEST_F(InserterTest, FieldThatAltersTheTextCountsAsDoneWithoutAPaste)
{
    userHasCopied();
    field().value = "ABC ";
    field().transform = [](const QString& s) { return s.toUpper(); };

    EXPECT_EQ(insertAndWait("hello."), std::nullopt);

    EXPECT_EQ(field().value, "ABC HELLO.");
    EXPECT_EQ(field().valueWrites, 1);
    EXPECT_EQ(field().selection, (TextRange{10, 0}));
    EXPECT_TRUE(keystrokes->posted.isEmpty());
    EXPECT_EQ(board->clipboard().count, 7);
}

TEST_F(InserterTest, MaskedFieldIsNeverReadAndGetsAPaste)
{
    userHasCopied();
    field().value = QString(3, QChar(0x25CF)); // what a password field reads back as
    field().secret = true;
    targetPastes();

    EXPECT_EQ(insertAndWait("hunter2"), std::nullopt);

    EXPECT_EQ(field().reads, 0);
    EXPECT_EQ(field().valueWrites, 0);
    EXPECT_EQ(keystrokes->posted, QStringList{"paste"});
    EXPECT_EQ(plainText(seenByTarget), "hunter2");
    EXPECT_EQ(board->clipboard().contents, userItems());
}

TEST_F(InserterTest, RefusedCaretMoveStillCountsAsInserted)
{
    field().value = "abc";
    field().refuseSelectionWrite = true;

    EXPECT_EQ(insertAndWait("."), std::nullopt);

    EXPECT_EQ(field().value, "abc.");
    EXPECT_TRUE(keystrokes->posted.isEmpty());
}

TEST_F(InserterTest, UntrustedProcessPromptsAndNeverTouchesTheClipboard)
{
    userHasCopied();
    a11y->trusted = false;

    const Failure failure = insertAndWait("text");

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "Accessibility access is required for text insertion");
    EXPECT_EQ(a11y->prompts, 1);
    EXPECT_EQ(field().valueWrites, 0);
    EXPECT_TRUE(keystrokes->posted.isEmpty());
    EXPECT_EQ(board->clipboard().contents, userItems());
    EXPECT_EQ(board->clipboard().count, 7);
    EXPECT_TRUE(logged().isEmpty());
}

TEST_F(InserterTest, EmptyTextDoesNothing)
{
    a11y->trusted = false;
    userHasCopied();

    EXPECT_EQ(insertAndWait(""), std::nullopt);

    EXPECT_EQ(a11y->prompts, 0);
    EXPECT_EQ(field().valueWrites, 0);
    EXPECT_TRUE(keystrokes->posted.isEmpty());
    EXPECT_EQ(board->clipboard().count, 7);
}

TEST_F(InserterTest, FailedPasteLeavesTheDictatedTextOnTheClipboard)
{
    userHasCopied();
    a11y->field.reset();
    keystrokes->works = false;

    const Failure failure = insertAndWait("keep me");

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "Could not create paste event");
    spinFor(100);
    EXPECT_EQ(plainText(board->clipboard().contents), "keep me");
}

TEST_F(InserterTest, PasteNobodyReadsLeavesTheTextAndSaysHowToPasteIt)
{
    userHasCopied();
    a11y->field.reset();

    const Failure failure = insertAndWait("not lost");

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, QString::fromUtf8("Text copied — paste it with Ctrl+V"));
    EXPECT_EQ(board->clipboard().contents, textItem("not lost")) << "no longer marked transient";
    EXPECT_EQ(board->clipboard().writes, 1);
}

TEST_F(InserterTest, ClipboardThatCannotReportReadsLeavesTheTextToo)
{
    a11y->field.reset();
    board->reads = false;

    const Failure failure = insertAndWait("by hand");

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, QString::fromUtf8("Text copied — paste it with Ctrl+V"));
    EXPECT_EQ(plainText(board->clipboard().contents), "by hand");
}

TEST_F(InserterTest, ClipboardKeptFromUsIsNeverTouchedAndTheTextReachesTheUser)
{
    userHasCopied();
    a11y->field.reset();
    board->unavailable = QStringLiteral("this desktop lets no background application use the "
                                        "clipboard");

    const Failure failure = insertAndWait("kept safe");

    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->message.contains(*board->unavailable)) << failure->message.toStdString();
    EXPECT_TRUE(failure->message.contains(QString::fromUtf8("“kept safe”")));
    EXPECT_TRUE(keystrokes->posted.isEmpty());
    EXPECT_EQ(board->clipboard().contents, userItems());
    EXPECT_EQ(board->clipboard().count, 7);
    EXPECT_EQ(board->primary().count, 3);
}

// Where the clipboard is kept from us but the keys can type (the desktop portal's keyboard).
class TypingWithoutClipboard : public InserterTest
{
protected:
    TypingWithoutClipboard()
    {
        userHasCopied();
        a11y->field.reset();
        board->unavailable = QStringLiteral("this desktop lets no background application use "
                                            "the clipboard");
        keystrokes->types = true;
    }

    void expectClipboardUntouched()
    {
        EXPECT_EQ(board->clipboard().contents, userItems());
        EXPECT_EQ(board->clipboard().count, 7);
        EXPECT_EQ(board->primary().count, 3);
    }
};

TEST_F(TypingWithoutClipboard, TypesTheTextAndLeavesTheClipboardAlone)
{
    EXPECT_EQ(insertAndWait("typed in"), std::nullopt);
    EXPECT_EQ(keystrokes->typed, QStringList{"typed in"});
    EXPECT_EQ(keystrokes->posted, QStringList{"type"}) << "no paste chord";
    expectClipboardUntouched();
}

TEST_F(TypingWithoutClipboard, KeysThatFailSayWhyAndTheTextReachesTheUser)
{
    keystrokes->answerLater = true;
    keystrokes->typeFailure = QStringLiteral("you did not allow Wendlo to control the keyboard");
    bool finished = false;
    Failure failure;
    inserter->insert("not lost", [&](Failure f) {
        finished = true;
        failure = std::move(f);
    });
    ASSERT_TRUE(waitUntil([&] { return !keystrokes->typed.isEmpty(); }, 1000));
    spinFor(50);
    EXPECT_FALSE(finished) << "a failure arriving later must not be taken for success";

    keystrokes->answerTyping();
    ASSERT_TRUE(waitUntil([&] { return finished; }, 1000));
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->message.contains(*board->unavailable)) << failure->message.toStdString();
    EXPECT_TRUE(failure->message.contains(*keystrokes->typeFailure))
        << failure->message.toStdString();
    EXPECT_TRUE(failure->message.contains(QString::fromUtf8("“not lost”")));
    expectClipboardUntouched();
}

TEST_F(TypingWithoutClipboard, WaitsForTheHotKeyToBeLetGo)
{
    inserter->setKeyboardHeld(true);
    bool finished = false;
    inserter->insert("after release", [&](Failure failure) {
        finished = true;
        EXPECT_EQ(failure, std::nullopt);
    });
    spinFor(150);
    EXPECT_TRUE(keystrokes->typed.isEmpty()) << "typed keys would mix with the held modifiers";

    inserter->setKeyboardHeld(false);
    ASSERT_TRUE(waitUntil([&] { return finished; }, 1000));
    EXPECT_EQ(keystrokes->typed, QStringList{"after release"});
}

TEST_F(TypingWithoutClipboard, LateAnswerAfterTheInserterIsGoneIsDropped)
{
    keystrokes->answerLater = true;
    bool called = false;
    inserter->insert("dictated", [&](Failure) { called = true; });
    ASSERT_TRUE(waitUntil([&] { return !keystrokes->typed.isEmpty(); }, 1000));
    SyntheticKeys::TypeDone late = std::move(keystrokes->pendingTyping);

    inserter.reset();
    late(std::nullopt);
    spinFor(50);
    EXPECT_FALSE(called);
}

TEST_F(InserterTest, OwnWindowPastesWithoutAReadAndIsRestored)
{
    userHasCopied();
    a11y->field.reset();
    keystrokes->target.ownWindow = true;

    EXPECT_EQ(insertAndWait("practice"), std::nullopt);

    EXPECT_EQ(keystrokes->posted, QStringList{"paste"});
    EXPECT_EQ(board->clipboard().contents, userItems());
}

TEST_F(InserterTest, ShiftInsertTargetGetsTheTextOnBothSelectionsAndBothComeBack)
{
    userHasCopied();
    a11y->field.reset();
    keystrokes->target.chord = PasteChord::ShiftInsert;
    QList<ClipboardItem> clipboardAtChord;
    keystrokes->onPaste = [&] {
        clipboardAtChord = board->items(Selection::Clipboard);
        seenByTarget = board->items(Selection::Primary);
        board->targetReads(Selection::Primary);
    };

    EXPECT_EQ(insertAndWait("ls -l"), std::nullopt);

    EXPECT_EQ(keystrokes->posted, QStringList{"shift+insert"});
    EXPECT_EQ(plainText(clipboardAtChord), "ls -l");
    EXPECT_EQ(plainText(seenByTarget), "ls -l");
    EXPECT_EQ(board->clipboard().contents, userItems());
    EXPECT_EQ(board->primary().contents, textItem("selected words"));
    EXPECT_EQ(logged().last(), "sending the paste chord shift+insert");
}

TEST_F(InserterTest, RestoreWaitsUntilTheTargetHasReadTheText)
{
    userHasCopied();
    a11y->field.reset();
    bool finished = false;
    inserter->insert("slow target", [&](Failure) { finished = true; });

    ASSERT_TRUE(waitUntil([&] { return !keystrokes->posted.isEmpty(); }, 1000));
    spinFor(150); // a busy target, well past a fixed short delay
    EXPECT_FALSE(finished);
    EXPECT_EQ(plainText(board->clipboard().contents), "slow target");

    board->targetReads();
    ASSERT_TRUE(waitUntil([&] { return finished; }, 1000));
    EXPECT_EQ(board->clipboard().contents, userItems());
}

TEST_F(InserterTest, ClipboardTakenByAnotherProgramAfterThePasteIsKept)
{
    userHasCopied();
    a11y->field.reset();
    keystrokes->onPaste = [&] {
        board->targetReads();
        board->userCopies("newer");
    };

    EXPECT_EQ(insertAndWait("dictated"), std::nullopt);

    EXPECT_EQ(board->clipboard().contents, textItem("newer"));
    EXPECT_EQ(board->clipboard().writes, 0);
}

TEST_F(InserterTest, ManagerThatTookTheTranscriptOverStillGetsTheUsersClipboardBack)
{
    userHasCopied();
    a11y->field.reset();
    keystrokes->onPaste = [&] {
        board->targetReads();
        board->managerTakesOver(); // serves the same text, count moved once more
    };

    EXPECT_EQ(insertAndWait("dictated"), std::nullopt);

    EXPECT_EQ(board->clipboard().contents, userItems());
}

TEST_F(InserterTest, ManagerServingTheTranscriptBeforeTheChordIsLeftToServeIt)
{
    userHasCopied();
    a11y->field.reset();
    bool chord = false;
    keystrokes->onPaste = [&] {
        chord = true;
        seenByTarget = board->items(Selection::Clipboard); // read from the manager: not seen
    };
    QTimer::singleShot(0, [&] { board->managerTakesOver(); });

    EXPECT_EQ(insertAndWait("dictated"), std::nullopt);

    EXPECT_TRUE(chord);
    EXPECT_EQ(plainText(seenByTarget), "dictated");
    EXPECT_EQ(board->transientWrites, 1) << "no tug of war with the manager";
    EXPECT_EQ(board->clipboard().contents, userItems());
}

TEST_F(InserterTest, ClipboardWrittenBeforeTheChordIsTakenBackFirst)
{
    userHasCopied();
    a11y->field.reset();
    targetPastes();
    // Another program writes between our write and the chord.
    QTimer::singleShot(0, [&] { board->userCopies("racing writer"); });

    EXPECT_EQ(insertAndWait("dictated"), std::nullopt);

    EXPECT_EQ(plainText(seenByTarget), "dictated");
    EXPECT_TRUE(logged().contains("clipboard taken meanwhile; taking it again"));
}

TEST_F(InserterTest, PasteWaitsForTheHotKeyToBeLetGo)
{
    userHasCopied();
    a11y->field.reset();
    targetPastes();
    inserter->setKeyboardHeld(true);
    bool finished = false;
    inserter->insert("held", [&](Failure failure) {
        finished = true;
        EXPECT_EQ(failure, std::nullopt);
    });

    spinFor(150);
    EXPECT_TRUE(keystrokes->posted.isEmpty()) << "the grab would swallow the chord";
    EXPECT_EQ(board->clipboard().contents, userItems()) << "untouched while waiting";

    inserter->setKeyboardHeld(false);
    ASSERT_TRUE(waitUntil([&] { return finished; }, 1000));
    EXPECT_EQ(plainText(seenByTarget), "held");
    EXPECT_EQ(board->clipboard().contents, userItems());
}

TEST_F(InserterTest, AccessibilityInsertionDoesNotWaitForTheHotKey)
{
    field().value = "";
    inserter->setKeyboardHeld(true);
    EXPECT_EQ(insertAndWait("Now."), std::nullopt);
    EXPECT_EQ(field().value, "Now.");
}

TEST_F(InserterTest, HotKeyHeldTooLongLeavesTheTextOnTheClipboard)
{
    userHasCopied();
    a11y->field.reset();
    inserter->setKeyboardHeld(true);

    const Failure failure = insertAndWait("waited");

    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, QString::fromUtf8("Text copied — paste it with Ctrl+V"));
    EXPECT_TRUE(keystrokes->posted.isEmpty());
    EXPECT_EQ(plainText(board->clipboard().contents), "waited");
}

TEST_F(InserterTest, InsertionsRunOneAfterAnotherInOrder)
{
    userHasCopied();
    a11y->field.reset();
    QStringList pasted;
    keystrokes->onPaste = [&] {
        pasted << plainText(board->items(Selection::Clipboard)).value_or("?");
        board->targetReads();
    };
    QStringList done;
    inserter->insert("first", [&](Failure) { done << "first"; });
    inserter->insert("second", [&](Failure) { done << "second"; });

    ASSERT_TRUE(waitUntil([&] { return done.size() == 2; }, 3000));
    EXPECT_EQ(done, (QStringList{"first", "second"}));
    EXPECT_EQ(pasted, (QStringList{"first", "second"}));
    EXPECT_EQ(board->clipboard().contents, userItems());
}

TEST_F(InserterTest, PendingPasteIsDroppedWithTheInserter)
{
    userHasCopied();
    a11y->field.reset();
    bool called = false;
    inserter->insert("dictated", [&](Failure) { called = true; });
    ASSERT_TRUE(waitUntil([&] { return !keystrokes->posted.isEmpty(); }, 1000));

    inserter.reset(); // takes the fake clipboard with it; a late restore would touch freed memory

    spinFor(400);
    EXPECT_FALSE(called);
}

} // namespace
