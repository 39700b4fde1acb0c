// The real app on a private desktop: its launch, the first window it shows, and a second
// launch that hands over to the running instance.
#include "support/DebugLogLines.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kWendlo = QStringLiteral(WENDLO_EXECUTABLE);

class AppShell : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        QDir().mkpath(m_home.filePath("runtime"));
        QFile::setPermissions(m_home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void TearDown() override
    {
        for (QProcess* app : {&m_first, &m_second}) {
            app->kill();
            app->waitForFinished(5000);
        }
    }

    void storeOnboardingVersion(int version)
    {
        QDir().mkpath(m_home.filePath("config/Wendlo"));
        QFile settings(m_home.filePath("config/Wendlo/Wendlo.conf"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nWendlo.OnboardingVersion=" + QByteArray::number(version) + "\n");
    }

    void start(QProcess& app, bool withMicrophone = true, const QProcessEnvironment& extra = {},
               const QString& log = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : env.keys()) {
            if (name.startsWith("QUOR_"))
                env.remove(name);
        }
        env.remove("QT_QPA_PLATFORM");
        env.insert("XDG_RUNTIME_DIR", m_home.filePath("runtime"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("QUOR_DEBUG_LOG", log.isEmpty() ? m_home.filePath("wendlo.log") : log);
        for (const QString& name : extra.keys())
            env.insert(name, extra.value(name));
        // Nothing leaves the machine: an address that refuses at once.
        env.insert("WENDLO_UPDATE_FEED_URL", "http://127.0.0.1:9/latest.json");
        if (!withMicrophone)
            env.insert("PULSE_SERVER", "unix:" + m_home.filePath("no-sound-server"));
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(kWendlo, {});
        ASSERT_TRUE(app.waitForStarted(5000));
    }

    QStringList logLines() const { return debugLogMessages(m_home.filePath("wendlo.log")); }

    bool logHas(const QString& prefix) const
    {
        for (const QString& line : logLines()) {
            if (line.startsWith(prefix))
                return true;
        }
        return false;
    }

    // Whether a window with exactly this title is mapped on the display.
    static bool windowShown(const QString& title)
    {
        QProcess search;
        search.start("xdotool", {"search", "--onlyvisible", "--name",
                                 "^" + QRegularExpression::escape(title) + "$"});
        search.waitForFinished(5000);
        return search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty();
    }

    QTemporaryDir m_home;
    QProcess m_first;
    QProcess m_second;
};

} // namespace

TEST_F(AppShell, FirstRunLogsItsLaunchAndShowsOnboarding)
{
    start(m_first);
    ASSERT_TRUE(waitUntil([&] { return logHas("launch complete"); }, 10000))
        << logLines().join('\n').toStdString() << m_first.readAll().toStdString();
    EXPECT_TRUE(logHas("launch version="));
    EXPECT_TRUE(waitUntil([] { return windowShown("Wendlo Setup"); }, 5000));
    EXPECT_FALSE(windowShown("Wendlo Permissions"));
}

TEST_F(AppShell, MissingPermissionShowsThePermissionsWindowAndASecondLaunchReachesIt)
{
    storeOnboardingVersion(1);
    start(m_first, false);
    ASSERT_TRUE(waitUntil([&] { return logHas("launch complete"); }, 10000))
        << m_first.readAll().toStdString();
    // No sound server: the microphone is denied.
    ASSERT_TRUE(waitUntil([] { return windowShown("Wendlo Permissions"); }, 5000));
    EXPECT_FALSE(windowShown("Wendlo Setup"));

    start(m_second);
    ASSERT_TRUE(m_second.waitForFinished(10000));
    EXPECT_EQ(m_second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_second.exitCode(), 0) << m_second.readAll().toStdString();
    EXPECT_TRUE(waitUntil([&] { return logHas("reopen visible=true handled=false"); }, 3000))
        << logLines().join('\n').toStdString();
    EXPECT_TRUE(logHas("already running"));
    EXPECT_EQ(m_first.state(), QProcess::Running);
}

// Each pair starts in the same moment, over the socket file a crashed Wendlo left behind
// (where a socket alone decided, both could take it over); the lock lets exactly one win.
TEST_F(AppShell, TwoLaunchesAtOnceMakeOneInstance)
{
    storeOnboardingVersion(1);
    const QString folder = m_home.filePath("runtime/QuorDictation");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    constexpr int pairs = 10;
    for (int round = 0; round < pairs; ++round) {
        QFile::remove(m_home.filePath("wendlo.log"));
        QFile::remove(folder + "/wendlo.socket");
        QFile stale(folder + "/wendlo.socket");
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.close();
        start(m_first);
        start(m_second);
        // One hands over and exits 0; the other stays.
        ASSERT_TRUE(waitUntil(
            [&] {
                return m_first.state() == QProcess::NotRunning ||
                       m_second.state() == QProcess::NotRunning;
            },
            15000))
            << "round " << round << ": both still run\n"
            << logLines().join('\n').toStdString();
        QProcess& ended = m_first.state() == QProcess::NotRunning ? m_first : m_second;
        QProcess& running = &ended == &m_first ? m_second : m_first;
        EXPECT_EQ(ended.exitCode(), 0) << ended.readAll().toStdString();
        ASSERT_TRUE(waitUntil([&] { return logHas("launch complete"); }, 10000));
        spinFor(300);
        EXPECT_EQ(running.state(), QProcess::Running) << "round " << round;
        EXPECT_EQ(logLines().filter(QRegularExpression("^launch version=")).size(), 1)
            << "round " << round << "\n"
            << logLines().join('\n').toStdString();
        EXPECT_TRUE(logHas("already running"));
        running.kill();
        running.waitForFinished(5000);
    }
}

TEST_F(AppShell, PreviewRunsBesideTheInstanceAndLeavesItAlone)
{
    storeOnboardingVersion(1);
    start(m_first);
    ASSERT_TRUE(waitUntil([&] { return logHas("launch complete"); }, 10000));
    spinFor(500);
    QFile log(m_home.filePath("wendlo.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray before = log.readAll();
    log.close();

    const QString exports = m_home.filePath("exports");
    QProcessEnvironment preview;
    preview.insert("QUOR_ONBOARDING_PREVIEW_STEP", "ready");
    preview.insert("QUOR_ONBOARDING_EXPORT_DIR", exports);
    const QString previewLog = m_home.filePath("preview.log");
    start(m_second, true, preview, previewLog);
    ASSERT_TRUE(m_second.waitForFinished(10000));
    EXPECT_EQ(m_second.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(exports + "/ready.png"));
    EXPECT_TRUE(debugLogMessages(previewLog).contains("onboarding snapshot wrote ready.png"));

    // The running instance heard nothing of it.
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), before);
    EXPECT_EQ(m_first.state(), QProcess::Running);
}

TEST_F(AppShell, LaunchDuringAPreviewBecomesTheInstance)
{
    storeOnboardingVersion(1);
    // An overlay preview without an export folder stays up until it is ended.
    QProcessEnvironment preview;
    preview.insert("QUOR_OVERLAY_PREVIEW_MODE", "recording");
    start(m_first, true, preview, m_home.filePath("preview.log"));
    spinFor(1000);
    ASSERT_EQ(m_first.state(), QProcess::Running);

    start(m_second);
    ASSERT_TRUE(waitUntil([&] { return logHas("launch complete"); }, 10000))
        << m_second.readAll().toStdString();
    EXPECT_EQ(m_second.state(), QProcess::Running);
    EXPECT_FALSE(logHas("already running"));
    EXPECT_EQ(m_first.state(), QProcess::Running);
}
