#include "dictation/ClipboardSnapshot.h"

#include "fakes/FakeClipboard.h"

#include <gtest/gtest.h>

namespace {

const QString plain = QStringLiteral("text/plain");
const QString html = QStringLiteral("text/html");
const QString png = QStringLiteral("image/png");
const QString dictated = QStringLiteral("dictated");

ClipboardItem item(std::initializer_list<std::pair<QString, QByteArray>> formats)
{
    ClipboardItem result;
    for (const auto& [type, bytes] : formats)
        result.insert(type, bytes);
    return result;
}

TEST(ClipboardSnapshot, RecordsCountAndEveryFormatOfEveryItem)
{
    FakeClipboard clipboard;
    clipboard.clipboard().count = 41;
    clipboard.clipboard().contents = {item({{plain, "hi"}, {html, "<b>hi</b>"}}),
                                      item({{png, "\x89PNG"}})};

    const ClipboardSnapshot snapshot(clipboard);
    EXPECT_EQ(snapshot.originalChangeCount(), 41);
    EXPECT_EQ(snapshot.items(), clipboard.clipboard().contents);
}

TEST(ClipboardSnapshot, DropsFormatsThatGaveNoBytesButKeepsTheItem)
{
    FakeClipboard clipboard;
    clipboard.clipboard().contents = {item({{plain, "x"}, {html, QByteArray()}}),
                                      item({{png, QByteArray()}})};

    const ClipboardSnapshot snapshot(clipboard);
    const QList<ClipboardItem> expected = {item({{plain, "x"}}), ClipboardItem{}};
    EXPECT_EQ(snapshot.items(), expected);
}

TEST(ClipboardSnapshot, KeepsEmptyButPresentBytes)
{
    FakeClipboard clipboard;
    clipboard.clipboard().contents = {item({{plain, QByteArray("")}})};
    EXPECT_EQ(ClipboardSnapshot(clipboard).items(), clipboard.clipboard().contents);
}

// What happened to the clipboard between the snapshot and the restore.
struct RestoreCase
{
    const char* name;
    std::function<void(FakeClipboard&)> meanwhile;
    bool restored;
};

class ClipboardSnapshotRestore : public ::testing::TestWithParam<RestoreCase>
{
};

TEST_P(ClipboardSnapshotRestore, RestoresOnlyWhileTheTranscriptIsThere)
{
    FakeClipboard clipboard;
    clipboard.clipboard().count = 7;
    const QList<ClipboardItem> original = {item({{plain, "mine"}, {png, "img"}})};
    clipboard.clipboard().contents = original;
    const ClipboardSnapshot snapshot(clipboard);

    GetParam().meanwhile(clipboard);
    const QList<ClipboardItem> before = clipboard.clipboard().contents;
    const qint64 countBefore = clipboard.clipboard().count;

    EXPECT_EQ(snapshot.restoreIfSafe(clipboard, dictated), GetParam().restored);
    if (GetParam().restored) {
        EXPECT_EQ(clipboard.clipboard().contents, original);
        EXPECT_EQ(clipboard.clipboard().writes, 1);
    } else {
        EXPECT_EQ(clipboard.clipboard().contents, before);
        EXPECT_EQ(clipboard.clipboard().count, countBefore);
        EXPECT_EQ(clipboard.clipboard().writes, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClipboardSnapshotRestore,
    ::testing::Values(RestoreCase{"OurWriteOnly",
                                  [](FakeClipboard& c) {
                                      c.setTransientText(Selection::Clipboard, dictated);
                                  },
                                  true},
                      RestoreCase{"ClearThenWrite",
                                  [](FakeClipboard& c) {
                                      c.clearContents(Selection::Clipboard);
                                      c.setTransientText(Selection::Clipboard, dictated);
                                  },
                                  true},
                      RestoreCase{"ManagerTookTheTranscriptOver",
                                  [](FakeClipboard& c) {
                                      c.setTransientText(Selection::Clipboard, dictated);
                                      c.managerTakesOver();
                                      c.managerTakesOver();
                                  },
                                  true},
                      RestoreCase{"ManagerServesItAsUtf8TextOnly",
                                  [](FakeClipboard& c) {
                                      c.setTransientText(Selection::Clipboard, dictated);
                                      c.clipboard().contents = {
                                          item({{"text/plain;charset=utf-8", dictated.toUtf8()}})};
                                      c.clipboard().owned = false;
                                      ++c.clipboard().count;
                                  },
                                  true},
                      // One write of another program moves the count as much as a clear and a write
                      // of ours: only the contents can tell it apart.
                      RestoreCase{"AnotherProgramWroteOnceAfterUs",
                                  [](FakeClipboard& c) {
                                      c.setTransientText(Selection::Clipboard, dictated);
                                      c.userCopies("newer");
                                  },
                                  false},
                      RestoreCase{"UserCopiedSomethingElseLater",
                                  [](FakeClipboard& c) {
                                      c.setTransientText(Selection::Clipboard, dictated);
                                      for (int i = 0; i < 5; ++i)
                                          c.userCopies(QString::number(i));
                                  },
                                  false},
                      RestoreCase{"NothingWritten", [](FakeClipboard&) {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClipboardSnapshot, SeveralItemsComeBackInOrder)
{
    FakeClipboard clipboard;
    const QList<ClipboardItem> original = {item({{plain, "one"}}), item({{plain, "two"}}),
                                           item({{plain, "three"}, {html, "<i>3</i>"}})};
    clipboard.clipboard().contents = original;
    const ClipboardSnapshot snapshot(clipboard);

    clipboard.setTransientText(Selection::Clipboard, dictated);
    EXPECT_TRUE(snapshot.restoreIfSafe(clipboard, dictated));
    EXPECT_EQ(clipboard.clipboard().contents, original);
}

TEST(ClipboardSnapshot, EmptyClipboardIsEmptyAgainWithoutAWrite)
{
    FakeClipboard clipboard;
    const ClipboardSnapshot snapshot(clipboard);

    clipboard.setTransientText(Selection::Clipboard, dictated);
    EXPECT_TRUE(snapshot.restoreIfSafe(clipboard, dictated));
    EXPECT_TRUE(clipboard.clipboard().contents.isEmpty());
    EXPECT_EQ(clipboard.clipboard().writes, 0);
}

TEST(ClipboardSnapshot, PrimarySelectionIsSavedAndRestoredOnItsOwn)
{
    FakeClipboard clipboard;
    clipboard.clipboard().contents = {item({{plain, "copied"}})};
    clipboard.primary().contents = {item({{plain, "selected"}})};
    const ClipboardSnapshot snapshot(clipboard, Selection::Primary);

    clipboard.setTransientText(Selection::Primary, dictated);
    EXPECT_TRUE(snapshot.restoreIfSafe(clipboard, dictated));
    EXPECT_EQ(clipboard.primary().contents, QList<ClipboardItem>{item({{plain, "selected"}})});
    EXPECT_EQ(clipboard.clipboard().contents, QList<ClipboardItem>{item({{plain, "copied"}})});
    EXPECT_EQ(clipboard.clipboard().count, 0);
}

} // namespace
