// Dictation as a user meets it: the real app, started with its self-test, speaks a phrase into
// the private desktop's microphone, presses the real Super+D through XTest, records, runs the
// real whisper-cli (with a tiny model that answers fixed words) and types into a real text
// field that has the focus.
#include "integration/FieldApp.h"
#include "integration/Installation.h"
#include "support/DebugLogLines.h"
#include "support/QtPrinters.h"
#include "support/Wait.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

const QString kPhrase = QStringLiteral("I think I'm done");
const QString kModelText = QStringLiteral(" i think i'm done");
const QString kInserted = QStringLiteral("I think I'm done.");

// One launch of the app with QUOR_SELFTEST_PHRASE, with its own configuration (onboarding
// already completed, so no window takes the focus), runtime folder and log.
class SelfTestRun
{
public:
    explicit SelfTestRun(const QString& executable)
    {
        const QString config = m_home.filePath("config");
        QSettings(config + "/Wendlo/Wendlo.conf", QSettings::IniFormat)
            .setValue("Wendlo.OnboardingVersion", 1);
        QDir().mkpath(runtimeDir());
        QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("QUOR_LOG_STDERR");
        env.insert("XDG_CONFIG_HOME", config);
        env.insert("XDG_RUNTIME_DIR", runtimeDir());
        env.insert("QUOR_DEBUG_LOG", logPath());
        env.insert("QUOR_SELFTEST_PHRASE", kPhrase);
        m_process.setProcessEnvironment(env);
        // The self-test copies every log line to standard error; the log file has them.
        m_process.setStandardErrorFile(m_home.filePath("stderr"));
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(executable, {});
    }

    ~SelfTestRun()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    QString runtimeDir() const { return m_home.filePath("runtime"); }
    QString logPath() const { return m_home.filePath("wendlo.log"); }

    // The log's lines without their "[Quor] " prefix.
    QStringList lines() const { return debugLogMessages(logPath()); }

    // Waits for the dictation to end and its last state to be published: idle after the text
    // was inserted, or an error.
    bool finished(int ms = 40000)
    {
        return waitUntil(
            [&] {
                bool inserted = false;
                for (const QString& line : lines()) {
                    inserted = inserted || line == "text inserted";
                    if ((inserted && line == "state=Idle") || line.startsWith("state=Error: "))
                        return true;
                }
                return m_process.state() == QProcess::NotRunning;
            },
            ms);
    }

    QString recordingPath() const
    {
        for (const QString& line : lines()) {
            if (line.startsWith("recording stopped at "))
                return line.mid(QStringLiteral("recording stopped at ").size());
        }
        return {};
    }

    QString diagnostics() const
    {
        QFile err(m_home.filePath("stderr"));
        err.open(QIODevice::ReadOnly);
        return "log:\n" + lines().join('\n') + "\nstderr:\n" + QString::fromUtf8(err.readAll());
    }

private:
    QTemporaryDir m_home;
    QProcess m_process;
};

// The expected lines must appear in this order (others may come between). An entry ending in
// a space is a prefix; any other must match the whole line. Returns the first one missing.
std::optional<QString> firstMissingInOrder(const QStringList& lines, const QStringList& expected)
{
    qsizetype at = 0;
    for (const QString& want : expected) {
        const bool prefix = want.endsWith(' ');
        while (at < lines.size() && !(prefix ? lines[at].startsWith(want) : lines[at] == want))
            ++at;
        if (at == lines.size())
            return want;
        ++at;
    }
    return std::nullopt;
}

struct Wav
{
    int rate = 0;
    int channels = 0;
    int bits = 0;
    QByteArray data;

    double seconds() const { return double(data.size()) / (rate * channels * bits / 8); }

    // Root mean square of 16-bit samples, in dB of full scale.
    double rmsDbfs() const
    {
        const qsizetype count = data.size() / 2;
        if (count == 0)
            return -1000;
        double sum = 0;
        for (qsizetype i = 0; i < count; ++i) {
            const double s = qFromLittleEndian<qint16>(data.constData() + 2 * i) / 32768.0;
            sum += s * s;
        }
        return sum == 0 ? -1000 : 10 * std::log10(sum / double(count));
    }
};

std::optional<Wav> readWav(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return std::nullopt;
    Wav wav;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            wav.channels = qFromLittleEndian<quint16>(bytes.constData() + body + 2);
            wav.rate = int(qFromLittleEndian<quint32>(bytes.constData() + body + 4));
            wav.bits = qFromLittleEndian<quint16>(bytes.constData() + body + 14);
        } else if (id == "data") {
            // A streaming writer may leave a placeholder size: take what is there.
            wav.data = bytes.mid(body, qMin<qsizetype>(size, bytes.size() - body));
            break;
        }
        at = body + size + (size & 1);
    }
    if (wav.rate <= 0 || wav.channels <= 0 || wav.bits != 16)
        return std::nullopt;
    return wav;
}

// Clipboard contents the user had copied before dictating: owned by this test process, which
// serves them to others while it waits (waitUntil runs the event loop).
constexpr char kUserText[] = "the user's own clipboard";
constexpr char kUserFormat[] = "application/x-wendlo-user-data";
const QByteArray kUserBytes = QByteArray("\x00\x01 binary \xff", 11);

void copyUserClipboard()
{
    auto* data = new QMimeData;
    data->setText(QString::fromLatin1(kUserText));
    data->setData(kUserFormat, kUserBytes);
    QGuiApplication::clipboard()->setMimeData(data);
}

bool clipboardHoldsUserContents()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->text() == QLatin1String(kUserText) &&
           data->data(kUserFormat) == kUserBytes;
}

class DictationEndToEnd : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!QFileInfo(kWhisperCli).isExecutable() || !QFileInfo::exists(kModelTool))
            return;
        s_speaking = std::make_unique<Installation>();
        s_speakingApp = s_speaking->make(kModelText);
        s_silent = std::make_unique<Installation>();
        s_silentApp = s_silent->make(QString());
    }

    static void TearDownTestSuite()
    {
        s_speaking.reset();
        s_silent.reset();
    }

    void SetUp() override
    {
        if (!QFileInfo(kWhisperCli).isExecutable())
            GTEST_SKIP() << "whisper-cli not built at " << kWhisperCli.toStdString()
                         << " (run scripts/build-whisper)";
        ASSERT_FALSE(s_speakingApp.isEmpty()) << s_speaking->error.toStdString();
        ASSERT_FALSE(s_silentApp.isEmpty()) << s_silent->error.toStdString();
        copyUserClipboard();
        ASSERT_TRUE(QGuiApplication::clipboard()->ownsClipboard());
    }

    static inline std::unique_ptr<Installation> s_speaking;
    static inline std::unique_ptr<Installation> s_silent;
    static inline QString s_speakingApp;
    static inline QString s_silentApp;
};

TEST_F(DictationEndToEnd, SpokenPhraseLandsInTheFocusedFieldThroughAccessibility)
{
    FieldApp field(FieldApp::Toolkit::Qt, "line", "");
    ASSERT_TRUE(field.started());

    SelfTestRun run(s_speakingApp);
    ASSERT_TRUE(run.finished()) << run.diagnostics().toStdString();

    EXPECT_TRUE(field.waitForText(kInserted))
        << "field holds: " << field.state().text.toStdString() << "\n"
        << run.diagnostics().toStdString();
    const auto missing = firstMissingInOrder(
        run.lines(),
        {"starting self-test", "building self-test prompt audio",
         "requestMicrophoneAndStart state=granted", "microphone trusted=true",
         "recorder.promptForPermission confirmed=true state=granted", "recording started",
         "state=Recording", "playing self-test prompt audio", "recording stopped at ",
         "state=Transcribing", "raw transcript=i think i'm done", "cleaned transcript=" + kInserted,
         "inserted via accessibility value update", "text inserted", "state=Idle"});
    EXPECT_FALSE(missing) << "missing or out of order: " << missing->toStdString() << "\n"
                          << run.diagnostics().toStdString();
    EXPECT_FALSE(run.lines().contains("falling back to clipboard insertion"));
    // The model is read into the page cache once the launch is done.
    EXPECT_FALSE(firstMissingInOrder(run.lines(), {"launch complete", "model prefetch started "}))
        << run.diagnostics().toStdString();

    // The recording holds the spoken phrase: it spans the whole playback, and is speech, not
    // the silence of an idle sound server.
    const QString recording = run.recordingPath();
    EXPECT_TRUE(recording.startsWith(run.runtimeDir() + "/QuorDictation/"))
        << recording.toStdString();
    const auto wav = readWav(recording);
    const auto prompt = readWav(run.runtimeDir() + "/QuorDictation/self-test-prompt.wav");
    ASSERT_TRUE(wav) << "unreadable recording at " << recording.toStdString();
    ASSERT_TRUE(prompt) << "unreadable self-test prompt";
    EXPECT_EQ(wav->rate, 16000);
    EXPECT_EQ(wav->channels, 1);
    EXPECT_GE(wav->seconds(), prompt->seconds() - 0.1);
    EXPECT_LE(wav->seconds(), prompt->seconds() + 3.0);
    EXPECT_GT(wav->rmsDbfs(), -40.0) << "the recording is (nearly) silent";

    // Insertion through accessibility leaves the user's clipboard alone.
    EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard());
    EXPECT_TRUE(clipboardHoldsUserContents());
}

TEST_F(DictationEndToEnd, FieldWithoutEditableTextGetsAPasteAndTheClipboardComesBack)
{
    FieldApp field(FieldApp::Toolkit::Qt, "paste-only", "");
    ASSERT_TRUE(field.started());

    SelfTestRun run(s_speakingApp);
    ASSERT_TRUE(run.finished()) << run.diagnostics().toStdString();

    EXPECT_TRUE(field.waitForText(kInserted))
        << "field holds: " << field.state().text.toStdString() << "\n"
        << run.diagnostics().toStdString();
    const auto missing = firstMissingInOrder(
        run.lines(), {"starting self-test", "recording started", "recording stopped at ",
                      "cleaned transcript=" + kInserted, "falling back to clipboard insertion",
                      "sending the paste chord ctrl+v", "text inserted", "state=Idle"});
    EXPECT_FALSE(missing) << "missing or out of order: " << missing->toStdString() << "\n"
                          << run.diagnostics().toStdString();

    // Restored 0.35 s after the paste, both formats, while the app (now the owner) runs.
    EXPECT_TRUE(waitUntil(clipboardHoldsUserContents, 5000))
        << "clipboard text now: " << QGuiApplication::clipboard()->text().toStdString();
}

TEST_F(DictationEndToEnd, EmptyTranscriptEndsInAnErrorWithNothingInserted)
{
    FieldApp field(FieldApp::Toolkit::Qt, "line", "before");
    ASSERT_TRUE(field.started());

    SelfTestRun run(s_silentApp);
    ASSERT_TRUE(run.finished()) << run.diagnostics().toStdString();

    const auto missing = firstMissingInOrder(
        run.lines(),
        {"starting self-test", "recording started", "recording stopped at ", "state=Transcribing",
         "raw transcript=", "error=Transcript was empty", "state=Error: Transcript was empty"});
    EXPECT_FALSE(missing) << "missing or out of order: " << missing->toStdString() << "\n"
                          << run.diagnostics().toStdString();
    // Matched as whole lines: nothing was cleaned, inserted or pasted.
    const QStringList lines = run.lines();
    for (const char* absent : {"text inserted", "falling back to clipboard insertion",
                               "inserted via accessibility value update"})
        EXPECT_FALSE(lines.contains(QLatin1String(absent))) << absent;
    spinFor(500);
    EXPECT_EQ(field.state().text, "before");
    EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard());
    EXPECT_TRUE(clipboardHoldsUserContents());
}

} // namespace
