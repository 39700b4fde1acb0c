// The clipboard path under a real Wayland compositor (headless sway): both selections through
// data-control, the paste chord through the virtual keyboard (wtype), into native windows that
// expose no editable text; the user's clipboard, in all its formats, comes back afterwards.
#include "FieldApp.h"
#include "SwaySession.h"
#include "dictation/FocusedTextInserter.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiAccessibilityTrust.h"
#include "platform/wayland/DataControlClipboard.h"
#include "platform/wayland/SwayFocus.h"
#include "platform/wayland/WtypeSyntheticKeys.h"
#include "support/Wait.h"

#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray png = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlE"
                                              "QVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");

// Runs a program to its end with our event loop turning, since this process may be the
// owner it reads from; its standard output.
QByteArray runElsewhere(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(3000))
        return "<did not start>";
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, 5000);
    return process.readAllStandardOutput();
}

QByteArray pasteElsewhere(const QString& type, Selection selection = Selection::Clipboard)
{
    QStringList args{"--no-newline", "--type", type};
    if (selection == Selection::Primary)
        args << "--primary";
    return runElsewhere("wl-paste", args);
}

QStringList typesElsewhere(Selection selection = Selection::Clipboard)
{
    QStringList args{"--list-types"};
    if (selection == Selection::Primary)
        args << "--primary";
    return QString::fromUtf8(runElsewhere("wl-paste", args)).split(u'\n', Qt::SkipEmptyParts);
}

void copyElsewhere(const QByteArray& text, Selection selection = Selection::Clipboard)
{
    QStringList args;
    if (selection == Selection::Primary)
        args << "--primary";
    args << QString::fromUtf8(text);
    // wl-copy returns once it owns the selection and serves it from the background.
    runElsewhere("wl-copy", args);
}

// Another application owning a selection with several formats.
class OtherOwner
{
public:
    OtherOwner(const ClipboardItem& item, Selection selection = Selection::Clipboard)
    {
        QStringList args;
        if (selection == Selection::Primary)
            args << "--primary";
        for (auto it = item.cbegin(); it != item.cend(); ++it)
            args << it.key() << QString::fromLatin1(it.value().toBase64());
        m_process.start(WENDLO_WL_CLIPBOARD_OWNER, args);
        m_owned = m_process.waitForStarted(3000) &&
                  waitUntil([&] { return m_process.canReadLine(); }, 5000) &&
                  m_process.readLine().trimmed() == "owned";
    }
    ~OtherOwner()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    bool owned() const { return m_owned; }

private:
    QProcess m_process;
    bool m_owned = false;
};

const ClipboardItem usersItem{{"text/plain", "user text"}, {"image/png", png}};

class WaylandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = SwaySession::missing())
            GTEST_SKIP() << missing->toStdString();
    }
};

class DataControl : public WaylandTest
{
protected:
    void SetUp() override
    {
        WaylandTest::SetUp();
        if (IsSkipped())
            return;
        QString why;
        clipboard = DataControlClipboard::connect(&why);
        ASSERT_TRUE(clipboard) << why.toStdString();
        clipboard->onContentsRead = [this](Selection selection) { reads.push_back(selection); };
    }

    std::unique_ptr<DataControlClipboard> clipboard;
    std::vector<Selection> reads;
};

class EachSelection : public DataControl, public ::testing::WithParamInterface<Selection>
{
};

TEST_P(EachSelection, SavesAnotherOwnersFormatsServesTheTextAndPutsThemBack)
{
    const Selection selection = GetParam();
    OtherOwner other(usersItem, selection);
    ASSERT_TRUE(other.owned());
    ASSERT_TRUE(waitUntil([&] { return clipboard->items(selection) == QList{usersItem}; }))
        << "never saw the other owner's formats";
    const QList<ClipboardItem> saved = clipboard->items(selection);
    const qint64 before = clipboard->changeCount(selection);

    clipboard->setTransientText(selection, "dictated ünïcode");
    EXPECT_GT(clipboard->changeCount(selection), before);
    EXPECT_TRUE(clipboard->ownsSelection(selection));
    EXPECT_EQ(plainText(clipboard->items(selection)), "dictated ünïcode");
    EXPECT_TRUE(typesElsewhere(selection).contains("x-kde-passwordManagerHint"));
    EXPECT_TRUE(reads.empty()) << "listing the formats is no read";
    EXPECT_EQ(pasteElsewhere("text/plain;charset=utf-8", selection), "dictated ünïcode");
    EXPECT_EQ(reads, std::vector{selection});

    clipboard->writeItems(selection, saved);
    EXPECT_EQ(pasteElsewhere("text/plain", selection), "user text");
    EXPECT_EQ(pasteElsewhere("image/png", selection), png);
}

INSTANTIATE_TEST_SUITE_P(Both, EachSelection,
                         ::testing::Values(Selection::Clipboard, Selection::Primary),
                         [](const auto& info) {
                             return info.param == Selection::Primary ? "Primary" : "Clipboard";
                         });

TEST_F(DataControl, AnotherProgramTakingTheSelectionEndsOurOwnership)
{
    clipboard->setTransientText(Selection::Clipboard, "ours");
    const qint64 before = clipboard->changeCount(Selection::Clipboard);

    copyElsewhere("theirs");

    EXPECT_TRUE(waitUntil([&] { return !clipboard->ownsSelection(Selection::Clipboard); }));
    EXPECT_GT(clipboard->changeCount(Selection::Clipboard), before);
    EXPECT_EQ(plainText(clipboard->items(Selection::Clipboard)), "theirs");
}

TEST_F(DataControl, LargeContentsReachASlowReaderWholeAndAReaderLeavingEarlyIsHarmless)
{
    QByteArray big(3 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char('a' + i % 26);
    clipboard->writeItems(Selection::Clipboard, {ClipboardItem{{"text/plain", big}}});

    // More than a pipe holds: the rest goes out as the reader drains it.
    EXPECT_EQ(pasteElsewhere("text/plain"), big);
    // A reader that closes its end after a few bytes must not take this process down.
    EXPECT_EQ(runElsewhere("sh", {"-c", "wl-paste --type text/plain | head -c 5"}), "abcde");
    spinFor(200);
    EXPECT_EQ(pasteElsewhere("text/plain").size(), big.size());
}

TEST_F(DataControl, ClearingEmptiesTheSelection)
{
    clipboard->setTransientText(Selection::Clipboard, "ours");
    clipboard->clearContents(Selection::Clipboard);

    EXPECT_FALSE(clipboard->ownsSelection(Selection::Clipboard));
    EXPECT_TRUE(typesElsewhere().isEmpty());
    EXPECT_TRUE(clipboard->items(Selection::Clipboard).isEmpty());
}

// Shows `field` and waits until it has sway's keyboard focus.
bool focusOwnField(QLineEdit& field)
{
    field.show();
    field.activateWindow();
    field.setFocus();
    return waitUntil(
        [&] {
            const auto window = SwayFocus::ask(qEnvironmentVariable("SWAYSOCK"));
            return window && window->pid == QCoreApplication::applicationPid() && field.hasFocus();
        },
        10000);
}

// Keys as the user types them: the compositor takes a selection only with an input event's
// serial.
void copyAllTyped()
{
    runElsewhere("wtype", {"-M", "ctrl", "-k", "a", "-k", "c", "-m", "ctrl"});
}

// A copy in our own window is read from Qt; once another program copies, its contents are
// read again, even while our window keeps the focus.
TEST_F(DataControl, CopyInOwnWindowIsReadFromQtUntilAnotherProgramCopies)
{
    QLineEdit own;
    own.setText("copied in wendlo");
    ASSERT_TRUE(focusOwnField(own));
    copyAllTyped();
    ASSERT_EQ(pasteElsewhere("text/plain"), "copied in wendlo");
    // Through the compositor, the read would wait on this thread until it gave up.
    EXPECT_EQ(plainText(clipboard->items(Selection::Clipboard)), "copied in wendlo");
    const qint64 before = clipboard->changeCount(Selection::Clipboard);

    copyElsewhere("other program");
    EXPECT_TRUE(waitUntil([&] { return clipboard->changeCount(Selection::Clipboard) > before; }));
    EXPECT_FALSE(clipboard->ownsSelection(Selection::Clipboard));
    EXPECT_EQ(plainText(clipboard->items(Selection::Clipboard)), "other program");
}

// The inserter with the Wayland back ends, as the app builds it.
class WaylandPaste : public WaylandTest
{
protected:
    void SetUp() override
    {
        WaylandTest::SetUp();
        if (IsSkipped())
            return;
        makeInserter({});
    }

    void makeInserter(ClipboardPaste::Timing timing)
    {
        QString why;
        auto clipboard = DataControlClipboard::connect(&why);
        ASSERT_TRUE(clipboard) << why.toStdString();
        const QString wtype = QStandardPaths::findExecutable("wtype");
        ASSERT_FALSE(wtype.isEmpty());
        const QString sway = qEnvironmentVariable("SWAYSOCK");
        inserter = std::make_unique<FocusedTextInserter>(
            std::make_unique<AtspiAccessibility>(std::make_unique<AtspiAccessibilityTrust>()),
            std::move(clipboard),
            std::make_unique<WtypeSyntheticKeys>(wtype, [sway] { return SwayFocus::ask(sway); }),
            timing);
    }

    // Waits for sway to give `appId` the keyboard focus.
    static bool focused(const QString& appId)
    {
        return waitUntil([&] { return SwaySession::focusedAppId() == appId; }, 10000);
    }

    Failure insert(const QString& text)
    {
        std::optional<Failure> result;
        inserter->insert(text, [&](Failure failure) { result = std::move(failure); });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 10000)) << "never reported";
        return result.value_or(QuorError{QStringLiteral("never reported")});
    }

    std::unique_ptr<FocusedTextInserter> inserter;
};

TEST_F(WaylandPaste, NativeFieldsWithoutEditableTextGetThePasteAndTheClipboardComesBack)
{
    struct Case
    {
        const char* name;
        FieldApp::Toolkit toolkit;
        const char* widget;
        QStringList extra;
        QString appId;
    };
    // Qt's paste-only view has no editable text; GTK without its accessibility bridge has
    // none at all.
    const std::vector<Case> cases = {
        {"qt paste-only", FieldApp::Toolkit::Qt, "paste-only", {}, "qt-field"},
        {"gtk without accessibility", FieldApp::Toolkit::Gtk, "line", {}, "gtk-field.py"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.toolkit == FieldApp::Toolkit::Gtk)
            qputenv("NO_AT_BRIDGE", "1");
        FieldApp app(c.toolkit, c.widget, "start ", std::nullopt, 0, c.extra);
        qunsetenv("NO_AT_BRIDGE");
        ASSERT_TRUE(app.started());
        ASSERT_TRUE(focused(c.appId)) << SwaySession::focusedAppId().toStdString();
        OtherOwner other(usersItem);
        ASSERT_TRUE(other.owned());

        EXPECT_EQ(insert("dictated"), std::nullopt);

        EXPECT_TRUE(app.waitForText("start dictated")) << app.state().text.toStdString();
        EXPECT_EQ(pasteElsewhere("text/plain"), "user text");
        EXPECT_EQ(pasteElsewhere("image/png"), png);
    }
}

TEST_F(WaylandPaste, AnotherCopyAfterThePasteKeepsItsNewContents)
{
    // A quiet long enough after the field's read that the other copy surely comes first.
    makeInserter({.quietMs = 1500});
    FieldApp app(FieldApp::Toolkit::Qt, "paste-only", "start ");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(focused("qt-field"));
    copyElsewhere("user text");

    std::optional<Failure> result;
    inserter->insert("dictated", [&](Failure failure) { result = std::move(failure); });
    ASSERT_TRUE(app.waitForText("start dictated")) << app.state().text.toStdString();
    copyElsewhere("other program");
    ASSERT_FALSE(result.has_value()) << "restored before the other copy";
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10000));

    EXPECT_EQ(*result, std::nullopt);
    EXPECT_EQ(pasteElsewhere("text/plain"), "other program");
}

// One of this process's own windows (the onboarding's practice field): its paste reads the
// clipboard on this very thread, so it must not have to wait on our own data-control source.
TEST_F(WaylandPaste, OwnWindowGetsThePasteAndTheClipboardComesBack)
{
    OtherOwner other(usersItem);
    ASSERT_TRUE(other.owned());
    QLineEdit field;
    field.setText("start ");
    field.show();
    field.activateWindow();
    field.setFocus();
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto window = SwayFocus::ask(qEnvironmentVariable("SWAYSOCK"));
            return window && window->pid == QCoreApplication::applicationPid() && field.hasFocus();
        },
        10000));

    EXPECT_EQ(insert("dictated"), std::nullopt);

    EXPECT_EQ(field.text(), "start dictated");
    EXPECT_EQ(pasteElsewhere("text/plain"), "user text");
    EXPECT_EQ(pasteElsewhere("image/png"), png);
}

// The user copied in one of our own windows (the settings window, the onboarding): Qt serves
// that selection on this very thread, so reading it through the compositor would wait on
// ourselves and lose it.
TEST_F(WaylandPaste, CopyMadeInOwnWindowComesBackAfterThePaste)
{
    QLineEdit own;
    own.setText("copied in wendlo");
    ASSERT_TRUE(focusOwnField(own));
    copyAllTyped();
    ASSERT_EQ(pasteElsewhere("text/plain"), "copied in wendlo");
    own.hide();

    FieldApp app(FieldApp::Toolkit::Qt, "paste-only", "start ");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(focused("qt-field"));

    EXPECT_EQ(insert("dictated"), std::nullopt);

    EXPECT_TRUE(app.waitForText("start dictated")) << app.state().text.toStdString();
    EXPECT_EQ(pasteElsewhere("text/plain"), "copied in wendlo");
}

// A terminal: Ctrl+V there is a control character, so the chord is Shift+Insert, which
// pastes the primary selection; both selections come back.
TEST_F(WaylandPaste, TerminalGetsShiftInsertAndBothSelectionsComeBack)
{
    const QString foot = QStandardPaths::findExecutable("foot");
    ASSERT_FALSE(foot.isEmpty()) << "foot is not installed (scripts/install-deps installs it)";
    QTemporaryDir dir;
    const QString received = dir.filePath("received");
    QProcess terminal;
    terminal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // What the terminal's program reads, byte by byte, lands in the file.
    terminal.start(
        foot, {"--app-id", "foot", "sh", "-c", "stty -icanon -echo; exec cat > \"$0\"", received});
    ASSERT_TRUE(terminal.waitForStarted(5000));
    ASSERT_TRUE(focused("foot"));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(received); }, 5000));
    copyElsewhere("user clipboard");
    copyElsewhere("user primary", Selection::Primary);

    EXPECT_EQ(insert("dictated"), std::nullopt);

    const auto contents = [&] {
        QFile file(received);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_TRUE(waitUntil([&] { return contents() == "dictated"; }, 5000)) << contents().data();
    EXPECT_EQ(pasteElsewhere("text/plain"), "user clipboard");
    EXPECT_EQ(pasteElsewhere("text/plain", Selection::Primary), "user primary");
    terminal.kill();
    terminal.waitForFinished(3000);
}

// The self-test's hot key goes the way a real one does: through sway's bindings.
TEST_F(WaylandTest, HotKeyHeldThroughTheVirtualKeyboardFiresThePressAndReleaseBindings)
{
    QTemporaryDir dir;
    const QString pressed = dir.filePath("pressed");
    const QString released = dir.filePath("released");
    ASSERT_TRUE(SwaySession::command("bindsym --no-repeat Mod4+F9 exec touch " + pressed));
    ASSERT_TRUE(SwaySession::command("bindsym --release Mod4+F9 exec touch " + released));
    WtypeSyntheticKeys keys(QStandardPaths::findExecutable("wtype"), {});
    const QKeyCombination hotKey = Qt::MetaModifier | Qt::Key_F9;

    ASSERT_TRUE(keys.postHotKey(hotKey, true));
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(pressed); }, 5000));
    spinFor(300);
    EXPECT_FALSE(QFile::exists(released)) << "released while held";

    ASSERT_TRUE(keys.postHotKey(hotKey, false));
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(released); }, 5000));
    EXPECT_FALSE(keys.postHotKey(hotKey, false)) << "nothing left to release";
    SwaySession::command("unbindsym --no-repeat Mod4+F9");
    SwaySession::command("unbindsym --release Mod4+F9");
}

} // namespace
