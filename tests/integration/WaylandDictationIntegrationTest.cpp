// Dictation in a native Wayland session as a sway user sets it up: Super+D bound in the
// compositor to the command line (press and release), the real app on Qt's Wayland plug-in,
// the real whisper-cli with a tiny model, and a native GTK 3 field that gets the text through
// the accessibility bus. The key is held by one virtual-keyboard process, as a hand would.
#include "integration/FieldApp.h"
#include "integration/Installation.h"
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

// The app with its own configuration (onboarding done), runtime folder and log; the sway
// bindings start its command line with the same folders.
class App
{
public:
    explicit App(QString executable) : m_executable(std::move(executable))
    {
        QSettings(m_home.filePath("config/Wendlo/Wendlo.conf"), QSettings::IniFormat)
            .setValue("Wendlo.OnboardingVersion", 1);
        QDir().mkpath(m_home.filePath("runtime"));
        QFile::setPermissions(m_home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~App()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // What the app and its command line share: no Qt platform chosen, as in a real session.
    QStringList environment() const
    {
        return {"XDG_CONFIG_HOME=" + m_home.filePath("config"),
                "XDG_RUNTIME_DIR=" + m_home.filePath("runtime"),
                "QUOR_DEBUG_LOG=" + m_home.filePath("wendlo.log"),
                "WENDLO_UPDATE_FEED_URL=http://127.0.0.1:9/latest.json"};
    }

    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : env.keys()) {
            if (name.startsWith("QUOR_") || name.startsWith("WENDLO_"))
                env.remove(name);
        }
        env.remove("QT_QPA_PLATFORM");
        for (const QString& entry : environment())
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(m_executable, {});
        return m_process.waitForStarted(5000) && waitForLine("launch complete", 15000);
    }

    // A sway command that runs `wendlo ARGUMENT` as this app's user would.
    QString exec(const QString& argument) const
    {
        return "exec env " + environment().join(' ') + " " + m_executable + " " + argument;
    }

    QStringList lines() const { return debugLogMessages(m_home.filePath("wendlo.log")); }
    bool hasLine(const QString& prefix) const
    {
        for (const QString& line : lines()) {
            if (line.startsWith(prefix))
                return true;
        }
        return false;
    }
    bool waitForLine(const QString& prefix, int ms = 10000) const
    {
        return waitUntil([&] { return hasLine(prefix); }, ms);
    }
    QString diagnostics()
    {
        return lines().join('\n') + "\n" + QString::fromUtf8(m_process.readAll());
    }

private:
    QString m_executable;
    QTemporaryDir m_home;
    QProcess m_process;
};

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

TEST_F(WaylandDictation, HeldSuperDThroughSwayBindingsDictatesIntoANativeGtkField)
{
    FieldApp field(FieldApp::Toolkit::Gtk, "line", "");
    ASSERT_TRUE(field.started());
    ASSERT_TRUE(waitUntil([] { return !SwaySession::focusedAppId().isEmpty(); }))
        << "no native window has the keyboard focus";
    const QString fieldWindow = SwaySession::focusedAppId();

    App app(m_app);
    ASSERT_TRUE(app.start()) << app.diagnostics().toStdString();
    EXPECT_TRUE(app.hasLine("qt platform=wayland")) << app.diagnostics().toStdString();
    // The app's own windows do not take the focus from the field.
    EXPECT_EQ(SwaySession::focusedAppId(), fieldWindow);

    ASSERT_TRUE(SwaySession::command("bindsym --no-repeat Mod4+d " +
                                     app.exec("--start-dictation")));
    ASSERT_TRUE(SwaySession::command("bindsym --release Mod4+d " + app.exec("--stop-dictation")));

    QProcess hold;
    hold.start("wtype", {"-M", "logo", "-P", "d", "-s", "1500", "-p", "d", "-m", "logo"});
    ASSERT_TRUE(hold.waitForStarted(5000));
    EXPECT_TRUE(app.waitForLine("state=Recording", 5000)) << app.diagnostics().toStdString();
    // Nothing the app shows while recording takes the focus from the field.
    EXPECT_EQ(SwaySession::focusedAppId(), fieldWindow);
    ASSERT_TRUE(hold.waitForFinished(10000));
    EXPECT_EQ(hold.exitCode(), 0) << hold.readAllStandardError().toStdString();

    EXPECT_TRUE(field.waitForText(kInserted, 30000))
        << "field holds: " << field.state().text.toStdString() << "\n"
        << app.diagnostics().toStdString();
    EXPECT_TRUE(app.waitForLine("inserted via accessibility value update", 5000))
        << app.diagnostics().toStdString();
    EXPECT_EQ(SwaySession::focusedAppId(), fieldWindow);
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

    App app(m_app);
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
    EXPECT_TRUE(app.waitForLine("falling back to pasteboard insertion", 5000));
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
