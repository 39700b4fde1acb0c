#include "dictation/DictationCoordinator.h"

#include "common/PrivateTempDir.h"
#include "dictation/WhisperCLITranscriber.h"
#include "fakes/FakeDictationBackends.h"
#include "fakes/GatedTranscriber.h"
#include "support/ProcessAlive.h"
#include "support/QtPrinters.h"
#include "support/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

void PrintTo(const DictationState& state, std::ostream* os)
{
    *os << state.label().toStdString();
}

namespace {

using Kind = DictationState::Kind;

// Lets a test act when the recorder asks for its n-th recording (probes included).
class HookedAudioCapture : public FakeAudioCapture
{
public:
    Result<std::unique_ptr<AudioRecording>> makeRecording(const QString& path) override
    {
        if (onMake)
            onMake(int(madePaths.size()) + 1);
        return FakeAudioCapture::makeRecording(path);
    }
    std::function<void(int n)> onMake;
};

// Lines the coordinator itself writes; collaborators' lines are left out.
const QStringList coordinatorLinePrefixes = {"requestMicrophoneAndStart",
                                             "microphone trusted",
                                             "recorder.promptForPermission",
                                             "recording start",
                                             "recording stopped at",
                                             "raw transcript=",
                                             "cleaned transcript=",
                                             "text inserted",
                                             "error=",
                                             "accessibility trusted=",
                                             "requesting microphone access",
                                             "sound server record permission",
                                             "hot key registration failed",
                                             "transcription"};

struct Harness
{
    explicit Harness(bool holdTranscriptions = false, TranscriptionTimeLimit timeLimit = {})
    {
        QFile::remove(logPath());
        DictationBackends b = fakes.make();
        b.keepRecordings = false;
        b.transcriptionTimeLimit = timeLimit;
        auto capture = std::make_unique<HookedAudioCapture>();
        audio = capture.get();
        fakes.audioCapture = capture.get();
        b.audioCapture = std::move(capture);
        gate = std::make_shared<GatedTranscriber>(fakes.transcriber);
        b.transcriber = gate;
        coordinator = std::make_unique<DictationCoordinator>(std::move(b));
        coordinator->onStateChange = [this](const DictationState& s) { published << s; };
        if (!holdTranscriptions)
            gate->open();
    }
    ~Harness()
    {
        gate->open();
        coordinator.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    static QString logPath() { return qEnvironmentVariable("QUOR_DEBUG_LOG"); }
    static QStringList coordinatorLog()
    {
        QFile file(logPath());
        QStringList lines;
        if (!file.open(QIODevice::ReadOnly))
            return lines;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            const QString message = line.mid(7);
            for (const QString& prefix : coordinatorLinePrefixes) {
                if (message.startsWith(prefix)) {
                    lines << message;
                    break;
                }
            }
        }
        return lines;
    }

    DictationState state() const { return coordinator->state(); }
    void press()
    {
        sincePress.start();
        fakes.hotKey->press();
    }
    // A release after a real hold; `tap()` lets go at once.
    void release()
    {
        const qint64 left = sincePress.isValid()
                                ? DictationCoordinator::minimumHoldMs + 10 - sincePress.elapsed()
                                : 0;
        if (left > 0) // a negative wait would be no bound at all
            spinFor(int(left));
        fakes.hotKey->release();
    }
    void tap() { fakes.hotKey->release(); }
    void toggle() { coordinator->toggle(); }
    bool waitFor(Kind kind, int ms = 3000)
    {
        return waitUntil([&] { return state().kind == kind; }, ms);
    }
    void startRecording()
    {
        press();
        ASSERT_TRUE(waitFor(Kind::Recording));
    }
    QString fieldText() const { return fakes.accessibility->field->value.value_or(QString()); }
    void forget()
    {
        published.clear();
        fakes.presence->events.clear();
        fakes.presence->beeps = 0;
        fakes.presence->alerts.clear();
    }

    FakeDictationBackends fakes;
    HookedAudioCapture* audio = nullptr;
    // Transcriptions wait here until opened, so `transcribing` can be observed.
    std::shared_ptr<GatedTranscriber> gate;
    std::unique_ptr<DictationCoordinator> coordinator;
    QList<DictationState> published;
    QElapsedTimer sincePress;
};

// Recordings the fake capture left in the private folder.
QStringList recordingFiles()
{
    static const QRegularExpression uuidWav("^[0-9A-F-]{36}\\.wav$");
    return QDir(PrivateTempDir::folderPath("QuorDictation")).entryList(QDir::Files).filter(uuidWav);
}

const QString enableMicrophone = QStringLiteral("Enable Microphone for Wendlo");

TEST(DictationCoordinator, StartPublishesIdleThenRegistersTheHotKey)
{
    Harness h;
    EXPECT_EQ(h.fakes.hotKey->registerCalls, 0) << "construction calls no platform service";
    h.coordinator->onStateChange = [&](const DictationState& s) {
        h.published << s;
        EXPECT_EQ(h.fakes.hotKey->registerCalls, 0) << "idle is published before registering";
    };
    h.coordinator->start();
    EXPECT_EQ(h.published, QList{DictationState::idle()});
    EXPECT_EQ(h.fakes.hotKey->registerCalls, 1);
    EXPECT_TRUE(h.coordinatorLog().isEmpty());
}

TEST(DictationCoordinator, HotKeyRefusedEndsInErrorNamingTheReason)
{
    Harness h;
    h.fakes.hotKey->failure = QStringLiteral("another program holds it");
    h.coordinator->start();
    const auto error = DictationState::error(
        QStringLiteral("Super + D could not be registered: another program holds it. Choose "
                       "another hot key in Settings\u2026 (tray menu, or wendlo --settings)."));
    EXPECT_EQ(h.published, (QList{DictationState::idle(), error}));
    EXPECT_EQ(h.fakes.presence->beeps, 1);
    EXPECT_EQ(h.coordinatorLog(), (QStringList{"hot key registration failed: " + error.message,
                                               "error=" + error.message}));
    EXPECT_EQ(h.coordinator->hotKeyProblem(), error.message);

    // The menu's toggle still works.
    h.forget();
    h.toggle();
    ASSERT_TRUE(h.waitFor(Kind::Recording));
    EXPECT_EQ(h.published, (QList{DictationState::idle(), DictationState::recording()}));
}

TEST(DictationCoordinator, AWorkingNewHotKeyEndsTheRegistrationError)
{
    Harness h;
    h.fakes.hotKey->refused << HotKey::standard().combination();
    h.coordinator->start();
    ASSERT_TRUE(h.coordinator->state().isError());
    h.forget();

    const HotKey taken = HotKey::parse(QStringLiteral("Ctrl+Alt+T")).value();
    h.fakes.hotKey->refused << taken.combination();
    EXPECT_TRUE(h.coordinator->changeHotKey(taken));
    EXPECT_TRUE(h.coordinator->state().isError());

    const HotKey key = HotKey::parse(QStringLiteral("Ctrl+Alt+Space")).value();
    EXPECT_FALSE(h.coordinator->changeHotKey(key));
    EXPECT_EQ(h.coordinator->hotKey(), key);
    EXPECT_FALSE(h.coordinator->hotKeyProblem());
    EXPECT_EQ(h.published, QList{DictationState::idle()});
}

// A desktop that answers later: its refusal is the error state when nothing is under way, and
// waits in hotKeyProblem() while a dictation runs.
TEST(DictationCoordinator, ALaterHotKeyRefusalIsTheErrorOnlyWhenIdle)
{
    Harness h;
    int changes = 0;
    h.coordinator->onHotKeyStatusChange = [&] { ++changes; };
    h.coordinator->start();
    h.forget();
    ASSERT_TRUE(h.fakes.hotKey->refuseLater(HotKey::standard().combination(), "refused"));
    const QString problem = "Super + D could not be registered: refused. Choose another hot key "
                            "in Settings\u2026 (tray menu, or wendlo --settings).";
    EXPECT_EQ(h.published, QList{DictationState::error(problem)});
    EXPECT_EQ(changes, 1);

    const HotKey f9 = HotKey::parse(QStringLiteral("F9")).value();
    ASSERT_FALSE(h.coordinator->changeHotKey(f9));
    EXPECT_TRUE(h.state().isIdle());
    h.startRecording();
    h.forget();
    ASSERT_TRUE(h.fakes.hotKey->refuseLater(f9.combination(), "refused"));
    EXPECT_TRUE(h.published.isEmpty());
    EXPECT_TRUE(h.state().isRecording());
    EXPECT_TRUE(h.coordinator->hotKeyProblem());
    EXPECT_EQ(changes, 2);
}

// A grab lost and won back (a keyboard mapping change): the error it left ends, but not an
// error of something else that came after it.
TEST(DictationCoordinator, AHotKeyThatWorksAgainEndsItsOwnErrorOnly)
{
    Harness h;
    h.coordinator->start();
    const QKeyCombination superD = HotKey::standard().combination();
    ASSERT_TRUE(h.fakes.hotKey->refuseLater(superD, "another program already uses it"));
    ASSERT_TRUE(h.state().isError());
    h.forget();
    ASSERT_TRUE(h.fakes.hotKey->recover(superD));
    EXPECT_EQ(h.published, QList{DictationState::idle()});
    EXPECT_FALSE(h.coordinator->hotKeyProblem());

    ASSERT_TRUE(h.fakes.hotKey->refuseLater(superD, "another program already uses it"));
    h.coordinator->setError("Something else");
    h.forget();
    ASSERT_TRUE(h.fakes.hotKey->recover(superD));
    EXPECT_TRUE(h.published.isEmpty());
    EXPECT_EQ(h.state().message, "Something else");
}

TEST(DictationCoordinator, SuccessfulDictationLogsAndPublishesInOrder)
{
    Harness h;
    h.coordinator->start();
    h.press();
    ASSERT_TRUE(h.waitFor(Kind::Recording));
    h.release();
    ASSERT_TRUE(waitUntil([&] { return h.published.size() == 5; }));
    spinFor(20);

    EXPECT_EQ(h.published,
              (QList{DictationState::idle(), DictationState::idle(), DictationState::recording(),
                     DictationState::transcribing(), DictationState::idle()}));
    ASSERT_EQ(h.audio->madePaths.size(), 1) << "the probe's capture is the recording";
    const QString path = h.audio->madePaths.at(0);
    EXPECT_EQ(h.coordinatorLog(),
              (QStringList{"requestMicrophoneAndStart state=granted", "microphone trusted=true",
                           "recorder.promptForPermission confirmed=true state=granted",
                           "recording started", "recording stopped at " + path,
                           "raw transcript=hello world", "cleaned transcript=Hello world.",
                           "text inserted"}));
    EXPECT_EQ(h.fieldText(), QStringLiteral("Hello world."));
    EXPECT_EQ(h.fakes.presence->beeps, 0);
}

// Which states to reach, which input to give, and what must follow.
enum class Input
{
    Press,
    Release,
    Toggle
};
enum class Outcome
{
    StartSequence,
    StopAndTranscribe,
    Beep,
    Nothing
};

struct InputCase
{
    Kind state;
    Input input;
    Outcome outcome;
};

void PrintTo(const InputCase& c, std::ostream* os)
{
    *os << int(c.state) << "/" << int(c.input);
}

std::string inputCaseName(const InputCase& c)
{
    const char* states[] = {"Idle", "Recording", "Transcribing", "Error"};
    const char* inputs[] = {"Press", "Release", "Toggle"};
    return std::string(states[int(c.state)]) + inputs[int(c.input)];
}

class DictationCoordinatorInput : public ::testing::TestWithParam<InputCase>
{
};

TEST_P(DictationCoordinatorInput, DoesWhatTheStateSays)
{
    const InputCase c = GetParam();
    Harness h(/*holdTranscriptions=*/c.state == Kind::Transcribing);
    h.coordinator->start();
    switch (c.state) {
    case Kind::Idle:
        break;
    case Kind::Recording:
        h.startRecording();
        break;
    case Kind::Transcribing:
        h.startRecording();
        h.release();
        ASSERT_TRUE(h.waitFor(Kind::Transcribing));
        break;
    case Kind::Error:
        h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
        h.coordinator->requestMicrophoneAccess(true, true, {});
        h.fakes.recordPermission->current = MicrophonePermissionState::Granted;
        ASSERT_TRUE(h.waitFor(Kind::Error)); // once the alert is answered
        break;
    }
    const DictationState before = h.state();
    const qsizetype transcriptionsBefore = h.coordinatorLog().filter("raw transcript=").size();
    h.forget();

    switch (c.input) {
    case Input::Press:
        h.press();
        break;
    case Input::Release:
        h.release();
        break;
    case Input::Toggle:
        h.toggle();
        break;
    }

    switch (c.outcome) {
    case Outcome::StartSequence:
        ASSERT_TRUE(h.waitFor(Kind::Recording));
        EXPECT_EQ(h.published, (QList{DictationState::idle(), DictationState::recording()}));
        break;
    case Outcome::StopAndTranscribe:
        ASSERT_TRUE(waitUntil([&] { return h.published.size() == 2; }));
        EXPECT_EQ(h.published, (QList{DictationState::transcribing(), DictationState::idle()}));
        EXPECT_EQ(h.coordinatorLog().filter("raw transcript=").size(), transcriptionsBefore + 1);
        break;
    case Outcome::Beep:
        ASSERT_TRUE(waitUntil([&] { return h.fakes.presence->beeps == 1; }));
        spinFor(50);
        EXPECT_TRUE(h.published.isEmpty());
        EXPECT_EQ(h.state(), before);
        break;
    case Outcome::Nothing:
        spinFor(100);
        EXPECT_TRUE(h.published.isEmpty());
        EXPECT_EQ(h.fakes.presence->beeps, 0);
        EXPECT_EQ(h.state(), before);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    StateTable, DictationCoordinatorInput,
    ::testing::Values(InputCase{Kind::Idle, Input::Press, Outcome::StartSequence},
                      InputCase{Kind::Idle, Input::Release, Outcome::Nothing},
                      InputCase{Kind::Idle, Input::Toggle, Outcome::StartSequence},
                      InputCase{Kind::Recording, Input::Press, Outcome::Nothing},
                      InputCase{Kind::Recording, Input::Release, Outcome::StopAndTranscribe},
                      InputCase{Kind::Recording, Input::Toggle, Outcome::StopAndTranscribe},
                      InputCase{Kind::Transcribing, Input::Press, Outcome::Beep},
                      InputCase{Kind::Transcribing, Input::Release, Outcome::Nothing},
                      InputCase{Kind::Transcribing, Input::Toggle, Outcome::Beep},
                      // From error the first state published is idle, then recording.
                      InputCase{Kind::Error, Input::Press, Outcome::StartSequence},
                      InputCase{Kind::Error, Input::Release, Outcome::Nothing},
                      InputCase{Kind::Error, Input::Toggle, Outcome::StartSequence}),
    [](const auto& info) { return inputCaseName(info.param); });

struct FailureCase
{
    const char* name;
    std::function<void(Harness&)> provoke;
    QString message;
    bool alertFirst;
    std::function<void(const Harness&)> also = {};
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class DictationCoordinatorFailure : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(DictationCoordinatorFailure, EndsInErrorWithItsMessage)
{
    const FailureCase& c = GetParam();
    Harness h;
    h.coordinator->start();
    h.forget();
    c.provoke(h);
    ASSERT_TRUE(waitUntil([&] { return h.state().isError(); }));
    spinFor(20);

    EXPECT_EQ(h.state(), DictationState::error(c.message));
    ASSERT_FALSE(h.published.isEmpty());
    EXPECT_EQ(h.published.last(), DictationState::error(c.message));
    EXPECT_EQ(h.coordinatorLog().last(), "error=" + c.message);
    EXPECT_EQ(h.fakes.presence->beeps, 1);
    EXPECT_EQ(h.fakes.presence->alerts.size(), c.alertFirst ? 1 : 0);
    EXPECT_EQ(h.fakes.presence->events.last(), QStringLiteral("beep"));
    if (c.also)
        c.also(h);
}

INSTANTIATE_TEST_SUITE_P(
    FailureTable, DictationCoordinatorFailure,
    ::testing::Values(
        FailureCase{"permissionDenied",
                    [](Harness& h) {
                        h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
                        h.press();
                    },
                    enableMicrophone, true},
        FailureCase{"promptRefused",
                    [](Harness& h) {
                        h.fakes.recordPermission->current = MicrophonePermissionState::Undetermined;
                        h.press();
                        ASSERT_TRUE(waitUntil(
                            [&] { return !h.fakes.recordPermission->pending.isEmpty(); }));
                        h.fakes.recordPermission->answer(false);
                    },
                    enableMicrophone, true},
        FailureCase{"probeNotConfirmed",
                    [](Harness& h) {
                        h.audio->onMake = [&h](int) {
                            h.audio->next.firstSamples = FakeAudioRecording::FirstSamples::Fail;
                            h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
                        };
                        h.press();
                    },
                    enableMicrophone, true},
        // The capture ends before its first samples while the permission reads granted.
        FailureCase{"startFailedThenProbeNotConfirmed",
                    [](Harness& h) {
                        h.audio->next.firstSamples = FakeAudioRecording::FirstSamples::Fail;
                        h.audio->onMake = [&h](int n) {
                            if (n == 2)
                                h.fakes.recordPermission->current =
                                    MicrophonePermissionState::Denied;
                        };
                        h.press();
                    },
                    enableMicrophone, false,
                    [](const Harness& h) {
                        EXPECT_EQ(h.coordinatorLog().filter("retrying after recorder probe").size(),
                                  1);
                    }},
        FailureCase{"startFailedAgainWithThePermissionGranted",
                    [](Harness& h) {
                        h.audio->next.firstSamples = FakeAudioRecording::FirstSamples::Fail;
                        h.press();
                    },
                    QStringLiteral("Could not start recording"), false,
                    [](const Harness& h) {
                        EXPECT_EQ(h.coordinatorLog().filter("retrying after recorder probe").size(),
                                  1);
                        EXPECT_EQ(h.audio->madePaths.size(), 2) << "probe, retry probe";
                        EXPECT_EQ(h.audio->openCount(), 0);
                    }},
        FailureCase{"stopFailed", [](Harness& h) { h.coordinator->stopAndTranscribe(); },
                    QStringLiteral("Recording was not active"), false},
        FailureCase{"transcriptionFailed",
                    [](Harness& h) {
                        h.fakes.transcriber->setAnswer(QuorError{"whisper-cli exited with 3"});
                        h.startRecording();
                        h.release();
                    },
                    QStringLiteral("whisper-cli exited with 3"), false},
        FailureCase{"cleanedTranscriptEmpty",
                    [](Harness& h) {
                        h.fakes.transcriber->setAnswer(QStringLiteral(" \n\t "));
                        h.startRecording();
                        h.release();
                    },
                    QStringLiteral("Transcript was empty"), false,
                    [](const Harness& h) {
                        EXPECT_EQ(h.fakes.accessibility->field->valueWrites, 0);
                        EXPECT_TRUE(h.fakes.clipboard->items(Selection::Clipboard).isEmpty());
                    }},
        FailureCase{"insertionFailed",
                    [](Harness& h) {
                        h.fakes.accessibility->trusted = false;
                        h.startRecording();
                        h.release();
                    },
                    QStringLiteral("Accessibility access is required for text insertion"), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DictationCoordinator, PermissionAlertTextsAndOpenSettings)
{
    for (const std::optional<int> button : {std::optional<int>(0), std::optional<int>(1),
                                            std::optional<int>()}) {
        SCOPED_TRACE(button.value_or(-1));
        Harness h;
        h.coordinator->start();
        h.fakes.presence->holdAnswers = true;
        h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
        h.coordinator->requestMicrophoneAccess(true, true, {});

        ASSERT_EQ(h.fakes.presence->alerts.size(), 1);
        EXPECT_EQ(h.fakes.presence->alerts.first(),
                  (QStringList{"Microphone Permission Needed",
                               "Enable Microphone for Wendlo so it can record your speech.",
                               "Open Settings|Cancel"}));
        // The error follows the answer, as after a blocking alert.
        spinFor(20);
        EXPECT_EQ(h.fakes.presence->events, (QStringList{"activate", "alert"}));
        EXPECT_EQ(h.state(), DictationState::idle());

        h.fakes.presence->answer(button);
        EXPECT_EQ(h.fakes.presence->events, (QStringList{"activate", "alert", "beep"}));
        EXPECT_EQ(h.fakes.settingsLinks->opened,
                  button == 0 ? QStringList{"Privacy_Microphone"} : QStringList{});
        EXPECT_EQ(h.state(), DictationState::error(enableMicrophone));
    }
}

TEST(DictationCoordinator, LateAlertAnswerLeavesADictationStartedMeanwhile)
{
    Harness h;
    h.coordinator->start();
    h.fakes.presence->holdAnswers = true;
    h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
    h.press();
    ASSERT_TRUE(waitUntil([&] { return !h.fakes.presence->pending.isEmpty(); }));
    h.tap();
    // Granted in the system settings while the alert is still open; the next hold records.
    h.fakes.recordPermission->current = MicrophonePermissionState::Granted;
    h.startRecording();
    h.forget();

    h.fakes.presence->answer(1);
    spinFor(20);
    EXPECT_TRUE(h.state().isRecording());
    EXPECT_TRUE(h.published.isEmpty());
    EXPECT_EQ(h.coordinatorLog().last(), "error=" + enableMicrophone);
    h.release();
    EXPECT_TRUE(h.waitFor(Kind::Idle));
    EXPECT_EQ(h.fieldText(), "Hello world.");
}

TEST(DictationCoordinator, WithoutAlertTheDeniedPathOpensSettingsDirectly)
{
    Harness h;
    h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
    h.coordinator->requestMicrophoneAccess(false, true, {});
    EXPECT_TRUE(h.fakes.presence->alerts.isEmpty());
    EXPECT_EQ(h.fakes.settingsLinks->opened, QStringList{"Privacy_Microphone"});
    EXPECT_EQ(h.state(), DictationState::error(enableMicrophone));
}

TEST(DictationCoordinator, PromptAnsweredOnAnotherThreadStartsRecording)
{
    Harness h;
    h.coordinator->start();
    h.forget();
    h.fakes.recordPermission->current = MicrophonePermissionState::Undetermined;
    h.press();
    ASSERT_TRUE(waitUntil([&] { return !h.fakes.recordPermission->pending.isEmpty(); }));
    EXPECT_EQ(h.fakes.presence->activations, 1);
    std::thread([&] { h.fakes.recordPermission->answer(true); }).join();

    ASSERT_TRUE(h.waitFor(Kind::Recording));
    EXPECT_EQ(h.published, (QList{DictationState::idle(), DictationState::recording()}));
    EXPECT_EQ(h.coordinatorLog(),
              (QStringList{"requestMicrophoneAndStart state=undetermined",
                           "requesting microphone access from the sound server",
                           "sound server record permission granted=true",
                           "recorder.promptForPermission confirmed=true state=granted",
                           "recording started"}));
}

// Releases while the capture has not delivered yet, and taps: what is published, whether
// anything is transcribed, and that no capture stays open.
struct EarlyReleaseCase
{
    const char* name;
    bool samplesBeforeRelease; // the recording had begun when the key went up
    bool tap;                  // shorter than the minimum hold
    QList<DictationState> published;
    bool transcribed;
};

void PrintTo(const EarlyReleaseCase& c, std::ostream* os)
{
    *os << c.name;
}

class DictationCoordinatorEarlyRelease : public ::testing::TestWithParam<EarlyReleaseCase>
{
};

TEST_P(DictationCoordinatorEarlyRelease, EndsAsAUserExpects)
{
    const EarlyReleaseCase& c = GetParam();
    Harness h;
    h.coordinator->start();
    h.forget();
    h.audio->next.firstSamples = FakeAudioRecording::FirstSamples::Never;
    h.press();
    ASSERT_TRUE(waitUntil([&] { return h.audio->log->waitingForSamples.size() == 1; }));
    const QString path = h.audio->madePaths.first();
    if (c.samplesBeforeRelease) {
        ASSERT_TRUE(h.audio->deliver(path, true));
        ASSERT_TRUE(h.waitFor(Kind::Recording));
    }
    c.tap ? h.tap() : h.release();
    spinFor(50);
    if (!c.samplesBeforeRelease)
        h.audio->deliver(path, true); // too late for a tap: the capture is gone
    ASSERT_TRUE(waitUntil([&] { return h.published.size() == c.published.size(); }));
    spinFor(100);

    EXPECT_EQ(h.published, c.published);
    EXPECT_EQ(h.state(), DictationState::idle());
    EXPECT_EQ(h.fieldText(), c.transcribed ? QStringLiteral("Hello world.") : QString());
    EXPECT_EQ(h.fakes.transcriber->calls().size(), c.transcribed ? 1 : 0);
    EXPECT_EQ(h.fakes.presence->beeps, 0);
    EXPECT_EQ(h.audio->openCount(), 0) << "no capture left open";
    EXPECT_TRUE(recordingFiles().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Releases, DictationCoordinatorEarlyRelease,
    ::testing::Values(EarlyReleaseCase{"TapBeforeTheRecordingBegan", false, true, {}, false},
                      EarlyReleaseCase{"TapAfterTheRecordingBegan",
                                       true,
                                       true,
                                       {DictationState::idle(), DictationState::recording(),
                                        DictationState::idle()},
                                       false},
                      // The recording ends as soon as it has begun and is transcribed.
                      EarlyReleaseCase{"HoldReleasedBeforeTheRecordingBegan",
                                       false,
                                       false,
                                       {DictationState::idle(), DictationState::recording(),
                                        DictationState::transcribing(), DictationState::idle()},
                                       true}),
    [](const auto& info) { return std::string(info.param.name); });

// The capture's first samples come only after a real hold ended: what the recording holds
// decides whether there is anything to transcribe.
struct LateMicrophoneCase
{
    const char* name;
    qint64 recordedMs;
    bool transcribed;
};

class DictationCoordinatorLateMicrophone : public ::testing::TestWithParam<LateMicrophoneCase>
{
};

TEST_P(DictationCoordinatorLateMicrophone, SaysSoWhenTheHoldWasNotHeard)
{
    const LateMicrophoneCase& c = GetParam();
    Harness h;
    h.coordinator->start();
    h.forget();
    h.audio->next.firstSamples = FakeAudioRecording::FirstSamples::Never;
    h.audio->next.recordedMs = c.recordedMs;
    h.press();
    ASSERT_TRUE(waitUntil([&] { return h.audio->log->waitingForSamples.size() == 1; }));
    h.release();
    spinFor(20);
    ASSERT_TRUE(h.audio->deliver(h.audio->madePaths.first(), true));
    ASSERT_TRUE(waitUntil([&] { return h.published.size() == (c.transcribed ? 4 : 3); }));
    spinFor(100);

    EXPECT_EQ(h.fakes.transcriber->calls().size(), c.transcribed ? 1 : 0);
    EXPECT_EQ(h.fieldText(), c.transcribed ? QStringLiteral("Hello world.") : QString());
    if (c.transcribed) {
        EXPECT_EQ(h.state(), DictationState::idle());
    } else {
        EXPECT_TRUE(h.state().isError());
        EXPECT_TRUE(h.state().message.contains(
            " s after the key went down, too late to record what you said."))
            << h.state().message.toStdString();
        EXPECT_EQ(h.fakes.presence->beeps, 1);
    }
    EXPECT_EQ(h.audio->openCount(), 0);
    EXPECT_TRUE(recordingFiles().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Releases, DictationCoordinatorLateMicrophone,
    ::testing::Values(LateMicrophoneCase{"OnlySamplesAfterTheRelease", 20, false},
                      // A server that hands over everything since the press in its first
                      // delivery lost nothing.
                      LateMicrophoneCase{"TheWholeHoldInTheFirstDelivery", 330, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DictationCoordinator, TwoPressesBeforeTheRecordingBeganShareOneCapture)
{
    Harness h;
    h.coordinator->start();
    h.forget();
    h.audio->next.firstSamples = FakeAudioRecording::FirstSamples::Never;
    h.press();
    spinFor(20);
    h.toggle(); // still idle: a second start sequence
    spinFor(20);
    ASSERT_EQ(h.audio->madePaths.size(), 1);
    ASSERT_TRUE(h.audio->deliver(h.audio->madePaths.first(), true));
    ASSERT_TRUE(h.waitFor(Kind::Recording));
    spinFor(100);
    EXPECT_EQ(h.published,
              (QList{DictationState::idle(), DictationState::idle(), DictationState::recording()}));
    EXPECT_EQ(h.coordinatorLog().filter("recording started").size(), 1);
    EXPECT_EQ(h.audio->openCount(), 1);

    spinFor(int(DictationCoordinator::minimumHoldMs)); // the hold counts from the later start
    h.release();
    ASSERT_TRUE(h.waitFor(Kind::Idle));
    EXPECT_EQ(h.fieldText(), QStringLiteral("Hello world."));
}

TEST(DictationCoordinator, APressWhileATapSettlesLeavesOneCapture)
{
    Harness h;
    h.coordinator->start();
    h.forget();
    h.audio->next.firstSamples = FakeAudioRecording::FirstSamples::Never;
    h.press();
    spinFor(20);
    h.tap();
    spinFor(20);
    h.press();
    ASSERT_TRUE(waitUntil([&] { return h.audio->madePaths.size() == 2; }));
    EXPECT_FALSE(h.audio->deliver(h.audio->madePaths.first(), true)) << "the tap's capture closed";
    ASSERT_TRUE(h.audio->deliver(h.audio->madePaths.last(), true));
    ASSERT_TRUE(h.waitFor(Kind::Recording));
    EXPECT_EQ(h.audio->openCount(), 1);
    h.release();
    ASSERT_TRUE(h.waitFor(Kind::Idle));
    EXPECT_EQ(h.fieldText(), QStringLiteral("Hello world."));
    EXPECT_EQ(h.audio->openCount(), 0);
}

// Recordings go once their transcription has ended, whatever its outcome, unless kept for
// the debug log; leftovers of an earlier run go at start.
TEST(DictationCoordinator, RecordingsAreDeletedAfterTranscriptionUnlessKept)
{
    for (const bool keep : {false, true}) {
        for (const bool succeeds : {true, false}) {
            SCOPED_TRACE(std::string(keep ? "kept " : "") + (succeeds ? "success" : "failure"));
            for (const QString& name : recordingFiles())
                QFile::remove(PrivateTempDir::folderPath("QuorDictation") + "/" + name);
            const QString leftover = PrivateTempDir::ensureFolder("QuorDictation").value() +
                                     "/0A1B2C3D-0000-4000-8000-00000000000F.wav";
            QFile(leftover).open(QIODevice::WriteOnly);

            Harness h;
            h.coordinator.reset();
            DictationBackends b = h.fakes.make();
            b.keepRecordings = keep;
            auto capture = std::make_unique<HookedAudioCapture>();
            h.audio = capture.get();
            b.audioCapture = std::move(capture);
            if (!succeeds)
                h.fakes.transcriber->setAnswer(QuorError{"whisper-cli exited with 3"});
            h.coordinator = std::make_unique<DictationCoordinator>(std::move(b));
            h.coordinator->start();
            EXPECT_EQ(QFile::exists(leftover), keep);

            h.startRecording();
            h.release();
            ASSERT_TRUE(waitUntil([&] { return h.state().isIdle() || h.state().isError(); }));
            EXPECT_EQ(h.state().isIdle(), succeeds);
            spinFor(50);
            EXPECT_EQ(recordingFiles().size(), keep ? 2 : 0);
        }
    }
}

TEST(DictationCoordinator, MicrophoneRequestWithoutActionClearsErrorWithoutRecording)
{
    Harness h;
    h.coordinator->start();
    h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
    h.coordinator->requestMicrophoneAccess(true, true, {});
    ASSERT_TRUE(h.waitFor(Kind::Error));

    h.fakes.recordPermission->current = MicrophonePermissionState::Granted;
    h.forget();
    h.coordinator->requestMicrophoneAccess(true, true, {});
    ASSERT_TRUE(h.waitFor(Kind::Idle));
    spinFor(50);
    EXPECT_EQ(h.published, QList{DictationState::idle()});
    EXPECT_EQ(h.audio->madePaths.size(), 1) << "only the probe";
    EXPECT_EQ(h.audio->openCount(), 0) << "which ended with its answer";
    EXPECT_TRUE(h.coordinatorLog().filter("recording started").isEmpty());
}

TEST(DictationCoordinator, ConfirmedProbeAndTrustedAccessibilityWriteIdleWhateverTheState)
{
    Harness h;
    h.coordinator->start();
    h.startRecording();
    h.forget();
    h.coordinator->requestAccessibilityPermission();
    EXPECT_EQ(h.published, QList{DictationState::idle()});
    EXPECT_EQ(h.fakes.accessibilityTrust->prompts, 1);
    EXPECT_EQ(h.coordinatorLog().last(), "accessibility trusted=true");

    h.startRecording();
    h.forget();
    h.coordinator->requestMicrophoneAccess(true, true, {});
    ASSERT_TRUE(h.waitFor(Kind::Idle));
    EXPECT_EQ(h.published, QList{DictationState::idle()});

    h.forget();
    h.fakes.accessibilityTrust->trusted = false;
    h.coordinator->requestAccessibilityPermission();
    EXPECT_TRUE(h.published.isEmpty());
    EXPECT_EQ(h.coordinatorLog().last(), "accessibility trusted=false");
}

TEST(DictationCoordinator, DestroyedWithWorkPendingDoesNothing)
{
    const std::function<void(Harness&)> pendingWork[] = {
        [](Harness& h) { h.press(); },                                    // the press task
        [](Harness& h) { h.press(), spinFor(50); },                       // the probe's report
        [](Harness& h) { h.startRecording(), h.release(); },              // the transcription task
        [](Harness& h) { h.startRecording(), h.release(), spinFor(50); }, // a running transcription
    };
    for (const auto& leave : pendingWork) {
        Harness h(/*holdTranscriptions=*/true);
        h.coordinator->start();
        leave(h);
        const QStringList logBefore = h.coordinatorLog();
        const std::shared_ptr<FakeTextField> field = h.fakes.accessibility->field;
        h.coordinator.reset();
        h.gate->open();
        QThreadPool::globalInstance()->waitForDone();
        spinFor(600);
        EXPECT_EQ(h.coordinatorLog(), logBefore);
        EXPECT_EQ(field->value, QString());
    }
}

TEST(DictationCoordinator, LateTranscriptionDoesNotEndANewerRecording)
{
    Harness h(/*holdTranscriptions=*/true);
    h.coordinator->start();
    h.startRecording();
    h.release();
    ASSERT_TRUE(h.waitFor(Kind::Transcribing));
    // A confirmed microphone request frees the pipeline and a new dictation starts.
    h.coordinator->requestMicrophoneAccess(true, true, {});
    ASSERT_TRUE(h.waitFor(Kind::Idle));
    h.startRecording();

    h.gate->open();
    ASSERT_TRUE(waitUntil([&] { return h.fieldText() == QStringLiteral("Hello world."); }));
    spinFor(50);
    EXPECT_TRUE(h.state().isRecording());

    h.release();
    ASSERT_TRUE(waitUntil([&] { return h.state().isIdle() && h.fieldText().size() > 12; }));
    EXPECT_EQ(h.fieldText(), QStringLiteral("Hello world. Hello world."));
}

TEST(DictationCoordinator, TranscriptionEndingWhileTheHotKeyIsHeldAgainIsPastedOnItsRelease)
{
    Harness h(/*holdTranscriptions=*/true);
    h.coordinator->start();
    h.fakes.accessibility->field.reset(); // a field reached only by paste
    QStringList pasted;
    h.fakes.pasteKeys->onPaste = [&] {
        pasted << plainText(h.fakes.clipboard->items(Selection::Clipboard)).value_or("?");
        h.fakes.clipboard->targetReads();
    };
    h.startRecording();
    h.release();
    ASSERT_TRUE(h.waitFor(Kind::Transcribing));

    h.press(); // held: its grab takes every key, a chord now would reach nobody
    spinFor(20);
    h.gate->open();
    ASSERT_TRUE(waitUntil([&] {
        return h.coordinatorLog().contains(QStringLiteral("cleaned transcript=Hello world."));
    }));
    spinFor(100);
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_TRUE(h.state().isTranscribing());

    h.release();
    ASSERT_TRUE(h.waitFor(Kind::Idle));
    EXPECT_EQ(pasted, QStringList{"Hello world."});
    EXPECT_EQ(h.coordinatorLog().last(), "text inserted");
}

TEST(DictationCoordinator, CancelStopsTheTranscriptionAndReturnsToIdle)
{
    Harness h(/*holdTranscriptions=*/true);
    h.coordinator->start();
    h.startRecording();
    h.release();
    ASSERT_TRUE(h.waitFor(Kind::Transcribing));
    // The press keeps beeping while transcribing; the menu's cancel is the way out.
    h.forget();
    h.press();
    ASSERT_TRUE(waitUntil([&] { return h.fakes.presence->beeps == 1; }));

    h.coordinator->cancelTranscription();

    EXPECT_EQ(h.state(), DictationState::idle());
    EXPECT_EQ(h.published, QList<DictationState>{DictationState::idle()});
    EXPECT_EQ(h.fakes.presence->beeps, 1);
    EXPECT_EQ(h.coordinatorLog().last(), "transcription cancelled");
    // The run's late answer is dropped; the next dictation works as ever.
    h.gate->open();
    spinFor(50);
    EXPECT_EQ(h.fieldText(), QString());
    h.startRecording();
    h.release();
    ASSERT_TRUE(waitUntil([&] { return h.fieldText() == QStringLiteral("Hello world."); }));
}

TEST(DictationCoordinator, CancelInOtherStatesOrBeforeTheRunStartsIsSafe)
{
    Harness h;
    h.coordinator->start();
    h.coordinator->cancelTranscription();
    EXPECT_EQ(h.state(), DictationState::idle());
    h.startRecording();
    h.coordinator->cancelTranscription();
    EXPECT_TRUE(h.state().isRecording());

    // Cancelled between the stop and the start of the run: the recogniser never runs.
    h.coordinator->stopAndTranscribe();
    h.coordinator->cancelTranscription();
    spinFor(100);
    EXPECT_EQ(h.state(), DictationState::idle());
    EXPECT_TRUE(h.fakes.transcriber->calls().isEmpty());
    EXPECT_EQ(h.fieldText(), QString());
}

TEST(DictationCoordinator, ATranscriptionPastItsTimeLimitEndsInError)
{
    Harness h(/*holdTranscriptions=*/true, {std::chrono::milliseconds(100), 0.0});
    h.coordinator->start();
    h.startRecording();
    h.release();
    ASSERT_TRUE(h.waitFor(Kind::Transcribing));
    h.forget();

    ASSERT_TRUE(h.waitFor(Kind::Error));
    EXPECT_EQ(h.state(), DictationState::error("Transcription took too long"));
    EXPECT_EQ(h.fakes.presence->beeps, 1);
    h.gate->open();
    spinFor(50);
    EXPECT_EQ(h.fieldText(), QString());
    EXPECT_EQ(h.published, QList<DictationState>{h.state()});
}

// The real recogniser runner with a stand-in that never exits: ending the coordinator (as
// Quit does) kills it, and nothing is left waiting on the pool.
TEST(DictationCoordinator, DestroyedWhileTheRecogniserHangsKillsIt)
{
    QTemporaryDir dir;
    const QString program = dir.filePath("Whisper/whisper-cli");
    QDir().mkpath(dir.filePath("Whisper"));
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho $$ > '%1'\nexec sleep 600\n")
                     .arg(dir.filePath("pid"))
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile model(dir.filePath("Whisper/ggml-large-v3-turbo.bin"));
    ASSERT_TRUE(model.open(QIODevice::WriteOnly));
    model.write("m");
    model.close();

    FakeDictationBackends fakes;
    DictationBackends b = fakes.make();
    b.transcriber = std::make_shared<WhisperCLITranscriber>(dir.path());
    auto coordinator = std::make_unique<DictationCoordinator>(std::move(b));
    coordinator->start();
    fakes.hotKey->press();
    ASSERT_TRUE(waitUntil([&] { return coordinator->state().isRecording(); }));
    // The fake recording leaves no file; the runner wants one.
    QFile recording(fakes.audioCapture->madePaths.last());
    ASSERT_TRUE(recording.open(QIODevice::WriteOnly));
    recording.write("RIFF");
    recording.close();
    spinFor(int(DictationCoordinator::minimumHoldMs) + 10); // a hold, not a tap
    fakes.hotKey->release();
    ASSERT_TRUE(waitUntil([&] { return pidFrom(dir.filePath("pid")) > 0; }));
    const qint64 recogniser = pidFrom(dir.filePath("pid"));
    ASSERT_TRUE(processAlive(recogniser));
    EXPECT_TRUE(coordinator->state().isTranscribing());

    coordinator.reset();

    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
    EXPECT_FALSE(processAlive(recogniser));
}

} // namespace
