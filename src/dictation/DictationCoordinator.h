#pragma once

#include "common/QuorError.h"
#include "dictation/DictationBackends.h"
#include "dictation/DictationRecorder.h"
#include "dictation/DictationState.h"
#include "dictation/FocusedTextInserter.h"
#include "dictation/HotKeyController.h"
#include "dictation/WhisperTranscriber.h"
#include "platform/MicrophonePermissionState.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <memory>

// Runs dictation: owns the pipeline's collaborators, holds the state, and turns every failure
// into the error state. Lives on the main thread. Tasks it hands out are dropped once it is gone.
class DictationCoordinator : public QObject
{
    Q_OBJECT
public:
    // A shorter hold of the hot key is an accidental tap: nothing is transcribed.
    static constexpr qint64 minimumHoldMs = 300;
    // More of the hold than this missing from the recording's start: the microphone began
    // late, and the user is told when it left too little to transcribe.
    static constexpr qint64 lateMicrophoneMs = 250;

    explicit DictationCoordinator(DictationBackends backends, QObject* parent = nullptr);
    ~DictationCoordinator() override;

    std::function<void(const DictationState&)> onStateChange;
    // What the hot key's texts say changed after start or a change had accepted the key:
    // the desktop refused it later (a portal's answer, a lost grab), it works again, or the
    // desktop fires it with a trigger of its own. hotKeyProblem() and hotKeyText() tell.
    std::function<void()> onHotKeyStatusChange;

    void start();
    const DictationState& state() const { return m_state; }

    void requestMicrophoneAndStart();
    void stopAndTranscribe();
    void requestMicrophoneAccess(bool showAlertOnDenied, bool setErrorOnDenied,
                                 std::function<void()> onGranted);
    void requestAccessibilityPermission();
    MicrophonePermissionState microphonePermissionState() const;
    // Logs "error=" and the message, writes the error state and beeps: where every failure
    // of the pipeline, and of whatever drives it, ends.
    void setError(const QString& message);

    // The one-key command (tray menu, `--toggle-dictation`): starts when idle or after an
    // error, stops and transcribes while recording, beeps while transcribing.
    void toggle();

    // The hot key in use and, when it could not be grabbed, why.
    const HotKey& hotKey() const { return m_hotKeyController->hotKey(); }
    const std::optional<QString>& hotKeyProblem() const { return m_hotKeyController->problem(); }
    // What the user presses to dictate: the desktop's own trigger where it chose one in place
    // of the hot key, else the hot key's name.
    QString hotKeyText() const { return m_hotKeyController->keyText(); }
    bool desktopChoseHotKeyTrigger() const { return m_hotKeyController->desktopChoseTrigger(); }
    // Where the key reaches Wendlo only through the user's binding in the compositor: how to
    // bind it. Not a problem: nothing tells whether the user did.
    std::optional<QString> hotKeyBinding() const { return m_hotKeyController->binding(); }
    // Makes `key` the hot key (before start: the key start registers). The old key stays
    // when the new one cannot be grabbed; the message says why. A working key ends the error
    // state that a failed registration left.
    std::optional<QString> changeHotKey(const HotKey& key);

    // The menu's way out of a transcription that takes too long: stops the recogniser and
    // writes idle. Does nothing in other states.
    void cancelTranscription();

    // What the hot key's press and release do; also reached from the command line.
    void handlePress();
    void handleRelease();

private:
    struct StartSequence;

    void handleGrantedMicrophoneAccess(bool showAlertOnDenied, bool setErrorOnDenied,
                                       std::function<void()> onGranted);
    // Whether `sequence` is still the start sequence under way; if none is, the capture kept
    // open for it is ended.
    bool isLive(const std::shared_ptr<StartSequence>& sequence);
    void handleMicrophoneNotGranted(bool showAlertOnDenied, bool setErrorOnDenied,
                                    bool openSettingsWithoutAlert);
    void showPermissionNeededAlert(std::function<void()> then);
    void beginRecording(bool afterRecorderProbeIfNeeded);
    void finishTranscription(Result<QString> raw);
    void setIdle();
    void writeState(DictationState state);

    std::unique_ptr<RecordPermission> m_recordPermission;
    std::unique_ptr<AccessibilityTrust> m_accessibilityTrust;
    std::unique_ptr<DesktopPresence> m_presence;
    std::unique_ptr<SettingsLinkOpener> m_settingsLinks;

    std::unique_ptr<HotKeyController> m_hotKeyController;
    std::unique_ptr<DictationRecorder> m_recorder;
    std::unique_ptr<FocusedTextInserter> m_inserter;
    std::unique_ptr<WhisperTranscriber> m_transcriber;
    DictationState m_state = DictationState::idle();
    // The hot-key problem last shown, so that the key working again ends that error only.
    std::optional<QString> m_hotKeyProblemShown;
    qint64 m_recordingsStarted = 0; // tells a finishing dictation whether a newer one began
    // The start sequence under way (from a press until its recording begins), if any.
    std::shared_ptr<StartSequence> m_startSequence;
    // Since the press that began the running recording.
    QElapsedTimer m_recordingSince;
    // Raised by every cancel, so that a run about to start learns it was cancelled.
    quint64 m_cancelGeneration = 0;
};
