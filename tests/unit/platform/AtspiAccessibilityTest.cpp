// Without any session bus (so no accessibility bus either) the back end must answer at once.
#include "platform/atspi/AtspiAccessibility.h"

#include "dictation/FocusedTextInserter.h"
#include "fakes/FakeClipboard.h"
#include "fakes/FakeSyntheticKeys.h"
#include "platform/atspi/AtspiAccessibilityTrust.h"
#include "support/Wait.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class NoBus : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // Before anything in this process opens the session bus.
        static QTemporaryDir dir;
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus").toUtf8());
        qputenv("AT_SPI_BUS_ADDRESS", "unix:path=" + dir.filePath("no-a11y-bus").toUtf8());
        qunsetenv("DISPLAY");
    }
};

TEST_F(NoBus, NothingIsTrustedAndNoFieldIsFound)
{
    AtspiAccessibility a11y(std::make_unique<AtspiAccessibilityTrust>());

    EXPECT_FALSE(a11y.isTrusted());
    EXPECT_FALSE(a11y.isTrustedWithPrompt());
    EXPECT_EQ(a11y.focusedElement(), nullptr);
}

TEST_F(NoBus, InsertionFailsWithTheAccessibilityMessageAndLeavesTheClipboard)
{
    auto clipboard = std::make_unique<FakeClipboard>();
    auto keys = std::make_unique<FakeSyntheticKeys>();
    FakeClipboard* board = clipboard.get();
    FakeSyntheticKeys* posted = keys.get();
    board->clipboard().contents = {ClipboardItem{{"text/plain", "user text"}}};
    FocusedTextInserter inserter(
        std::make_unique<AtspiAccessibility>(std::make_unique<AtspiAccessibilityTrust>()),
        std::move(clipboard), std::move(keys));

    std::optional<Failure> failure;
    inserter.insert("hello", [&](Failure f) { failure = std::move(f); });
    ASSERT_TRUE(waitUntil([&] { return failure.has_value(); }, 3000));

    ASSERT_TRUE(*failure);
    EXPECT_EQ((*failure)->message, "Accessibility access is required for text insertion");
    EXPECT_EQ(board->clipboard().count, 0);
    EXPECT_TRUE(posted->posted.isEmpty());
}

} // namespace
