// The recorder on a real sound server: the private desktop's PulseAudio, whose default source
// hears its default sink, and servers of the test's own for faults.
#include "dictation/DictationCoordinator.h"
#include "dictation/DictationRecorder.h"
#include "common/PrivateTempDir.h"
#include "fakes/FakeDictationBackends.h"
#include "platform/pulse/PulseAudioCapture.h"
#include "platform/pulse/PulseAudioRecording.h"
#include "platform/pulse/PulseRecordPermission.h"
#include "support/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct WavFile
{
    bool riffWave = false;
    int format = 0;
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    qint64 riffSize = -1;
    qint64 fileSize = 0;
    qint64 dataOffset = -1;
    qint64 dataSize = -1;
    QByteArray data;

    double seconds() const { return data.size() / 2.0 / 16000.0; }
    double rms() const
    {
        const auto* samples = reinterpret_cast<const qint16*>(data.constData());
        const qsizetype count = data.size() / 2;
        double sum = 0;
        for (qsizetype i = 0; i < count; ++i) {
            const double s = qFromLittleEndian(samples[i]);
            sum += s * s;
        }
        return count ? std::sqrt(sum / count) : 0;
    }
};

WavFile readWav(const QString& path)
{
    WavFile wav;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return wav;
    const QByteArray bytes = file.readAll();
    wav.fileSize = bytes.size();
    if (bytes.size() < 12)
        return wav;
    wav.riffWave = bytes.left(4) == "RIFF" && bytes.mid(8, 4) == "WAVE";
    wav.riffSize = qFromLittleEndian<quint32>(bytes.constData() + 4);
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const char* body = bytes.constData() + at + 8;
        if (id == "fmt " && size >= 16) {
            wav.format = qFromLittleEndian<quint16>(body);
            wav.channels = qFromLittleEndian<quint16>(body + 2);
            wav.sampleRate = int(qFromLittleEndian<quint32>(body + 4));
            wav.bitsPerSample = qFromLittleEndian<quint16>(body + 14);
        } else if (id == "data") {
            wav.dataOffset = at + 8;
            wav.dataSize = size;
            wav.data = bytes.mid(at + 8, size);
        }
        at += 8 + size + (size & 1);
    }
    return wav;
}

void expectWellFormed(const WavFile& wav)
{
    EXPECT_TRUE(wav.riffWave);
    EXPECT_EQ(wav.format, 1) << "PCM";
    EXPECT_EQ(wav.sampleRate, 16000);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.bitsPerSample, 16);
    EXPECT_EQ(wav.riffSize, wav.fileSize - 8);
    EXPECT_EQ(wav.dataSize, wav.fileSize - wav.dataOffset) << "data size covers every sample";
    EXPECT_EQ(wav.data.size(), wav.dataSize);
}

// A 440 Hz tone, 48 kHz mono s16le, played into a server's default sink while it lasts.
class TonePlayer
{
public:
    explicit TonePlayer(double seconds, const QString& server = {})
    {
        QByteArray pcm(qsizetype(seconds * 48000) * 2, Qt::Uninitialized);
        auto* samples = reinterpret_cast<qint16*>(pcm.data());
        for (qsizetype i = 0; i < pcm.size() / 2; ++i)
            samples[i] = qToLittleEndian(qint16(8000 * std::sin(2 * M_PI * 440 * i / 48000.0)));
        QStringList args{"--playback", "--format=s16le", "--rate=48000", "--channels=1",
                         "--latency-msec=20"};
        if (!server.isEmpty())
            args << "--server=" + server;
        m_process.start("pacat", args);
        m_process.waitForStarted(3000);
        m_process.write(pcm);
        m_process.closeWriteChannel();
    }
    ~TonePlayer()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

private:
    QProcess m_process;
};

// A sound server of the test's own, which the test may take away, stall or bring back.
class PrivateServer
{
public:
    PrivateServer() { start(); }
    ~PrivateServer()
    {
        resume();
        vanish();
    }

    // (Re)starts it on the same socket.
    void start()
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start("pulseaudio",
                        {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
                         "module-native-protocol-unix auth-anonymous=1 socket=" + socket(), "-L",
                         "module-null-sink sink_name=vsink rate=48000", "-L",
                         "module-remap-source master=vsink.monitor source_name=vmic"});
        m_process.waitForStarted(3000);
        m_ready = waitUntil([this] { return pactl({"info"}); }, 10000) &&
                  pactl({"set-default-sink", "vsink"}) && pactl({"set-default-source", "vmic"});
    }
    bool ready() const { return m_ready; }
    QString address() const { return "unix:" + socket(); }
    void vanish()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    // SIGSTOP: the socket stays, but nothing answers.
    void stall() { ::kill(pid_t(m_process.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(m_process.processId()), SIGCONT); }

    bool pactl(const QStringList& args) const
    {
        QProcess p;
        p.start("pactl", QStringList{"--server=" + address()} + args);
        return p.waitForFinished(3000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

private:
    QString socket() const { return m_dir.path() + "/pulse.sock"; }

    QTemporaryDir m_dir;
    QProcess m_process;
    bool m_ready = false;
};

// The longest time the event loop went without running a 5 ms timer.
class LoopLatency
{
public:
    LoopLatency()
    {
        m_clock.start();
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_worstMs = std::max(m_worstMs, now - m_lastMs);
            m_lastMs = now;
        });
        m_timer.start();
    }
    qint64 worstGapMs() const { return m_worstMs; }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_lastMs = 0;
    qint64 m_worstMs = 0;
};

QString folder()
{
    return PrivateTempDir::folderPath("QuorDictation");
}

QStringList recordings()
{
    return QDir(folder()).entryList(QDir::Files);
}

// Records for `ms` while the event loop runs; returns the stopped result and the wall time.
std::pair<Result<QString>, qint64> recordFor(DictationRecorder& recorder, int ms)
{
    if (Failure failure = recorder.start())
        return {*failure, 0};
    QElapsedTimer clock;
    clock.start();
    spinFor(ms);
    const qint64 elapsed = clock.elapsed();
    return {recorder.stop(), elapsed};
}

class PulseRecorderIntegrationTest : public ::testing::Test
{
protected:
    // A fresh server's first capture is slow to deliver; later ones are not.
    static void SetUpTestSuite()
    {
        QTemporaryDir dir;
        PulseAudioCapture capture;
        auto recording = capture.makeRecording(dir.path() + "/warm-up.wav");
        if (!recording.ok() || !recording.value()->prepareToRecord() ||
            !recording.value()->record([](bool) {}))
            return;
        auto* pulse = static_cast<PulseAudioRecording*>(recording.value().get());
        waitUntil([pulse] { return pulse->framesCaptured() > 0; }, 5000);
        recording.value()->stop();
    }

    PulseRecordPermission permission;
};

TEST_F(PulseRecorderIntegrationTest, RecordsWhatIsPlayedIntoAWellFormedWav)
{
    DictationRecorder recorder(std::make_unique<PulseAudioCapture>(), false);
    TonePlayer tone(4.0);
    spinFor(300);

    const auto [stopped, elapsedMs] = recordFor(recorder, 2000);
    ASSERT_TRUE(stopped.ok()) << stopped.error().message.toStdString();
    const WavFile wav = readWav(stopped.value());
    expectWellFormed(wav);
    EXPECT_NEAR(wav.seconds(), elapsedMs / 1000.0, elapsedMs / 1000.0 * 0.1);
    EXPECT_GT(wav.rms(), 2000) << "a tone of RMS about 5600 was playing";
}

TEST_F(PulseRecorderIntegrationTest, TheProbeConfirmsTheSessionServersPermission)
{
    EXPECT_EQ(permission.state(), MicrophonePermissionState::Granted);
    DictationRecorder recorder(std::make_unique<PulseAudioCapture>(), false);
    std::optional<bool> confirmed;
    recorder.promptForPermission([&](bool granted) { confirmed = granted; });
    ASSERT_TRUE(waitUntil([&] { return confirmed.has_value(); }, 3000));
    EXPECT_TRUE(*confirmed);

    std::optional<bool> answer;
    permission.requestAccess([&](bool granted) { answer = granted; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }, 3000));
    EXPECT_TRUE(*answer);
}

TEST_F(PulseRecorderIntegrationTest, WithoutAServerStartFailsCleanlyAndALaterStartWorks)
{
    const QString nowhere = "unix:" + QDir::tempPath() + "/no-such-dir/pulse.sock";
    const QStringList before = recordings();
    PulseRecordPermission unreachable(nowhere);
    EXPECT_EQ(unreachable.state(), MicrophonePermissionState::Denied);

    // The probe a dictation starts with is not confirmed, so its recording does not start.
    DictationRecorder broken(std::make_unique<PulseAudioCapture>(nowhere), false);
    std::optional<bool> confirmed;
    broken.promptForPermission([&](bool granted) { confirmed = granted; }, true);
    ASSERT_TRUE(waitUntil([&] { return confirmed.has_value(); }, 5000));
    EXPECT_FALSE(*confirmed);
    const Failure failure = broken.start();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "Could not start recording");
    EXPECT_EQ(broken.stop().error().message, "Recording was not active");
    EXPECT_EQ(recordings(), before) << "nothing left behind";

    DictationRecorder working(std::make_unique<PulseAudioCapture>(), false);
    const auto [stopped, elapsedMs] = recordFor(working, 300);
    ASSERT_TRUE(stopped.ok()) << stopped.error().message.toStdString();
    expectWellFormed(readWav(stopped.value()));
}

TEST_F(PulseRecorderIntegrationTest, AServerThatVanishesLeavesAPlayableWavOfWhatWasCaptured)
{
    PrivateServer server;
    ASSERT_TRUE(server.ready());
    TonePlayer tone(6.0, server.address());
    PulseRecordPermission serverPermission(server.address());
    DictationRecorder recorder(std::make_unique<PulseAudioCapture>(server.address()), false);
    const QStringList before = recordings();
    ASSERT_FALSE(recorder.start());
    // A fresh server's first capture can take about two seconds to deliver data; wait for
    // the first quarter second of it to reach the file.
    QStringList added = recordings();
    for (const QString& old : before)
        added.removeAll(old);
    ASSERT_EQ(added.size(), 1);
    const QString path = added.first();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(folder() + "/" + path).size() > 8236; }, 5000));
    server.vanish();
    spinFor(300);

    const Result<QString> stopped = recorder.stop();
    ASSERT_TRUE(stopped.ok()) << stopped.error().message.toStdString();
    const WavFile wav = readWav(stopped.value());
    expectWellFormed(wav);
    EXPECT_GT(wav.seconds(), 0.2);
    EXPECT_GT(wav.rms(), 1000);
    EXPECT_TRUE(waitUntil(
        [&] { return serverPermission.state() == MicrophonePermissionState::Denied; }, 3000));
}

// A file-size limit stands in for a full disk.
TEST_F(PulseRecorderIntegrationTest, AFullDiskFailsStopInsteadOfReportingATruncatedFile)
{
    DictationRecorder recorder(std::make_unique<PulseAudioCapture>(), false);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16000; // half a second of audio
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    const auto [stopped, elapsedMs] = recordFor(recorder, 1200);

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_FALSE(stopped.ok());
    EXPECT_TRUE(stopped.error().message.startsWith("Could not save the recording "))
        << stopped.error().message.toStdString();
    EXPECT_EQ(recorder.stop().error().message, "Recording was not active");
}

// The permission follows the server: its default source, its vanishing and its return, each
// read without asking the server.
TEST_F(PulseRecorderIntegrationTest, ThePermissionFollowsTheServersEvents)
{
    PrivateServer server;
    ASSERT_TRUE(server.ready());
    PulseRecordPermission watched(server.address());
    const auto becomes = [&](MicrophonePermissionState wanted) {
        return waitUntil([&] { return watched.state() == wanted; }, 6000);
    };
    EXPECT_EQ(watched.state(), MicrophonePermissionState::Granted) << "known from the start";

    ASSERT_TRUE(server.pactl({"set-default-source", "vsink.monitor"}));
    EXPECT_TRUE(becomes(MicrophonePermissionState::Denied)) << "a monitor is no microphone";
    ASSERT_TRUE(server.pactl({"set-default-source", "vmic"}));
    EXPECT_TRUE(becomes(MicrophonePermissionState::Granted));

    server.vanish();
    EXPECT_TRUE(becomes(MicrophonePermissionState::Denied));
    std::optional<bool> answer;
    watched.requestAccess([&](bool granted) { answer = granted; });
    EXPECT_EQ(answer, false) << "answered at once from what is known";

    server.start();
    ASSERT_TRUE(server.ready());
    EXPECT_TRUE(becomes(MicrophonePermissionState::Granted)) << "a server that comes back";
}

// With the sound server stopped (SIGSTOP), a dictation fails in bounded time, and the main
// thread never waits for the server meanwhile; once it runs again, dictation works again.
TEST_F(PulseRecorderIntegrationTest, AStalledServerNeverHoldsUpTheMainThread)
{
    PrivateServer server;
    ASSERT_TRUE(server.ready());
    FakeDictationBackends fakes;
    DictationBackends backends = fakes.make();
    backends.audioCapture = std::make_unique<PulseAudioCapture>(server.address());
    backends.recordPermission = std::make_unique<PulseRecordPermission>(server.address());
    backends.keepRecordings = false;
    fakes.recordPermission = nullptr;
    DictationCoordinator coordinator(std::move(backends));
    coordinator.start();
    ASSERT_EQ(coordinator.microphonePermissionState(), MicrophonePermissionState::Granted);
    const auto dictate = [&] {
        coordinator.requestMicrophoneAndStart();
        if (!waitUntil([&] { return coordinator.state().isRecording(); }, 5000))
            return false;
        spinFor(400);
        coordinator.stopAndTranscribe();
        return waitUntil([&] { return !coordinator.state().isTranscribing(); }, 5000) &&
               coordinator.state().isIdle();
    };
    // The baseline: the same loop on this (shared, noisy) machine with the server running.
    qint64 baselineGapMs = 0;
    {
        LoopLatency baseline;
        ASSERT_TRUE(dictate()) << coordinator.state().label().toStdString();
        spinFor(2000);
        baselineGapMs = baseline.worstGapMs();
    }

    server.stall();
    LoopLatency latency;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(coordinator.microphonePermissionState(), MicrophonePermissionState::Granted);
    coordinator.requestMicrophoneAndStart();
    coordinator.requestMicrophoneAccess(true, true, {});
    ASSERT_TRUE(waitUntil([&] { return coordinator.state().isError(); }, 10000));
    const qint64 failedAfterMs = clock.elapsed();
    spinFor(100);
    std::printf("stalled server: dictation failed after %lld ms with \"%s\"; longest "
                "event-loop gap %lld ms (%lld ms with the server running)\n",
                (long long)failedAfterMs, qPrintable(coordinator.state().message),
                (long long)latency.worstGapMs(), (long long)baselineGapMs);
    // Waiting on the server would cost seconds; the machine's own noise is allowed for.
    EXPECT_LE(latency.worstGapMs(), std::max<qint64>(baselineGapMs, 50) + 50);
    EXPECT_LE(failedAfterMs, 2 * DictationRecorder::firstSamplesTimeoutMs + 1000);
    EXPECT_TRUE(recordings().filter(QRegularExpression("^[0-9A-F-]{36}\\.wav$")).isEmpty());

    server.resume();
    ASSERT_TRUE(dictate()) << coordinator.state().label().toStdString();
}

} // namespace
