#pragma once

#include "dictation/DictationBackends.h"
#include "dictation/DictationRecorder.h"
#include "dictation/DictationState.h"
#include "dictation/FocusedTextInserter.h"
#include "dictation/HotKeyController.h"
#include "dictation/MicrophonePermissionState.h"
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
    // Implementation details are the coordinator's own; declared in the .cpp's order.
    struct Private;
    std::unique_ptr<Private> d;
    DictationState m_state = DictationState::idle();
};
