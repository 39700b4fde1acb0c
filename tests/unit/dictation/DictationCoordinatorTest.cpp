#include "dictation/DictationCoordinator.h"

#include "fakes/FakeDictationBackends.h"
#include "support/QtPrinters.h"
#include "support/Wait.h"

#include <QFile>
#include <QThreadPool>
#include <condition_variable>
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

// Holds every transcription until the test opens the gate, then answers as `answers` does.
class GatedTranscriber : public OneShotWhisperTranscriber
{
public:
    explicit GatedTranscriber(std::shared_ptr<FakeTranscriber> answers)
        : m_answers(std::move(answers))
    {
    }
    Result<QString> transcribe(const QString& audioURL) const override
    {
        std::unique_lock lock(m_mutex);
        m_opened.wait(lock, [this] { return m_open; });
        return m_answers->transcribe(audioURL);
    }
    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }

private:
    std::shared_ptr<FakeTranscriber> m_answers;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_opened;
    bool m_open = false;
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
                                             "AVAudioApplication",
                                             "hot key registration failed"};

struct Harness
{
    explicit Harness(bool holdTranscriptions = false)
    {
        QFile::remove(logPath());
        DictationBackends b = fakes.make();
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
    void press() { fakes.hotKey->press(); }
    void release() { fakes.hotKey->release(); }
    // The menu's toggle command, as the application shell runs it.
    void toggle()
    {
        if (state().isTranscribing())
            coordinator->beep();
        else if (state().isRecording())
            coordinator->stopAndTranscribe();
        else
            coordinator->requestMicrophoneAndStart();
    }
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
        fakes.alerts->events.clear();
        fakes.alerts->beeps = 0;
        fakes.alerts->alerts.clear();
    }

    FakeDictationBackends fakes;
    HookedAudioCapture* audio = nullptr;
    // Transcriptions wait here until opened, so `transcribing` can be observed.
    std::shared_ptr<GatedTranscriber> gate;
    std::unique_ptr<DictationCoordinator> coordinator;
    QList<DictationState> published;
};

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
        QStringLiteral("Super + D could not be registered: another program holds it"));
    EXPECT_EQ(h.published, (QList{DictationState::idle(), error}));
    EXPECT_EQ(h.fakes.alerts->beeps, 1);
    EXPECT_EQ(h.coordinatorLog(),
              (QStringList{"hot key registration failed: another program holds it",
                           "error=" + error.message}));

    // The menu's toggle still works.
    h.forget();
    h.toggle();
    ASSERT_TRUE(h.waitFor(Kind::Recording));
    EXPECT_EQ(h.published, (QList{DictationState::idle(), DictationState::recording()}));
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
    ASSERT_EQ(h.audio->madePaths.size(), 2); // the probe, then the recording
    const QString path = h.audio->madePaths.at(1);
    EXPECT_EQ(h.coordinatorLog(),
              (QStringList{"requestMicrophoneAndStart state=granted", "microphone trusted=true",
                           "recorder.promptForPermission confirmed=true state=granted",
                           "recording started", "recording stopped at " + path,
                           "raw transcript=hello world", "cleaned transcript=Hello world.",
                           "text inserted"}));
    EXPECT_EQ(h.fieldText(), QStringLiteral("Hello world."));
    EXPECT_EQ(h.fakes.alerts->beeps, 0);
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
        ASSERT_TRUE(h.state().isError());
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
        ASSERT_TRUE(waitUntil([&] { return h.fakes.alerts->beeps == 1; }));
        spinFor(50);
        EXPECT_TRUE(h.published.isEmpty());
        EXPECT_EQ(h.state(), before);
        break;
    case Outcome::Nothing:
        spinFor(100);
        EXPECT_TRUE(h.published.isEmpty());
        EXPECT_EQ(h.fakes.alerts->beeps, 0);
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
    EXPECT_EQ(h.fakes.alerts->beeps, 1);
    EXPECT_EQ(h.fakes.alerts->alerts.size(), c.alertFirst ? 1 : 0);
    EXPECT_EQ(h.fakes.alerts->events.last(), QStringLiteral("beep"));
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
                            h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
                        };
                        h.press();
                    },
                    enableMicrophone, true},
        FailureCase{"startFailedThenProbeNotConfirmed",
                    [](Harness& h) {
                        h.audio->onMake = [&h](int n) {
                            if (n == 2)
                                h.audio->next.recordOk = false;
                            if (n == 3)
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
        FailureCase{"startFailedAgainAfterConfirmedProbe",
                    [](Harness& h) {
                        h.audio->onMake = [&h](int n) {
                            if (n == 2)
                                h.audio->next.recordOk = false;
                        };
                        h.press();
                    },
                    QStringLiteral("Could not start recording"), false,
                    [](const Harness& h) {
                        EXPECT_EQ(h.coordinatorLog().filter("retrying after recorder probe").size(),
                                  1);
                        EXPECT_EQ(h.audio->madePaths.size(), 4) << "probe, start, probe, start";
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
    for (const int button : {0, 1}) {
        SCOPED_TRACE(button);
        Harness h;
        h.coordinator->start();
        h.fakes.alerts->answerIndex = button;
        h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
        h.coordinator->requestMicrophoneAccess(true, true, {});

        ASSERT_EQ(h.fakes.alerts->alerts.size(), 1);
        EXPECT_EQ(h.fakes.alerts->alerts.first(),
                  (QStringList{"Microphone Permission Needed",
                               "Enable Microphone for Wendlo so it can record your speech.",
                               "Open Settings|Cancel"}));
        EXPECT_EQ(h.fakes.alerts->events, (QStringList{"activate", "alert", "beep"}));
        EXPECT_EQ(h.fakes.settingsLinks->opened,
                  button == 0 ? QStringList{"Privacy_Microphone"} : QStringList{});
        EXPECT_EQ(h.state(), DictationState::error(enableMicrophone));
    }
}

TEST(DictationCoordinator, WithoutAlertTheDeniedPathOpensSettingsDirectly)
{
    Harness h;
    h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
    h.coordinator->requestMicrophoneAccess(false, true, {});
    EXPECT_TRUE(h.fakes.alerts->alerts.isEmpty());
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
    EXPECT_EQ(h.fakes.alerts->activations, 1);
    std::thread([&] { h.fakes.recordPermission->answer(true); }).join();

    ASSERT_TRUE(h.waitFor(Kind::Recording));
    EXPECT_EQ(h.published, (QList{DictationState::idle(), DictationState::recording()}));
    EXPECT_EQ(h.coordinatorLog(),
              (QStringList{"requestMicrophoneAndStart state=undetermined",
                           "requesting microphone access via AVAudioApplication",
                           "AVAudioApplication.requestRecordPermission granted=true",
                           "recorder.promptForPermission confirmed=true state=granted",
                           "recording started"}));
}

TEST(DictationCoordinator, PressAndReleaseShorterThanTheProbe)
{
    Harness h;
    h.coordinator->start();
    h.forget();
    h.press();
    spinFor(20);
    h.release();
    spinFor(100);
    EXPECT_TRUE(h.published.isEmpty()) << "the release found the state idle";

    ASSERT_TRUE(h.waitFor(Kind::Recording));
    h.press(); // ignored: recording
    spinFor(600);
    EXPECT_EQ(h.published, (QList{DictationState::idle(), DictationState::recording()}));
    EXPECT_EQ(h.coordinatorLog().filter("recording started").size(), 1);

    h.release();
    ASSERT_TRUE(h.waitFor(Kind::Idle));
    EXPECT_EQ(h.fieldText(), QStringLiteral("Hello world."));
}

TEST(DictationCoordinator, TwoPressesWithinTheProbeRunTwoStartSequences)
{
    Harness h;
    h.coordinator->start();
    h.forget();
    h.press();
    spinFor(20);
    h.press();
    ASSERT_TRUE(waitUntil([&] { return h.published.size() == 4; }));
    spinFor(100);
    EXPECT_EQ(h.published, (QList{DictationState::idle(), DictationState::recording(),
                                  DictationState::idle(), DictationState::recording()}));
    EXPECT_EQ(h.coordinatorLog().filter("recording started").size(), 2);

    h.release();
    ASSERT_TRUE(h.waitFor(Kind::Idle));
    EXPECT_EQ(h.fieldText(), QStringLiteral("Hello world."));
}

TEST(DictationCoordinator, MicrophoneRequestWithoutActionClearsErrorWithoutRecording)
{
    Harness h;
    h.coordinator->start();
    h.fakes.recordPermission->current = MicrophonePermissionState::Denied;
    h.coordinator->requestMicrophoneAccess(true, true, {});
    ASSERT_TRUE(h.state().isError());

    h.fakes.recordPermission->current = MicrophonePermissionState::Granted;
    h.forget();
    h.coordinator->requestMicrophoneAccess(true, true, {});
    ASSERT_TRUE(h.waitFor(Kind::Idle));
    spinFor(50);
    EXPECT_EQ(h.published, QList{DictationState::idle()});
    EXPECT_EQ(h.audio->madePaths.size(), 1) << "only the probe";
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

} // namespace
