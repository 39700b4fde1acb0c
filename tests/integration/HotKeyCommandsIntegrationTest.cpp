// The hot key and the command line as a user meets them: the real app in a private desktop,
// a real text field with the focus, the real whisper-cli with a tiny model that answers fixed
// words. Dictations are started by the command line, and by a hot key chosen in the settings
// window after another program took Super+D.
#include "integration/FieldApp.h"
#include "integration/Installation.h"
#include "platform/x11/X11KeyMap.h"
#include "support/DebugLogLines.h"
#include "support/Wait.h"

#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <xcb/xcb.h>

namespace {

const QString kModelText = QStringLiteral(" hello from the command line");
const QString kInserted = QStringLiteral("Hello from the command line.");

struct Finished
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// One app with its own configuration (onboarding done), runtime folder and log.
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

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : env.keys()) {
            if (name.startsWith("QUOR_") || name.startsWith("WENDLO_"))
                env.remove(name);
        }
        env.remove("QT_QPA_PLATFORM");
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", m_home.filePath("runtime"));
        env.insert("QUOR_DEBUG_LOG", m_home.filePath("wendlo.log"));
        env.insert("WENDLO_UPDATE_FEED_URL", "http://127.0.0.1:9/latest.json");
        return env;
    }

    bool start()
    {
        m_process.setProcessEnvironment(environment());
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(m_executable, {});
        return m_process.waitForStarted(5000) && waitForLine("launch complete", 15000);
    }

    // A second process with the same user folders.
    Finished run(const QStringList& arguments, QProcessEnvironment env = {}) const
    {
        QProcess process;
        process.setProcessEnvironment(env.isEmpty() ? environment() : env);
        process.start(m_executable, arguments);
        Finished result;
        if (!process.waitForFinished(15000))
            return result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    QStringList lines() const { return debugLogMessages(m_home.filePath("wendlo.log")); }
    bool waitForLine(const QString& prefix, int ms = 10000) const
    {
        return waitUntil(
            [&] {
                for (const QString& line : lines()) {
                    if (line.startsWith(prefix))
                        return true;
                }
                return false;
            },
            ms);
    }
    QString diagnostics()
    {
        return lines().join('\n') + "\n" + QString::fromUtf8(m_process.readAll());
    }
    QProcess& process() { return m_process; }

private:
    QString m_executable;
    QTemporaryDir m_home;
    QProcess m_process;
};

bool runTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    return tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

bool xdotool(const QStringList& arguments)
{
    return runTool("xdotool", arguments);
}

// Speaks into the private desktop's microphone (its sink's monitor) while recording.
class Speech
{
public:
    Speech() { m_made = runTool("espeak-ng", {"-w", path(), "hello from the command line"}); }
    bool play() const { return m_made && runTool("paplay", {path()}); }

private:
    QString path() const { return m_dir.filePath("phrase.wav"); }
    QTemporaryDir m_dir;
    bool m_made = false;
};

class HotKeyCommands : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!QFileInfo(kWhisperCli).isExecutable() || !QFileInfo::exists(kModelTool))
            return;
        s_installation = std::make_unique<Installation>();
        s_app = s_installation->make(kModelText);
    }
    static void TearDownTestSuite() { s_installation.reset(); }

    void SetUp() override
    {
        if (!QFileInfo(kWhisperCli).isExecutable())
            GTEST_SKIP() << "whisper-cli not built at " << kWhisperCli.toStdString()
                         << " (run scripts/build-whisper)";
        ASSERT_FALSE(s_app.isEmpty()) << s_installation->error.toStdString();
    }

    static inline std::unique_ptr<Installation> s_installation;
    static inline QString s_app;
};

TEST_F(HotKeyCommands, StartAndStopFromASecondProcessDictateIntoTheField)
{
    FieldApp field(FieldApp::Toolkit::Qt, "line", "");
    ASSERT_TRUE(field.started());
    App app(s_app);
    ASSERT_TRUE(app.start()) << app.diagnostics().toStdString();

    const Finished started = app.run({"--start-dictation"});
    EXPECT_EQ(started.exitCode, 0) << started.err.toStdString();
    ASSERT_TRUE(app.waitForLine("state=Recording")) << app.diagnostics().toStdString();
    ASSERT_TRUE(Speech().play());
    const Finished stopped = app.run({"--stop-dictation"});
    EXPECT_EQ(stopped.exitCode, 0) << stopped.err.toStdString();
    EXPECT_TRUE(field.waitForText(kInserted, 30000))
        << "field holds: " << field.state().text.toStdString() << "\n"
        << app.diagnostics().toStdString();

    // The menu's toggle the same way, then quit: the process ends.
    EXPECT_EQ(app.run({"--toggle-dictation"}).exitCode, 0);
    EXPECT_EQ(app.run({"--quit"}).exitCode, 0);
    EXPECT_TRUE(app.process().waitForFinished(5000));
    // Nobody runs now.
    const Finished alone = app.run({"--start-dictation"});
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_EQ(alone.err, "Wendlo is not running\n");
}

TEST_F(HotKeyCommands, TakenKeyIsNamedThenAKeyChosenInSettingsDictates)
{
    // Another program holds Super+D, as a desktop's "show desktop" binding does.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    {
        const X11KeyMap keyMap(other);
        const xcb_keycode_t d = keyMap.keycode(0x0064);
        const std::uint16_t super = keyMap.modifierMask(Qt::MetaModifier);
        for (const int lock : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2),
                               int(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2)}) {
            ASSERT_EQ(xcb_request_check(
                          other, xcb_grab_key_checked(other, 0, root, std::uint16_t(super | lock),
                                                      d, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
                      nullptr);
        }
    }

    FieldApp field(FieldApp::Toolkit::Qt, "line", "");
    ASSERT_TRUE(field.started());
    App app(s_app);
    ASSERT_TRUE(app.start()) << app.diagnostics().toStdString();
    ASSERT_TRUE(app.waitForLine("state=Error: Super + D could not be registered: another program "
                                "already uses it. Choose another hot key in Settings"))
        << app.diagnostics().toStdString();

    // The user opens the settings and presses the new key in the key editor.
    EXPECT_EQ(app.run({"--settings"}).exitCode, 0);
    ASSERT_TRUE(waitUntil(
        [] {
            return xdotool({"search", "--onlyvisible", "--name", "^Wendlo Settings$"});
        },
        5000));
    ASSERT_TRUE(xdotool(
        {"search", "--onlyvisible", "--name", "^Wendlo Settings$", "windowfocus", "--sync"}));
    spinFor(300);
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+space"}));
    // The editor ends its recording a second after the last key.
    ASSERT_TRUE(app.waitForLine("hot key=Ctrl+Alt+Space", 5000)) << app.diagnostics().toStdString();
    ASSERT_TRUE(app.waitForLine("state=Idle", 3000));

    // Back in the field, the user holds the new key and speaks.
    ASSERT_TRUE(
        xdotool({"search", "--onlyvisible", "--name", "^qt-field$", "windowfocus", "--sync"}));
    spinFor(300);
    const Speech speech;
    ASSERT_TRUE(xdotool({"keydown", "ctrl+alt+space"}));
    ASSERT_TRUE(app.waitForLine("state=Recording")) << app.diagnostics().toStdString();
    ASSERT_TRUE(speech.play());
    ASSERT_TRUE(xdotool({"keyup", "ctrl+alt+space"}));
    EXPECT_TRUE(field.waitForText(kInserted, 30000))
        << "field holds: " << field.state().text.toStdString() << "\n"
        << app.diagnostics().toStdString();

    app.process().kill();
    app.process().waitForFinished(5000);
    xcb_disconnect(other);
}

TEST(CommandLineWithoutDisplay, HelpVersionAndBadOptions)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    const auto run = [&](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(kWendlo, arguments);
        Finished result;
        if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit)
            result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    };
    const Finished version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Wendlo " WENDLO_VERSION "\n");
    const Finished help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: wendlo [options]")) << help.out.toStdString();
    const Finished bad = run({"--frobnicate"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.startsWith("wendlo: Unknown option 'frobnicate'."))
        << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains("Usage: wendlo [options]"));
    EXPECT_EQ(run({"--start-dictation", "--quit"}).exitCode, 2);
}

} // namespace
