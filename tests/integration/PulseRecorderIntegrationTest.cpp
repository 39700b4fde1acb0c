// The recorder on a real sound server: the private desktop's PulseAudio, whose default source
// hears its default sink, and servers of the test's own for faults.
#include "dictation/DictationRecorder.h"
#include "dictation/PrivateTempDir.h"
#include "platform/pulse/PulseAudioCapture.h"
#include "platform/pulse/PulseAudioRecording.h"
#include "platform/pulse/PulseRecordPermission.h"
#include "support/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

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

// A sound server of the test's own, which the test may take away.
class PrivateServer
{
public:
    PrivateServer()
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
    ~PrivateServer() { vanish(); }

    bool ready() const { return m_ready; }
    QString address() const { return "unix:" + socket(); }
    void vanish()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

private:
    QString socket() const { return m_dir.path() + "/pulse.sock"; }
    bool pactl(const QStringList& args) const
    {
        QProcess p;
        p.start("pactl", QStringList{"--server=" + address()} + args);
        return p.waitForFinished(3000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    bool m_ready = false;
};

QStringList recordings()
{
    return QDir(PrivateTempDir::base() + "/QuorDictation").entryList(QDir::Files);
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
            !recording.value()->record())
            return;
        auto* pulse = static_cast<PulseAudioRecording*>(recording.value().get());
        waitUntil([pulse] { return pulse->framesCaptured() > 0; }, 5000);
        recording.value()->stop();
    }

    PulseRecordPermission permission;
};

TEST_F(PulseRecorderIntegrationTest, RecordsWhatIsPlayedIntoAWellFormedWav)
{
    DictationRecorder recorder(std::make_unique<PulseAudioCapture>(), permission);
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
    DictationRecorder recorder(std::make_unique<PulseAudioCapture>(), permission);
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

    DictationRecorder broken(std::make_unique<PulseAudioCapture>(nowhere), unreachable);
    const Failure failure = broken.start();
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->message.startsWith("Could not connect to the sound server: "))
        << failure->message.toStdString();
    EXPECT_EQ(broken.stop().error().message, "Recording was not active");
    EXPECT_EQ(recordings(), before) << "nothing written";

    DictationRecorder working(std::make_unique<PulseAudioCapture>(), permission);
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
    DictationRecorder recorder(std::make_unique<PulseAudioCapture>(server.address()),
                               serverPermission);
    const QStringList before = recordings();
    ASSERT_FALSE(recorder.start());
    // A fresh server's first capture can take about two seconds to deliver data; wait for
    // the first quarter second of it to reach the file.
    QStringList added = recordings();
    for (const QString& old : before)
        added.removeAll(old);
    ASSERT_EQ(added.size(), 1);
    const QString path = added.first();
    ASSERT_TRUE(waitUntil(
        [&] { return QFileInfo(PrivateTempDir::base() + "/QuorDictation/" + path).size() > 8236; },
        5000));
    server.vanish();
    spinFor(300);

    const Result<QString> stopped = recorder.stop();
    ASSERT_TRUE(stopped.ok()) << stopped.error().message.toStdString();
    const WavFile wav = readWav(stopped.value());
    expectWellFormed(wav);
    EXPECT_GT(wav.seconds(), 0.2);
    EXPECT_GT(wav.rms(), 1000);
    EXPECT_EQ(serverPermission.state(), MicrophonePermissionState::Denied);
}

// A file-size limit stands in for a full disk.
TEST_F(PulseRecorderIntegrationTest, AFullDiskFailsStopInsteadOfReportingATruncatedFile)
{
    DictationRecorder recorder(std::make_unique<PulseAudioCapture>(), permission);
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

} // namespace
