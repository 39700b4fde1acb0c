// Dictation into real applications from Debian's packages, with the real back ends: the text
// lands at the caret, and the user's clipboard (two formats) and primary selection come back.
// Terminals and gvim take the paste by Shift+Insert (Ctrl+V there eats the user's next key);
// the toolkit fields take it through accessibility. Label "desktop-apps"; the applications
// are installed by scripts/test-desktop-apps.
#include "FieldApp.h"
#include "dictation/FocusedTextInserter.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiAccessibilityTrust.h"
#include "platform/qt/QtClipboard.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11SelectionReads.h"
#include "platform/x11/XTestSyntheticKeys.h"
#include "support/Wait.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString dictated = QStringLiteral("Hello from wendlo.");

QByteArray readSelection(const QString& selection, const QString& target)
{
    QProcess xclip;
    xclip.start("xclip", {"-o", "-selection", selection, "-t", target});
    if (!xclip.waitForStarted(3000))
        return {};
    // This process owns the selections it restored: keep serving while xclip asks.
    waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 5000);
    return xclip.readAllStandardOutput();
}

QString fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A shell command that reads the terminal raw and keeps every byte it gets in `out`.
QString rawCatInto(const QString& out, const QString& pidFile)
{
    return QStringLiteral("echo $$ > '%1'; stty raw -echo; exec cat > '%2'").arg(pidFile, out);
}

class RealApplications : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto x11 = X11Connection::ofApplication();
        ASSERT_TRUE(x11) << "needs the xcb platform";
        auto clipboard = std::make_unique<QtClipboard>(
            QGuiApplication::clipboard(), std::make_unique<X11SelectionReads>(x11->connection));
        board = clipboard.get();
        inserter = std::make_unique<FocusedTextInserter>(
            std::make_unique<AtspiAccessibility>(std::make_unique<AtspiAccessibilityTrust>()),
            std::move(clipboard), std::make_unique<XTestSyntheticKeys>(x11->connection, x11->root));

        env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path()); // no user configuration of the applications
        env.insert("LANG", "C.UTF-8");
        env.remove("QT_QPA_PLATFORM");
    }

    void TearDown() override
    {
        const QString pid = fileText(dir.filePath("pid")).trimmed();
        if (!pid.isEmpty())
            ::kill(pid.toInt(), SIGKILL);
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(5000);
        }
    }

    static void requireProgram(const QString& name)
    {
        if (QStandardPaths::findExecutable(name).isEmpty())
            GTEST_SKIP() << name.toStdString()
                         << " is not installed (scripts/test-desktop-apps installs it)";
    }

    void launch(const QString& program, const QStringList& args)
    {
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(program, args);
        ASSERT_TRUE(app.waitForStarted(5000)) << program.toStdString();
    }

    // Gives keyboard focus to the window of `wmClass` (there is no window manager).
    void focusWindowOf(const QString& wmClass)
    {
        QString window;
        ASSERT_TRUE(waitUntil(
            [&] {
                QProcess search;
                search.start("xdotool", {"search", "--onlyvisible", "--class", wmClass});
                search.waitForFinished(3000);
                window = QString::fromUtf8(search.readAllStandardOutput()).split('\n').first();
                return !window.isEmpty();
            },
            20000))
            << "no window of class " << wmClass.toStdString();
        spinFor(500); // let the application finish drawing and settle its own focus
        ASSERT_EQ(QProcess::execute("xdotool", {"windowfocus", "--sync", window}), 0);
    }

    void userHasCopied()
    {
        board->writeItems(Selection::Clipboard, {ClipboardItem{{"text/plain", "user clip"},
                                                               {"text/html", "<b>user</b>"}}});
        board->writeItems(Selection::Primary, {ClipboardItem{{"text/plain", "user primary"}}});
        spinFor(50);
    }

    Failure insert(const QString& text)
    {
        std::optional<Failure> result;
        inserter->insert(text, [&](Failure failure) { result = std::move(failure); });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 15000)) << "never reported";
        return result.value_or(QuorError{QStringLiteral("never reported")});
    }

    void expectUsersSelectionsBack()
    {
        EXPECT_EQ(readSelection("clipboard", "UTF8_STRING"), "user clip");
        EXPECT_EQ(readSelection("clipboard", "text/html"), "<b>user</b>");
        EXPECT_EQ(readSelection("primary", "UTF8_STRING"), "user primary");
    }

    QTemporaryDir dir;
    QTemporaryDir home;
    QProcessEnvironment env;
    QProcess app;
    QtClipboard* board = nullptr;
    std::unique_ptr<FocusedTextInserter> inserter;
};

TEST_F(RealApplications, XTermGetsThePasteWithoutLosingTheNextKey)
{
    requireProgram("xterm");
    const QString out = dir.filePath("out");
    launch("xterm", {"-e", "sh", "-c", rawCatInto(out, dir.filePath("pid"))});
    focusWindowOf("xterm");
    userHasCopied();

    EXPECT_EQ(insert(dictated), std::nullopt);

    EXPECT_TRUE(waitUntil([&] { return fileText(out) == dictated; }, 5000))
        << fileText(out).toStdString();
    expectUsersSelectionsBack();
    // The next key the user types arrives as itself.
    QProcess::execute("xdotool", {"type", "x"});
    EXPECT_TRUE(waitUntil([&] { return fileText(out) == dictated + "x"; }, 3000))
        << fileText(out).toStdString();
}

TEST_F(RealApplications, GnomeTerminalGetsThePaste)
{
    requireProgram("gnome-terminal");
    const QString out = dir.filePath("out");
    launch("gnome-terminal", {"--wait", "--", "sh", "-c", rawCatInto(out, dir.filePath("pid"))});
    focusWindowOf("gnome-terminal");
    userHasCopied();

    EXPECT_EQ(insert(dictated), std::nullopt);

    EXPECT_TRUE(waitUntil([&] { return fileText(out) == dictated; }, 5000))
        << fileText(out).toStdString();
    expectUsersSelectionsBack();
}

TEST_F(RealApplications, GvimInInsertModeGetsThePasteAtTheCursor)
{
    requireProgram("gvim");
    const QString file = dir.filePath("notes.txt");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("alpha beta\n");
    }
    launch("gvim",
           {"-f", "-i", "NONE", "-c", "set noswapfile", "-c", "autocmd TextChangedI * silent write",
            "-c", "call cursor(1, 7)", "-c", "startinsert", file});
    focusWindowOf("gvim");
    userHasCopied();

    EXPECT_EQ(insert(dictated), std::nullopt);

    // gvim offers no accessible text, so no spacing can be read: the paste lands as it is.
    EXPECT_TRUE(waitUntil([&] { return fileText(file) == "alpha " + dictated + "beta\n"; }, 5000))
        << fileText(file).toStdString();
    expectUsersSelectionsBack();
}

struct ToolkitCase
{
    const char* name;
    FieldApp::Toolkit toolkit;
    const char* widget;
};

class ToolkitFields : public RealApplications, public ::testing::WithParamInterface<ToolkitCase>
{
};

TEST_P(ToolkitFields, FieldGetsTheTextAtTheCaretWithSpacesAndTheClipboardIsUntouched)
{
    FieldApp field(GetParam().toolkit, GetParam().widget, "alpha beta", 6, 0);
    ASSERT_TRUE(field.started());
    userHasCopied();
    const qint64 clipboardCount = board->changeCount(Selection::Clipboard);
    // The field app must be known to accessibility before the dictation.
    ASSERT_TRUE(waitUntil([&] { return field.state().cursor == 6; }, 5000));
    spinFor(1500);

    EXPECT_EQ(insert(dictated), std::nullopt);

    EXPECT_TRUE(field.waitForText("alpha " + dictated + " beta"))
        << field.state().text.toStdString();
    EXPECT_EQ(board->changeCount(Selection::Clipboard), clipboardCount);
    expectUsersSelectionsBack();
}

INSTANTIATE_TEST_SUITE_P(Fields, ToolkitFields,
                         ::testing::Values(ToolkitCase{"Gtk", FieldApp::Toolkit::Gtk, "plain"},
                                           ToolkitCase{"Qt", FieldApp::Toolkit::Qt, "line"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
