#pragma once

#include "app/DictationControl.h"

#include <QStringList>

// Control face: set the state and the microphone permission, emit state changes, and read
// back the calls in order.
class FakeDictationControl : public DictationControl
{
public:
    void setOnStateChange(std::function<void(const DictationState&)> callback) override
    {
        onStateChange = std::move(callback);
    }
    void start() override { calls << "start"; }
    DictationState state() const override { return current; }
    void requestMicrophoneAndStart() override { calls << "requestMicrophoneAndStart"; }
    void stopAndTranscribe() override { calls << "stopAndTranscribe"; }
    void requestMicrophoneAccess(bool showAlertOnDenied, bool setErrorOnDenied,
                                 std::function<void()> onGranted) override
    {
        calls << QStringLiteral("requestMicrophoneAccess(%1,%2,%3)")
                     .arg(showAlertOnDenied ? "true" : "false", setErrorOnDenied ? "true" : "false",
                          onGranted ? "callback" : "none");
    }
    void requestAccessibilityPermission() override { calls << "requestAccessibilityPermission"; }
    MicrophonePermissionState microphonePermissionState() const override { return microphone; }
    void runSelfTest(const QString& phrase) override { calls << "runSelfTest:" + phrase; }
    void beep() override { calls << "beep"; }
    void cancelTranscription() override { calls << "cancelTranscription"; }

    // Reports a state as the coordinator would (the shell may get it on any thread).
    void emitState(const DictationState& state)
    {
        current = state;
        if (onStateChange)
            onStateChange(state);
    }

    std::function<void(const DictationState&)> onStateChange;
    DictationState current = DictationState::idle();
    MicrophonePermissionState microphone = MicrophonePermissionState::Granted;
    QStringList calls;
};
