// Dictation in a native Wayland session as a sway user sets it up: Super+D bound in the
// compositor to the command line (press and release), the real app on Qt's Wayland plug-in,
// the real whisper-cli with a tiny model, and native GTK 3 and Qt fields that get the text through
// the accessibility bus. The key is held by one virtual-keyboard process, as a hand would.
#include "integration/FieldApp.h"
#include "integration/Installation.h"
#include "integration/SessionApp.h"
#include "integration/SwaySession.h"
#include "support/DebugLogLines.h"
#include "support/Wait.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kModelText = QStringLiteral(" hello from the compositor");
const QString kInserted = QStringLiteral("Hello from the compositor.");

class WaylandDictation : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = SwaySession::missing())
            GTEST_SKIP() << missing->toStdString();
        if (!QFileInfo(kWhisperCli).isExecutable())
            GTEST_SKIP() << "whisper-cli not built at " << kWhisperCli.toStdString()
                         << " (run scripts/build-whisper)";
        m_app = m_installation.make(kModelText);
        ASSERT_FALSE(m_app.isEmpty()) << m_installation.error.toStdString();
        qputenv("GDK_BACKEND", "wayland");
    }

    Installation m_installation;
    QString m_app;
};

TEST_F(WaylandDictation, HeldSuperDThroughSwayBindingsDictatesIntoNativeFields)
{
    SessionApp app(m_app);
    ASSERT_TRUE(app.start()) << app.diagnostics().toStdString();
    EXPECT_TRUE(app.hasLine("qt platform=wayland")) << app.diagnostics().toStdString();
    // Without the shortcut portal the key is the user's binding: not an error, the lines shown.
    EXPECT_TRUE(app.hasLine("hot key bound in the compositor: Bind Super + D in sway: add these "
                            "lines to ~/.config/sway/config, then run swaymsg reload: bindsym "
                            "--no-repeat Mod4+d exec "))
        << app.diagnostics().toStdString();
    EXPECT_FALSE(app.hasLine("error=")) << app.diagnostics().toStdString();
    ASSERT_TRUE(SwaySession::command("bindsym --no-repeat Mod4+d " +
                                     app.exec("--start-dictation")));
    ASSERT_TRUE(SwaySession::command("bindsym --release Mod4+d " + app.exec("--stop-dictation")));

    const struct
    {
        FieldApp::Toolkit toolkit;
        QString window;
    } fields[] = {{FieldApp::Toolkit::Gtk, "gtk-field.py"}, {FieldApp::Toolkit::Qt, "qt-field"}};
    for (const auto& [toolkit, window] : fields) {
        SCOPED_TRACE(window.toStdString());
        FieldApp field(toolkit, "line", "");
        ASSERT_TRUE(field.started());
        ASSERT_TRUE(waitUntil([&] { return SwaySession::focusedAppId() == window; }))
            << "focused: " << SwaySession::focusedAppId().toStdString();
        const int recordings = app.lineCount("state=Recording");
        const int inserted = app.lineCount("inserted via accessibility value update");

        QProcess hold;
        hold.start("wtype", {"-M", "logo", "-P", "d", "-s", "1500", "-p", "d", "-m", "logo"});
        ASSERT_TRUE(hold.waitForStarted(5000));
        EXPECT_TRUE(waitUntil([&] { return app.lineCount("state=Recording") > recordings; }, 5000))
            << app.diagnostics().toStdString();
        // Nothing the app shows while recording takes the focus from the field.
        EXPECT_EQ(SwaySession::focusedAppId(), window);
        ASSERT_TRUE(hold.waitForFinished(10000));
        EXPECT_EQ(hold.exitCode(), 0) << hold.readAllStandardError().toStdString();

        EXPECT_TRUE(field.waitForText(kInserted, 30000))
            << "field holds: " << field.state().text.toStdString() << "\n"
            << app.diagnostics().toStdString();
        EXPECT_TRUE(waitUntil(
            [&] { return app.lineCount("inserted via accessibility value update") > inserted; },
            5000))
            << app.diagnostics().toStdString();
        // All of the hold is in the recording, the first dictation's too.
        EXPECT_FALSE(app.hasLine("microphone started late")) << app.diagnostics().toStdString();
        EXPECT_EQ(SwaySession::focusedAppId(), window);
    }
}

// A native window without editable text: the text comes by the virtual keyboard's paste, and
// the user's clipboard, in both its formats, is back afterwards.
TEST_F(WaylandDictation, FieldWithoutEditableTextGetsThePasteAndTheClipboardComesBack)
{
    const QByteArray png =
        QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+"
                               "M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
    FieldApp field(FieldApp::Toolkit::Qt, "paste-only", "");
    ASSERT_TRUE(field.started());
    ASSERT_TRUE(waitUntil([] { return SwaySession::focusedAppId() == "qt-field"; }))
        << SwaySession::focusedAppId().toStdString();
    QProcess owner;
    owner.start(WENDLO_WL_CLIPBOARD_OWNER,
                {"text/plain", QByteArray("user text").toBase64(), "image/png", png.toBase64()});
    ASSERT_TRUE(owner.waitForStarted(5000) && owner.waitForReadyRead(5000));

    SessionApp app(m_app);
    ASSERT_TRUE(app.start()) << app.diagnostics().toStdString();
    ASSERT_TRUE(SwaySession::command("bindsym --no-repeat Mod4+d " +
                                     app.exec("--start-dictation")));
    ASSERT_TRUE(SwaySession::command("bindsym --release Mod4+d " + app.exec("--stop-dictation")));
    QProcess hold;
    hold.start("wtype", {"-M", "logo", "-P", "d", "-s", "1500", "-p", "d", "-m", "logo"});
    ASSERT_TRUE(hold.waitForStarted(5000) && hold.waitForFinished(10000));

    EXPECT_TRUE(field.waitForText(kInserted, 30000))
        << "field holds: " << field.state().text.toStdString() << "\n"
        << app.diagnostics().toStdString();
    EXPECT_TRUE(app.waitForLine("falling back to clipboard insertion", 5000));
    const auto paste = [](const QString& type) {
        QProcess wlPaste;
        wlPaste.start("wl-paste", {"--no-newline", "--type", type});
        wlPaste.waitForFinished(5000);
        return wlPaste.readAllStandardOutput();
    };
    // The restore follows the field's read of the text within a fraction of a second.
    EXPECT_TRUE(waitUntil([&] { return paste("text/plain") == "user text"; }, 5000))
        << app.diagnostics().toStdString();
    EXPECT_EQ(paste("image/png"), png);
    EXPECT_FALSE(app.lines().join('\n').contains("text left on the clipboard"))
        << app.diagnostics().toStdString();
}

} // namespace
