#include "dictation/PasteboardSnapshot.h"

#include "fakes/FakeClipboard.h"

#include <gtest/gtest.h>

namespace {

const QString plain = QStringLiteral("text/plain");
const QString html = QStringLiteral("text/html");
const QString png = QStringLiteral("image/png");

ClipboardItem item(std::initializer_list<std::pair<QString, QByteArray>> formats)
{
    ClipboardItem result;
    for (const auto& [type, bytes] : formats)
        result.insert(type, bytes);
    return result;
}

// The inserter's own writes between snapshot and restore.
void dictatedPaste(FakeClipboard& clipboard)
{
    clipboard.clearContents();
    clipboard.setString(QStringLiteral("dictated"));
}

TEST(PasteboardSnapshot, RecordsCountAndEveryFormatOfEveryItem)
{
    FakeClipboard clipboard;
    clipboard.count = 41;
    clipboard.contents = {item({{plain, "hi"}, {html, "<b>hi</b>"}}), item({{png, "\x89PNG"}})};

    const PasteboardSnapshot snapshot(clipboard);
    EXPECT_EQ(snapshot.originalChangeCount(), 41);
    EXPECT_EQ(snapshot.items(), clipboard.contents);
}

TEST(PasteboardSnapshot, DropsFormatsThatGaveNoBytesButKeepsTheItem)
{
    FakeClipboard clipboard;
    clipboard.contents = {item({{plain, "x"}, {html, QByteArray()}}), item({{png, QByteArray()}})};

    const PasteboardSnapshot snapshot(clipboard);
    const QList<ClipboardItem> expected = {item({{plain, "x"}}), ClipboardItem{}};
    EXPECT_EQ(snapshot.items(), expected);
}

TEST(PasteboardSnapshot, KeepsEmptyButPresentBytes)
{
    FakeClipboard clipboard;
    clipboard.contents = {item({{plain, QByteArray("")}})};
    EXPECT_EQ(PasteboardSnapshot(clipboard).items(), clipboard.contents);
}

struct RestoreCase
{
    const char* name;
    int changesAfterSnapshot; // on top of nothing: the test makes them itself
    bool restored;
};

class PasteboardSnapshotRestore : public ::testing::TestWithParam<RestoreCase>
{
};

TEST_P(PasteboardSnapshotRestore, RestoresOnlyWhenTheCountMovedByOneOrTwo)
{
    const RestoreCase& c = GetParam();
    FakeClipboard clipboard;
    clipboard.count = 7;
    const QList<ClipboardItem> original = {item({{plain, "mine"}, {png, "img"}})};
    clipboard.contents = original;
    const PasteboardSnapshot snapshot(clipboard);

    clipboard.contents = {item({{plain, "someone else's"}})};
    clipboard.count += c.changesAfterSnapshot;
    const QList<ClipboardItem> before = clipboard.contents;
    const qint64 countBefore = clipboard.count;

    snapshot.restoreIfSafe(clipboard);
    if (c.restored) {
        EXPECT_EQ(clipboard.contents, original);
        EXPECT_EQ(clipboard.writes, 1);
    } else {
        EXPECT_EQ(clipboard.contents, before);
        EXPECT_EQ(clipboard.count, countBefore);
        EXPECT_EQ(clipboard.writes, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PasteboardSnapshotRestore,
    ::testing::Values(RestoreCase{"Unchanged", 0, false}, RestoreCase{"PlusOne", 1, true},
                      RestoreCase{"PlusTwo", 2, true}, RestoreCase{"PlusThree", 3, false},
                      RestoreCase{"PlusTen", 10, false}, RestoreCase{"WentBackwards", -1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PasteboardSnapshot, SeveralItemsComeBackInOrder)
{
    FakeClipboard clipboard;
    const QList<ClipboardItem> original = {item({{plain, "one"}}), item({{plain, "two"}}),
                                           item({{plain, "three"}, {html, "<i>3</i>"}})};
    clipboard.contents = original;
    const PasteboardSnapshot snapshot(clipboard);

    dictatedPaste(clipboard);
    snapshot.restoreIfSafe(clipboard);
    EXPECT_EQ(clipboard.contents, original);
}

TEST(PasteboardSnapshot, EmptyClipboardIsEmptyAgainWithoutAWrite)
{
    FakeClipboard clipboard;
    const PasteboardSnapshot snapshot(clipboard);

    dictatedPaste(clipboard);
    snapshot.restoreIfSafe(clipboard);
    EXPECT_TRUE(clipboard.contents.isEmpty());
    EXPECT_EQ(clipboard.writes, 0);
}

TEST(PasteboardSnapshot, UserCopyAfterThePasteWins)
{
    FakeClipboard clipboard;
    clipboard.contents = {item({{plain, "old"}})};
    const PasteboardSnapshot snapshot(clipboard);

    dictatedPaste(clipboard);
    clipboard.userCopies(QStringLiteral("new"));
    snapshot.restoreIfSafe(clipboard);
    EXPECT_EQ(clipboard.contents, QList<ClipboardItem>{item({{plain, "new"}})});
}

} // namespace
