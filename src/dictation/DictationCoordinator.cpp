#include "dictation/DictationCoordinator.h"

#include "common/DebugLog.h"
#include "common/MainThreadTask.h"
#include "dictation/TextCleanup.h"

namespace {

const QString microphoneNeeded = QStringLiteral("Enable Microphone for Wendlo");

} // namespace

struct DictationCoordinator::StartSequence
{
    QElapsedTimer sincePress;
    // Let go after a real hold but before the recording began: the recording ends as soon
    // as it has begun, keeping what reached it.
    bool released = false;
};

DictationCoordinator::DictationCoordinator(DictationBackends backends, QObject* parent)
    : QObject(parent), m_recordPermission(std::move(backends.recordPermission)),
      m_accessibilityTrust(std::move(backends.accessibilityTrust)),
      m_presence(std::move(backends.presence)), m_settingsLinks(std::move(backends.settingsLinks)),
      m_hotKeyController(std::make_unique<HotKeyController>(std::move(backends.hotKey))),
      m_recorder(std::make_unique<DictationRecorder>(std::move(backends.audioCapture),
                                                     backends.keepRecordings)),
      m_inserter(std::make_unique<FocusedTextInserter>(std::move(backends.accessibility),
                                                       std::move(backends.clipboard),
                                                       std::move(backends.pasteKeys))),
      m_transcriber(std::make_unique<WhisperTranscriber>(std::move(backends.transcriber),
                                                         backends.transcriptionTimeLimit))
{
}

DictationCoordinator::~DictationCoordinator() = default;

void DictationCoordinator::start()
{
    writeState(DictationState::idle());
    m_recorder->removeLeftovers();
    // Hot-key callbacks already arrive on the main thread; acting in a task of our own keeps
    // the platform's handler short and drops the work if we are gone.
    m_hotKeyController->onPress = [this] { postTask(this, [this] { handlePress(); }); };
    m_hotKeyController->onRelease = [this] { postTask(this, [this] { handleRelease(); }); };
    m_hotKeyController->onStatusChange = [this] {
        const std::optional<QString>& problem = m_hotKeyController->problem();
        if (problem && problem != m_hotKeyProblemShown) {
            DebugLog::write(QStringLiteral("hot key registration failed: ") + *problem);
            // A dictation under way keeps its state; the problem waits in hotKeyProblem().
            if (m_state.isIdle() || m_state.isError())
                setError(*problem);
        } else if (!problem && m_hotKeyProblemShown) {
            DebugLog::write(QStringLiteral("hot key works again: ") +
                            m_hotKeyController->keyText());
            if (m_state.isError() && m_state.message == *m_hotKeyProblemShown)
                setIdle();
        } else if (!problem) {
            DebugLog::write(QStringLiteral("hot key trigger=") + m_hotKeyController->keyText());
        }
        m_hotKeyProblemShown = problem;
        if (onHotKeyStatusChange)
            onHotKeyStatusChange();
    };
    if (const std::optional<QString> failure = m_hotKeyController->start()) {
        DebugLog::write(QStringLiteral("hot key registration failed: ") + *failure);
        m_hotKeyProblemShown = failure;
        setError(*failure);
    } else if (const std::optional<QString> binding = m_hotKeyController->binding()) {
        DebugLog::write(QStringLiteral("hot key bound in the compositor: ") +
                        binding->simplified());
    }
}

std::optional<QString> DictationCoordinator::changeHotKey(const HotKey& key)
{
    const std::optional<QString> previousProblem = m_hotKeyController->problem();
    if (std::optional<QString> failure = m_hotKeyController->change(key)) {
        DebugLog::write(QStringLiteral("hot key change failed: ") + *failure);
        return failure;
    }
    DebugLog::write(QStringLiteral("hot key=") + key.portableText());
    m_hotKeyProblemShown.reset();
    if (previousProblem && m_state.isError() && m_state.message == *previousProblem)
        setIdle();
    return std::nullopt;
}

void DictationCoordinator::handlePress()
{
    // The hot key's grab takes every key while it is down: a paste must wait for its release.
    m_inserter->setKeyboardHeld(true);
    // Holding the key down again while recording changes nothing; otherwise a press is a toggle.
    if (!m_state.isRecording())
        toggle();
}

void DictationCoordinator::toggle()
{
    switch (m_state.kind) {
    case DictationState::Kind::Recording:
        stopAndTranscribe();
        return;
    case DictationState::Kind::Transcribing:
        m_presence->beep();
        return;
    case DictationState::Kind::Idle:
    case DictationState::Kind::Error:
        requestMicrophoneAndStart();
        return;
    }
}

void DictationCoordinator::handleRelease()
{
    m_inserter->setKeyboardHeld(false);
    if (m_state.isRecording()) {
        const qint64 heldMs =
            m_recordingSince.isValid() ? m_recordingSince.elapsed() : minimumHoldMs;
        if (heldMs >= minimumHoldMs) {
            stopAndTranscribe();
            return;
        }
        // An accidental tap: nothing is transcribed, and nothing is said about it.
        DebugLog::write(QStringLiteral("recording discarded: released after %1 ms").arg(heldMs));
        m_recordingSince.invalidate();
        Result<QString> stopped = m_recorder->stop();
        if (stopped)
            m_recorder->takeFile(std::move(stopped).value()); // and let go of it at once
        setIdle();
        return;
    }
    if (!m_startSequence)
        return;
    const qint64 heldMs = m_startSequence->sincePress.elapsed();
    if (heldMs >= minimumHoldMs) {
        m_startSequence->released = true;
        return;
    }
    // A tap before the recording began ends its start sequence: nothing stays open.
    DebugLog::write(QStringLiteral("start sequence ended: released after %1 ms").arg(heldMs));
    m_startSequence.reset();
    m_recorder->discardPendingCapture();
}

MicrophonePermissionState DictationCoordinator::microphonePermissionState() const
{
    return m_recordPermission->state();
}

void DictationCoordinator::requestMicrophoneAndStart()
{
    auto sequence = std::make_shared<StartSequence>();
    sequence->sincePress.start();
    m_startSequence = sequence;
    DebugLog::write(QStringLiteral("requestMicrophoneAndStart state=") +
                    toString(microphonePermissionState()));
    requestMicrophoneAccess(true, true, [this, sequence] {
        if (isLive(sequence))
            beginRecording(true);
    });
}

bool DictationCoordinator::isLive(const std::shared_ptr<StartSequence>& sequence)
{
    if (m_startSequence == sequence)
        return true;
    // Ended by a tap, or taken over by a newer press that shares its capture.
    if (!m_startSequence)
        m_recorder->discardPendingCapture();
    return false;
}

void DictationCoordinator::requestMicrophoneAccess(bool showAlertOnDenied, bool setErrorOnDenied,
                                                   std::function<void()> onGranted)
{
    switch (microphonePermissionState()) {
    case MicrophonePermissionState::Granted:
        DebugLog::write(QStringLiteral("microphone trusted=true"));
        handleGrantedMicrophoneAccess(showAlertOnDenied, setErrorOnDenied, std::move(onGranted));
        return;
    case MicrophonePermissionState::Denied:
        handleMicrophoneNotGranted(showAlertOnDenied, setErrorOnDenied, true);
        return;
    case MicrophonePermissionState::Undetermined:
        DebugLog::write(QStringLiteral("requesting microphone access from the sound server"));
        m_presence->raiseWindows();
        // The answer may come on any thread; the rest runs as a main-thread task.
        m_recordPermission->requestAccess([this, showAlertOnDenied, setErrorOnDenied,
                                           onGranted](bool granted) {
            postTask(this, [this, showAlertOnDenied, setErrorOnDenied, onGranted, granted] {
                DebugLog::write(QStringLiteral("sound server record permission granted=") +
                                DebugLog::boolText(granted));
                if (granted)
                    handleGrantedMicrophoneAccess(showAlertOnDenied, setErrorOnDenied, onGranted);
                else
                    handleMicrophoneNotGranted(showAlertOnDenied, setErrorOnDenied, true);
            });
        });
        return;
    }
}

void DictationCoordinator::handleGrantedMicrophoneAccess(bool showAlertOnDenied,
                                                         bool setErrorOnDenied,
                                                         std::function<void()> onGranted)
{
    // A permission that reads as granted is confirmed by the first samples of a capture before
    // anything records: the sound server may still refuse the stream. For a dictation that
    // capture is the recording itself, open from the press on.
    const bool forRecording = bool(onGranted);
    m_recorder->promptForPermission(
        [this, showAlertOnDenied, setErrorOnDenied, onGranted](bool confirmed) {
            postTask(this, [this, showAlertOnDenied, setErrorOnDenied, onGranted, confirmed] {
                const MicrophonePermissionState permission = microphonePermissionState();
                DebugLog::write(QStringLiteral("recorder.promptForPermission confirmed=") +
                                DebugLog::boolText(confirmed) + QStringLiteral(" state=") +
                                toString(permission));
                if (confirmed || permission == MicrophonePermissionState::Granted) {
                    setIdle();
                    if (onGranted)
                        onGranted();
                    return;
                }
                handleMicrophoneNotGranted(showAlertOnDenied, setErrorOnDenied, false);
            });
        },
        forRecording);
}

void DictationCoordinator::handleMicrophoneNotGranted(bool showAlertOnDenied, bool setErrorOnDenied,
                                                      bool openSettingsWithoutAlert)
{
    if (!showAlertOnDenied) {
        if (openSettingsWithoutAlert)
            m_settingsLinks->openPrivacySecurity(QStringLiteral("Privacy_Microphone"));
        if (setErrorOnDenied)
            setError(microphoneNeeded);
        return;
    }
    // The error follows the answer, as it would after a blocking alert. By then a dictation
    // may have begun (the permission granted meanwhile): the error must not end it.
    const qint64 recordingsBefore = m_recordingsStarted;
    showPermissionNeededAlert([this, setErrorOnDenied, recordingsBefore] {
        if (!setErrorOnDenied)
            return;
        if (m_state.isRecording() || m_recordingsStarted != recordingsBefore) {
            DebugLog::write(QStringLiteral("error=") + microphoneNeeded);
            m_presence->beep();
            return;
        }
        setError(microphoneNeeded);
    });
}

void DictationCoordinator::showPermissionNeededAlert(std::function<void()> then)
{
    m_presence->raiseWindows();
    m_presence->open(
        Alert{QStringLiteral("Microphone Permission Needed"),
              QStringLiteral("Enable Microphone for Wendlo so it can record your speech."),
              {QStringLiteral("Open Settings"), QStringLiteral("Cancel")}},
        [this, then = std::move(then)](std::optional<int> button) {
            // The presence is ours, so this runs only while we live.
            if (button == 0 &&
                !m_settingsLinks->openPrivacySecurity(QStringLiteral("Privacy_Microphone")))
                DebugLog::write(QStringLiteral("could not open the microphone settings page"));
            then();
        });
}

void DictationCoordinator::beginRecording(bool afterRecorderProbeIfNeeded)
{
    const Failure failure = m_recorder->start();
    if (!failure) {
        const std::shared_ptr<StartSequence> sequence = std::exchange(m_startSequence, nullptr);
        DebugLog::write(QStringLiteral("recording started"));
        // What a slow sound server or device costs the user at the start of each dictation.
        if (sequence)
            DebugLog::write(QStringLiteral("first sound %1 ms after the press")
                                .arg(sequence->sincePress.elapsed()));
        m_recordingSince = sequence ? sequence->sincePress : QElapsedTimer();
        writeState(DictationState::recording());
        if (sequence && sequence->released)
            stopAndTranscribe();
        return;
    }
    if (!afterRecorderProbeIfNeeded) {
        m_startSequence.reset();
        setError(failure->localizedDescription());
        return;
    }
    // The one retry of the pipeline: a fresh probe lets the sound server settle the device.
    DebugLog::write(QStringLiteral("recording start failed, retrying after recorder probe"));
    m_recorder->promptForPermission(
        [this, sequence = m_startSequence](bool confirmed) {
            postTask(this, [this, sequence, confirmed] {
                if (!isLive(sequence))
                    return;
                if (confirmed ||
                    microphonePermissionState() == MicrophonePermissionState::Granted) {
                    beginRecording(false);
                    return;
                }
                m_startSequence.reset();
                setError(microphoneNeeded);
            });
        },
        /*keepForRecording=*/true);
}

void DictationCoordinator::stopAndTranscribe()
{
    const qint64 heldMs = m_recordingSince.isValid() ? m_recordingSince.elapsed() : -1;
    Result<QString> stopped = m_recorder->stop();
    if (!stopped) {
        setError(stopped.error().localizedDescription());
        return;
    }
    m_recordingSince.invalidate();
    std::shared_ptr<RecordingFile> file = m_recorder->takeFile(std::move(stopped).value());
    DebugLog::write(QStringLiteral("recording stopped at ") + file->path());
    const std::optional<qint64> recordedMs = m_recorder->lastRecordedMs();
    if (heldMs >= 0 && recordedMs) {
        const qint64 missingMs = heldMs - *recordedMs;
        DebugLog::write(QStringLiteral("recording holds %1 ms of a %2 ms hold")
                            .arg(*recordedMs)
                            .arg(heldMs));
        // A microphone that began only near the release heard none of what was said: its
        // few samples would come back as an empty or invented transcript.
        if (missingMs > lateMicrophoneMs && *recordedMs < minimumHoldMs) {
            setError(QStringLiteral("The microphone started %1 s after the key went down, too "
                                    "late to record what you said. Try again, and speak once "
                                    "the recording pill shows.")
                         .arg(double(missingMs) / 1000.0, 0, 'f', 1));
            return;
        }
        if (missingMs > lateMicrophoneMs)
            DebugLog::write(QStringLiteral("microphone started late: the first %1 ms of the "
                                           "hold are not in the recording")
                                .arg(missingMs));
    }
    writeState(DictationState::transcribing());
    // The transcription holds the file: it is deleted once the run has ended, also when it
    // is cancelled or its answer is never delivered.
    postTask(this, [this, file, generation = m_cancelGeneration] {
        // Cancelled before the run even started.
        if (generation != m_cancelGeneration)
            return;
        m_transcriber->transcribe(file->path(), this, [this, file](Result<QString> raw) mutable {
            file.reset();
            finishTranscription(std::move(raw));
        });
    });
}

void DictationCoordinator::cancelTranscription()
{
    if (!m_state.isTranscribing())
        return;
    DebugLog::write(QStringLiteral("transcription cancelled"));
    ++m_cancelGeneration;
    m_transcriber->cancelAll();
    setIdle();
}

void DictationCoordinator::finishTranscription(Result<QString> raw)
{
    // A newer dictation may be under way by the time this one ends (a confirmed permission
    // request can start one while this run transcribes or inserts); writing this run's end
    // over its state would make its release be ignored or hide its progress.
    const qint64 recordingsBefore = m_recordingsStarted;
    const auto newerDictation = [this, recordingsBefore] {
        return m_state.isRecording() || m_recordingsStarted != recordingsBefore;
    };
    const auto fail = [this, newerDictation](const QString& message) {
        if (!newerDictation()) {
            setError(message);
            return;
        }
        DebugLog::write(QStringLiteral("error=") + message);
        m_presence->beep();
    };

    if (!raw) {
        fail(raw.error().localizedDescription());
        return;
    }
    DebugLog::write(QStringLiteral("raw transcript=") + raw.value());
    const QString cleaned = TextCleanup::clean(raw.value());
    if (cleaned.isEmpty()) {
        fail(QuorError{QStringLiteral("Transcript was empty")}.localizedDescription());
        return;
    }
    DebugLog::write(QStringLiteral("cleaned transcript=") + cleaned);
    m_inserter->insert(cleaned, [this, fail, newerDictation](Failure failure) {
        if (failure) {
            fail(failure->localizedDescription());
            return;
        }
        DebugLog::write(QStringLiteral("text inserted"));
        if (!newerDictation())
            setIdle();
    });
}

void DictationCoordinator::requestAccessibilityPermission()
{
    const bool trusted = m_accessibilityTrust->isTrustedWithPrompt();
    DebugLog::write(QStringLiteral("accessibility trusted=") + DebugLog::boolText(trusted));
    if (trusted)
        setIdle();
}

void DictationCoordinator::setError(const QString& message)
{
    DebugLog::write(QStringLiteral("error=") + message);
    writeState(DictationState::error(message));
    m_presence->beep();
}

void DictationCoordinator::setIdle()
{
    writeState(DictationState::idle());
}

void DictationCoordinator::writeState(DictationState state)
{
    if (state.isRecording())
        ++m_recordingsStarted;
    m_state = std::move(state);
    if (onStateChange) {
        // A copy: the callback may itself cause another write.
        const DictationState published = m_state;
        onStateChange(published);
    }
}
