// Insertion through AT-SPI into real Qt and GTK 3 fields, which count offsets differently.
#include "FieldApp.h"
#include "dictation/FocusedTextInserter.h"
#include "fakes/FakeClipboard.h"
#include "fakes/FakeSyntheticKeys.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiAccessibilityTrust.h"
#include "support/Wait.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <gtest/gtest.h>

namespace {

const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80");  // outside the BMP
const QString party = QString::fromUtf8("\xF0\x9F\x8E\x89"); // outside the BMP

struct FieldKind
{
    FieldApp::Toolkit toolkit;
    const char* widget;
    const char* name;
};

struct InsertCase
{
    const char* name;
    QString text;
    std::optional<int> selectStart;
    int selectLength;
    QString inserted;
    QString expected;
    int caret;
};

// The inserter over the real AT-SPI back end, with a clipboard and keys that only record.
struct RealInserter
{
    RealInserter()
    {
        auto accessibility = std::make_unique<AtspiAccessibility>(
            std::make_unique<AtspiAccessibilityTrust>(),
            AtspiAccessibility::Limits{.callTimeoutMs = 300, .searchMs = 1500, .maxNodes = 4000});
        auto clipboard = std::make_unique<FakeClipboard>();
        auto keys = std::make_unique<FakeSyntheticKeys>();
        a11y = accessibility.get();
        board = clipboard.get();
        keystrokes = keys.get();
        board->clipboard().contents = {ClipboardItem{{"text/plain", "user text"}}};
        // The "target" reads what a paste offers, as a real application does.
        keystrokes->onPaste = [this] { board->targetReads(); };
        inserter = std::make_unique<FocusedTextInserter>(std::move(accessibility),
                                                         std::move(clipboard), std::move(keys));
    }

    // Waits until the field with `text` has focus and is visible through AT-SPI.
    bool focusedFieldHolds(const QString& text)
    {
        return waitUntil(
            [&] {
                auto element = a11y->focusedElement();
                return element && element->value() == text;
            },
            10000);
    }

    // Inserts and runs the event loop until the inserter reports back.
    Failure insert(const QString& text)
    {
        std::optional<Failure> result;
        inserter->insert(text, [&](Failure failure) { result = std::move(failure); });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 10000)) << "never reported";
        return result.value_or(QuorError{QStringLiteral("never reported")});
    }

    AtspiAccessibility* a11y = nullptr;
    FakeClipboard* board = nullptr;
    FakeSyntheticKeys* keystrokes = nullptr;
    std::unique_ptr<FocusedTextInserter> inserter;
};

class AtspiInsertion : public ::testing::TestWithParam<std::tuple<FieldKind, InsertCase>>
{
};

TEST_P(AtspiInsertion, EditsTheFieldInPlace)
{
    const auto& [kind, c] = GetParam();
    FieldApp app(kind.toolkit, kind.widget, c.text, c.selectStart, c.selectLength);
    ASSERT_TRUE(app.started());
    RealInserter real;
    ASSERT_TRUE(real.focusedFieldHolds(c.text));

    EXPECT_EQ(real.insert(c.inserted), std::nullopt);

    EXPECT_TRUE(app.waitForText(c.expected)) << app.state().text.toStdString();
    EXPECT_TRUE(waitUntil([&] { return app.state().cursor == c.caret; }, 3000))
        << "cursor " << app.state().cursor;
    EXPECT_EQ(app.state().anchor, app.state().cursor);
    EXPECT_TRUE(real.keystrokes->posted.isEmpty());
    EXPECT_EQ(real.board->clipboard().count, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, AtspiInsertion,
    ::testing::Combine(
        ::testing::Values(FieldKind{FieldApp::Toolkit::Qt, "line", "QtLine"},
                          FieldKind{FieldApp::Toolkit::Qt, "plain", "QtPlain"},
                          FieldKind{FieldApp::Toolkit::Gtk, "line", "GtkEntry"},
                          FieldKind{FieldApp::Toolkit::Gtk, "plain", "GtkTextView"}),
        ::testing::Values(
            InsertCase{"Append", "abc", std::nullopt, 0, "def", "abc def", 7},
            InsertCase{"ReplaceSelection", "Hello world", 6, 5, "there", "Hello there", 11},
            InsertCase{"MiddleOfText", "alpha beta", 6, 0, "Hello.", "alpha Hello. beta", 13},
            InsertCase{"AfterEmoji", "a" + grin + "b", 3, 0, "x" + party,
                       "a" + grin + "x" + party + " b", 7},
            InsertCase{"ReplaceEmojiSelection", grin + grin + "z", 2, 2, "é", grin + "é z", 4})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

class AtspiFaults : public ::testing::TestWithParam<FieldKind>
{
};

TEST_P(AtspiFaults, FieldThatVanishesFallsBackToPaste)
{
    RealInserter real;
    {
        FieldApp app(GetParam().toolkit, GetParam().widget, "gone");
        ASSERT_TRUE(app.started());
        ASSERT_TRUE(real.focusedFieldHolds("gone"));
        ASSERT_EQ(real.insert("!"), std::nullopt); // remembers this field
        ASSERT_TRUE(app.waitForText("gone!"));
    }

    EXPECT_EQ(real.insert("later"), std::nullopt);

    EXPECT_EQ(real.keystrokes->posted, QStringList{"paste"});
    EXPECT_TRUE(waitUntil(
        [&] { return plainText(real.board->clipboard().contents) == "user text"; }, 2000));
}

TEST_P(AtspiFaults, ElementGoneBetweenReadAndWriteRefusesTheWrite)
{
    auto app = std::make_unique<FieldApp>(GetParam().toolkit, GetParam().widget, "abc");
    ASSERT_TRUE(app->started());
    RealInserter real;
    ASSERT_TRUE(real.focusedFieldHolds("abc"));
    auto element = real.a11y->focusedElement();
    ASSERT_TRUE(element);
    ASSERT_EQ(element->value(), "abc");

    app.reset();

    EXPECT_EQ(element->setValue("abcd"), ValueWrite::Refused);
    EXPECT_EQ(element->value(), std::nullopt);
}

TEST_P(AtspiFaults, HungApplicationFallsBackToPaste)
{
    FieldApp app(GetParam().toolkit, GetParam().widget, "abc");
    ASSERT_TRUE(app.started());
    RealInserter real;
    ASSERT_TRUE(real.focusedFieldHolds("abc"));
    ASSERT_EQ(real.insert("!"), std::nullopt);
    ASSERT_TRUE(app.waitForText("abc!"));

    app.signal(SIGSTOP);
    EXPECT_EQ(real.insert("e"), std::nullopt);
    app.signal(SIGCONT);

    EXPECT_EQ(real.keystrokes->posted, QStringList{"paste"});
    spinFor(300);
    EXPECT_EQ(app.state().text, "abc!");
}

INSTANTIATE_TEST_SUITE_P(Fields, AtspiFaults,
                         ::testing::Values(FieldKind{FieldApp::Toolkit::Qt, "line", "Qt"},
                                           FieldKind{FieldApp::Toolkit::Gtk, "line", "Gtk"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(AtspiFaults, FieldIsKnownFromFocusEventsWithoutSearchingTheDesktop)
{
    // A search that can visit no accessible finds nothing: only focus events can name it.
    AtspiAccessibility a11y(
        std::make_unique<AtspiAccessibilityTrust>(),
        AtspiAccessibility::Limits{.callTimeoutMs = 300, .searchMs = 1500, .maxNodes = 0});
    spinFor(1500); // tracking starts after the app's own start
    // The field takes focus a moment after its start, as when the user clicks into it (a
    // toolkit may not yet know that anyone listens during its first moments).
    const QStringList later = GetParam().toolkit == FieldApp::Toolkit::Gtk
                                  ? QStringList{"--focus-later", "700"}
                                  : QStringList{};
    FieldApp app(GetParam().toolkit, GetParam().widget, "tracked", std::nullopt, 0, later);
    ASSERT_TRUE(app.started());

    EXPECT_TRUE(waitUntil(
        [&] {
            auto element = a11y.focusedElement();
            return element && element->value() == "tracked";
        },
        10000));
}

TEST(AtspiFields, FieldThatUpperCasesTakesTheTextOnceWithoutAPaste)
{
    FieldApp app(FieldApp::Toolkit::Gtk, "upper", "ABC");
    ASSERT_TRUE(app.started());
    RealInserter real;
    ASSERT_TRUE(real.focusedFieldHolds("ABC"));

    EXPECT_EQ(real.insert("hello."), std::nullopt);

    EXPECT_TRUE(app.waitForText("ABC HELLO.")) << app.state().text.toStdString();
    spinFor(300);
    EXPECT_EQ(app.state().text, "ABC HELLO.");
    EXPECT_TRUE(real.keystrokes->posted.isEmpty());
}

TEST(AtspiFields, PasswordEntryIsNeitherReadNorRewritten)
{
    FieldApp app(FieldApp::Toolkit::Gtk, "password", "abc");
    ASSERT_TRUE(app.started());
    RealInserter real;
    ASSERT_TRUE(waitUntil(
        [&] {
            auto element = real.a11y->focusedElement();
            return element && element->isSecret();
        },
        10000));
    auto element = real.a11y->focusedElement();
    EXPECT_EQ(element->value(), std::nullopt);

    EXPECT_EQ(real.insert("hello."), std::nullopt);

    EXPECT_EQ(real.keystrokes->posted, QStringList{"paste"});
    spinFor(300);
    EXPECT_EQ(app.state().text, "abc") << "the real text, not bullets";
}

void setAccessibilityEnabled(bool on)
{
    QDBusMessage set = QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus",
                                                      "org.freedesktop.DBus.Properties", "Set");
    set << QString("org.a11y.Status") << QString("IsEnabled")
        << QVariant::fromValue(QDBusVariant(on));
    QDBusConnection::sessionBus().call(set);
}

TEST(AtspiTrust, PromptSwitchesAccessibilityOn)
{
    AtspiAccessibilityTrust trust;
    setAccessibilityEnabled(false);

    EXPECT_FALSE(trust.isTrusted());
    EXPECT_TRUE(trust.isTrustedWithPrompt());
    EXPECT_TRUE(trust.isTrusted());

    setAccessibilityEnabled(true);
}

TEST(AtspiTrust, UntrustedInserterFailsWithoutTouchingTheClipboard)
{
    RealInserter real;
    setAccessibilityEnabled(false);

    const Failure failure = real.insert("text");

    setAccessibilityEnabled(true);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "Accessibility access is required for text insertion");
    EXPECT_EQ(real.board->clipboard().count, 0);
    EXPECT_TRUE(real.keystrokes->posted.isEmpty());
}

} // namespace
