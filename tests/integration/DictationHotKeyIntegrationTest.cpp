// Dictation from the real hot key: Super+D pressed and released through XTest on the private
// desktop, captured by the real sound server, inserted through AT-SPI into a real Qt field. A
// stand-in recogniser measures the WAV it is handed, so the test sees what would be heard.
#include "dictation/DictationBackends.h"
#include "platform/PlatformFactory.h"
#include "dictation/DictationCoordinator.h"
#include "common/PrivateTempDir.h"
#include "integration/FieldApp.h"
#include "platform/pulse/PulseAudioCapture.h"
#include "platform/pulse/PulseAudioRecording.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/XTestSyntheticKeys.h"
#include "support/DebugLogLines.h"
#include "support/QtPrinters.h"
#include "support/Wait.h"
#include "support/WavSeconds.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// Answers every transcription with fixed words (or a failure), noting how long each WAV was.
class MeasuringTranscriber : public OneShotWhisperTranscriber
{
public:
    Result<QString> transcribe(const QString& audioFile, ChildProcessStop&) const override
    {
        std::lock_guard lock(m_mutex);
        m_seconds << wavSeconds(audioFile);
        if (fails)
            return QuorError{QStringLiteral("whisper-cli exited with 3")};
        return QStringLiteral("hello world");
    }
    QList<double> seconds() const
    {
        std::lock_guard lock(m_mutex);
        return m_seconds;
    }

    bool fails = false;

private:
    mutable std::mutex m_mutex;
    mutable QList<double> m_seconds;
};

QStringList recordings()
{
    static const QRegularExpression uuidWav("^[0-9A-F-]{36}\\.wav$");
    return QDir(PrivateTempDir::folderPath("QuorDictation")).entryList(QDir::Files).filter(uuidWav);
}

// Wendlo's capture streams open on the sound server (the remapped microphone has one of its
// own).
int captureStreams()
{
    QProcess pactl;
    pactl.start("pactl", {"list", "source-outputs"});
    pactl.waitForFinished(3000);
    return int(pactl.readAllStandardOutput().count("application.name = \"Wendlo\""));
}

class DictationHotKeyIntegrationTest : public ::testing::Test
{
protected:
    // A fresh server's first capture is slow to deliver; a user's desktop is past that.
    static void SetUpTestSuite()
    {
        QTemporaryDir dir;
        PulseAudioRecording warmUp(dir.filePath("warm-up.wav"), {});
        if (warmUp.prepareToRecord() && warmUp.record([](bool) {}))
            waitUntil([&] { return warmUp.framesCaptured() > 0; }, 5000);
    }

    void SetUp() override
    {
        m_xcb = X11Connection::ofApplication();
        if (!m_xcb)
            GTEST_SKIP() << "needs the private desktop's X display";
        ASSERT_TRUE(m_field.started());
        make(false);
    }
    void TearDown() override { coordinator.reset(); }

    void make(bool keepRecordings)
    {
        coordinator.reset();
        auto backends = DictationBackends::withDesktop(PlatformFactory::makePlatformBackends());
        transcriber = std::make_shared<MeasuringTranscriber>();
        backends.transcriber = transcriber;
        backends.keepRecordings = keepRecordings;
        coordinator = std::make_unique<DictationCoordinator>(std::move(backends));
        coordinator->onStateChange = [this](const DictationState& s) { published << s; };
        coordinator->start();
        published.clear();
        m_keys = std::make_unique<XTestSyntheticKeys>(m_xcb->connection, m_xcb->root);
    }

    // Holds Super+D for about `ms`; returns how long it was down, as sent.
    double hold(int ms)
    {
        QElapsedTimer clock;
        m_keys->postHotKey(HotKey::standard().combination(), true);
        clock.start();
        spinFor(ms);
        m_keys->postHotKey(HotKey::standard().combination(), false);
        return clock.nsecsElapsed() / 1e9;
    }
    bool transcribed(qsizetype count)
    {
        return waitUntil(
            [&] { return transcriber->seconds().size() >= count && coordinator->state().isIdle(); },
            8000);
    }
    static QStringList log() { return debugLogMessages(qEnvironmentVariable("QUOR_DEBUG_LOG")); }

    std::optional<X11Connection> m_xcb;
    FieldApp m_field{FieldApp::Toolkit::Qt, "line", ""};
    std::unique_ptr<XTestSyntheticKeys> m_keys;
    std::shared_ptr<MeasuringTranscriber> transcriber;
    std::unique_ptr<DictationCoordinator> coordinator;
    QList<DictationState> published;
};

TEST_F(DictationHotKeyIntegrationTest, TheRecordingHoldsTheWholeHold)
{
    for (const int ms : {2000, 1000, 500}) {
        SCOPED_TRACE(ms);
        const qsizetype before = transcriber->seconds().size();
        const double held = hold(ms);
        ASSERT_TRUE(transcribed(before + 1)) << coordinator->state().label().toStdString();
        const double recorded = transcriber->seconds().last();
        std::printf("held %.3f s, recorded %.3f s, missing %.0f ms\n", held, recorded,
                    (held - recorded) * 1000);
        EXPECT_NEAR(recorded, held, 0.040);
    }
    EXPECT_TRUE(m_field.waitForText("Hello world. Hello world. Hello world."));
    EXPECT_EQ(captureStreams(), 0);
    EXPECT_TRUE(recordings().isEmpty());
}

TEST_F(DictationHotKeyIntegrationTest, ATapEndsCleanlyAndAShortHoldTranscribes)
{
    hold(150);
    spinFor(500);
    EXPECT_TRUE(coordinator->state().isIdle());
    EXPECT_TRUE(transcriber->seconds().isEmpty()) << "a tap is not transcribed";
    EXPECT_EQ(captureStreams(), 0) << "no capture stream left open";
    EXPECT_TRUE(log().filter("error=").isEmpty());
    EXPECT_TRUE(recordings().isEmpty());

    hold(350);
    ASSERT_TRUE(transcribed(1));
    EXPECT_TRUE(m_field.waitForText("Hello world."));
}

TEST_F(DictationHotKeyIntegrationTest, APressWhileATapSettlesLeavesOneStream)
{
    m_keys->postHotKey(HotKey::standard().combination(), true);
    m_keys->postHotKey(HotKey::standard().combination(), false);
    m_keys->postHotKey(HotKey::standard().combination(), true);
    spinFor(400);
    EXPECT_EQ(captureStreams(), 1);
    m_keys->postHotKey(HotKey::standard().combination(), false);
    ASSERT_TRUE(transcribed(1));
    spinFor(300);
    EXPECT_EQ(transcriber->seconds().size(), 1);
    EXPECT_EQ(captureStreams(), 0);
}

// Nothing the user said stays on disk once transcribed, whatever the outcome, unless the
// debug log is on.
TEST_F(DictationHotKeyIntegrationTest, RecordingsStayOnlyWithTheDebugLog)
{
    for (const bool keep : {false, true}) {
        for (const bool fails : {false, true}) {
            SCOPED_TRACE(std::string(keep ? "kept, " : "") + (fails ? "failed" : "succeeded"));
            make(keep);
            const qsizetype before = recordings().size();
            transcriber->fails = fails;
            hold(500);
            ASSERT_TRUE(waitUntil([&] { return transcriber->seconds().size() == 1; }, 8000));
            ASSERT_TRUE(waitUntil([&] { return !coordinator->state().isTranscribing(); }, 8000));
            EXPECT_EQ(coordinator->state().isError(), fails);
            spinFor(100);
            EXPECT_EQ(recordings().size(), keep ? before + 1 : 0);
        }
    }
}

} // namespace
