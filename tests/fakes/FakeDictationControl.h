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
    void start() override
    {
        calls << "start";
        if (problemOnStart)
            problem = problemOnStart;
    }
    DictationState state() const override { return current; }
    void hotKeyPressed() override { calls << "hotKeyPressed"; }
    void hotKeyReleased() override { calls << "hotKeyReleased"; }
    HotKey hotKey() const override { return key; }
    std::optional<QString> hotKeyProblem() const override { return problem; }
    std::optional<QString> changeHotKey(const HotKey& next) override
    {
        hotKeyChanges << next.portableText();
        if (refusedKeys.contains(next.portableText()))
            return next.displayText() + QStringLiteral(" could not be registered: taken.");
        key = next;
        problem.reset();
        return std::nullopt;
    }
    std::optional<QString> hotKeyBinding() const override { return binding; }
    void setOnHotKeyProblemChange(std::function<void()> callback) override
    {
        onHotKeyProblemChange = std::move(callback);
    }
    // A refusal that arrives after the key was accepted, as a portal sends it.
    void refuseLater(const QString& text)
    {
        problem = text;
        if (onHotKeyProblemChange)
            onHotKeyProblemChange();
    }
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
    std::function<void()> onHotKeyProblemChange;
    std::optional<QString> binding; // how to bind the key in the compositor, where needed
    DictationState current = DictationState::idle();
    MicrophonePermissionState microphone = MicrophonePermissionState::Granted;
    QStringList calls;
    HotKey key = HotKey::standard();
    std::optional<QString> problem;
    std::optional<QString> problemOnStart; // the grab start() fails with
    QStringList refusedKeys;               // portable texts changeHotKey refuses
    QStringList hotKeyChanges;             // every key asked for, in order
};
