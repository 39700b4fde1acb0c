// The real app with a recogniser that never answers: the user gets out through the tray menu
// (Cancel Transcription, Quit), and the recogniser dies with the app however the app ends.
// The app's self-test makes the dictation; trayer provides the tray the menu lives in.
#include "support/DebugLogLines.h"
#include "support/ProcessAlive.h"
#include "support/Wait.h"

#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/types.h>

namespace {

const QString kWendlo = QStringLiteral(WENDLO_EXECUTABLE);

// Where trayer puts the first icon: the panel sits at the top left, 200 × 30.
constexpr int kIconX = 12;
constexpr int kIconY = 15;

// A prefix of its own: the app, a whisper-cli that writes its process id and never exits, and
// a model file (only its presence is checked).
class HungInstallation
{
public:
    HungInstallation()
    {
        const QString whisper = m_dir.filePath("share/wendlo/Whisper");
        QDir().mkpath(m_dir.filePath("bin"));
        QDir().mkpath(whisper);
        m_ok = QFile::copy(kWendlo, executable()) &&
               QFile::copy(QFileInfo(kWendlo).dir().filePath("wendlo-app"),
                           m_dir.filePath("bin/wendlo-app"));
        QFile program(whisper + "/whisper-cli");
        m_ok = m_ok && program.open(QIODevice::WriteOnly);
        program.write(
            QStringLiteral("#!/bin/sh\necho $$ > '%1'\nexec sleep 600\n").arg(pidFile()).toUtf8());
        program.close();
        program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile model(whisper + "/ggml-large-v3-turbo.bin");
        m_ok = m_ok && model.open(QIODevice::WriteOnly) && model.write("m") == 1;
    }

    bool ok() const { return m_ok; }
    QString executable() const { return m_dir.filePath("bin/wendlo"); }
    QString pidFile() const { return m_dir.filePath("recogniser.pid"); }
    qint64 recogniser() const { return pidFrom(pidFile()); }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Whether a window of the app larger than the pill is shown: the open menu.
bool menuShown()
{
    const QString ids = run("xdotool", {"search", "--onlyvisible", "--class", "wendlo"});
    for (const QString& id : ids.split('\n', Qt::SkipEmptyParts)) {
        const QString geometry = run("xdotool", {"getwindowgeometry", id});
        const QRegularExpressionMatch size =
            QRegularExpression("Geometry: (\\d+)x(\\d+)").match(geometry);
        if (size.hasMatch() && size.captured(1).toInt() > 100 && size.captured(2).toInt() > 100)
            return true;
    }
    return false;
}

class HungRecogniser : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_installation.ok());
        m_tray.start("trayer", {"--edge", "top", "--align", "left", "--widthtype", "pixel",
                                "--width", "200", "--heighttype", "pixel", "--height", "30"});
        ASSERT_TRUE(m_tray.waitForStarted(5000));

        QSettings(m_home.filePath("config/Wendlo/Wendlo.conf"), QSettings::IniFormat)
            .setValue("Wendlo.OnboardingVersion", 1);
        QDir().mkpath(m_home.filePath("runtime"));
        QFile::setPermissions(m_home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("QUOR_LOG_STDERR");
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", m_home.filePath("runtime"));
        env.insert("QUOR_DEBUG_LOG", logPath());
        env.insert("QUOR_SELFTEST_PHRASE", "hello there");
        env.insert("WENDLO_UPDATE_FEED_URL", "http://127.0.0.1:9/latest.json");
        m_app.setProcessEnvironment(env);
        m_app.setStandardOutputFile(QProcess::nullDevice());
        m_app.setStandardErrorFile(m_home.filePath("stderr"));
        m_app.start(m_installation.executable(), {});
        ASSERT_TRUE(m_app.waitForStarted(5000));

        // The self-test records "hello there" and hands it to the stand-in, which hangs.
        ASSERT_TRUE(waitUntil([&] { return processAlive(m_installation.recogniser()); }, 30000))
            << diagnostics();
        ASSERT_TRUE(waitUntil([&] { return lines().contains("state=Transcribing"); }))
            << diagnostics();
    }

    void TearDown() override
    {
        m_app.kill();
        m_app.waitForFinished(5000);
        m_tray.kill();
        m_tray.waitForFinished(5000);
        if (const qint64 left = m_installation.recogniser(); processAlive(left))
            ::kill(pid_t(left), SIGKILL);
    }

    // Opens the tray menu with a click on the icon, as a user does.
    bool openMenu()
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            run("xdotool",
                {"mousemove", QString::number(kIconX), QString::number(kIconY), "click", "1"});
            if (waitUntil(menuShown, 2000))
                return true;
        }
        return false;
    }

    QString logPath() const { return m_home.filePath("wendlo.log"); }
    QStringList lines() const { return debugLogMessages(logPath()); }
    std::string diagnostics() const
    {
        QFile err(m_home.filePath("stderr"));
        err.open(QIODevice::ReadOnly);
        return ("log:\n" + lines().join('\n') + "\nstderr:\n" + QString::fromUtf8(err.readAll()))
            .toStdString();
    }

    HungInstallation m_installation;
    QTemporaryDir m_home;
    QProcess m_tray;
    QProcess m_app;
};

TEST_F(HungRecogniser, CancelTranscriptionInTheTrayMenuStopsItAndTheAppGoesOn)
{
    const qint64 recogniser = m_installation.recogniser();
    ASSERT_TRUE(openMenu()) << diagnostics();
    // The first active item is the toggle; the next one, shown only now, is the cancel.
    run("xdotool", {"key", "Down", "Down", "Return"});

    ASSERT_TRUE(waitUntil([&] { return lines().contains("transcription cancelled"); }))
        << diagnostics();
    EXPECT_TRUE(waitUntil([&] { return lines().constLast() == "state=Idle"; })) << diagnostics();
    EXPECT_TRUE(waitUntil([&] { return !processAlive(recogniser); }));
    EXPECT_EQ(m_app.state(), QProcess::Running);
}

TEST_F(HungRecogniser, QuitInTheTrayMenuEndsTheAppAndTheRecogniser)
{
    const qint64 recogniser = m_installation.recogniser();
    ASSERT_TRUE(openMenu()) << diagnostics();
    QElapsedTimer clock;
    clock.start();
    run("xdotool", {"key", "ctrl+q"});

    ASSERT_TRUE(m_app.waitForFinished(5000)) << diagnostics();
    RecordProperty("quit_ms", int(clock.elapsed()));
    EXPECT_EQ(m_app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_app.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return !processAlive(recogniser); }));
}

// However the app ends, its children end with it.
class HungRecogniserSignal : public HungRecogniser, public ::testing::WithParamInterface<int>
{
};

TEST_P(HungRecogniserSignal, TheRecogniserDiesWithTheApp)
{
    const qint64 recogniser = m_installation.recogniser();
    ::kill(pid_t(m_app.processId()), GetParam());

    ASSERT_TRUE(m_app.waitForFinished(5000));
    EXPECT_TRUE(waitUntil([&] { return !processAlive(recogniser); }))
        << "whisper-cli " << recogniser << " outlived the app";
}

INSTANTIATE_TEST_SUITE_P(Signals, HungRecogniserSignal, ::testing::Values(SIGKILL, SIGTERM),
                         [](const auto& info) {
                             return std::string(info.param == SIGKILL ? "Kill" : "Term");
                         });

} // namespace
