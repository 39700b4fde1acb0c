#pragma once

#include "dictation/DictationBackends.h"
#include "dictation/DictationRecorder.h"
#include "dictation/DictationState.h"
#include "dictation/FocusedTextInserter.h"
#include "dictation/HotKeyController.h"
#include "dictation/MicrophonePermissionState.h"
#include "dictation/QuorError.h"
#include "dictation/WhisperTranscriber.h"

#include <QObject>
#include <functional>
#include <memory>

// Runs dictation: owns the pipeline's collaborators, holds the state, and turns every failure
// into the error state. Lives on the main thread. Tasks it hands out are dropped once it is gone.
class DictationCoordinator : public QObject
{
    Q_OBJECT
public:
    explicit DictationCoordinator(DictationBackends backends, QObject* parent = nullptr);
    ~DictationCoordinator() override;

    std::function<void(const DictationState&)> onStateChange;

    void start();
    const DictationState& state() const { return m_state; }

    void requestMicrophoneAndStart();
    void stopAndTranscribe();
    void requestMicrophoneAccess(bool showAlertOnDenied, bool setErrorOnDenied,
                                 std::function<void()> onGranted);
    void requestAccessibilityPermission();
    MicrophonePermissionState microphonePermissionState() const;
    void runSelfTest(const QString& phrase);

    // Beeps (used by the toggle command while transcribing).
    void beep();

private:
    void handlePress();
    void handleRelease();
    void handleGrantedMicrophoneAccess(bool showAlertOnDenied, bool setErrorOnDenied,
                                       std::function<void()> onGranted);
    void handleMicrophoneNotGranted(bool showAlertOnDenied, bool setErrorOnDenied,
                                    bool openSettingsWithoutAlert);
    void showPermissionNeededAlert();
    void beginRecording(bool afterRecorderProbeIfNeeded);
    void finishTranscription(Result<QString> raw);
    void playSelfTestPrompt(const QString& path);
    void setError(const QString& message);
    void setIdle();
    void writeState(DictationState state);

    // Declared before the collaborators: the recorder observes the permission.
    std::unique_ptr<RecordPermission> m_recordPermission;
    std::unique_ptr<AccessibilityTrust> m_accessibilityTrust;
    std::unique_ptr<UserAlerts> m_alerts;
    std::unique_ptr<SettingsLinkOpener> m_settingsLinks;
    std::unique_ptr<SyntheticKeys> m_selfTestKeys;

    std::unique_ptr<HotKeyController> m_hotKeyController;
    std::unique_ptr<DictationRecorder> m_recorder;
    std::unique_ptr<FocusedTextInserter> m_inserter;
    std::unique_ptr<WhisperTranscriber> m_transcriber;
    DictationState m_state = DictationState::idle();
    qint64 m_recordingsStarted = 0; // tells a finishing dictation whether a newer one began
};
