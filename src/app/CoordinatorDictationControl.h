#pragma once

#include "app/DictationControl.h"
#include "dictation/DictationCoordinator.h"

#include <memory>

// The shell's view of the real pipeline: owns the coordinator for the life of the process.
class CoordinatorDictationControl : public DictationControl
{
public:
    explicit CoordinatorDictationControl(DictationBackends backends)
        : m_coordinator(std::make_unique<DictationCoordinator>(std::move(backends)))
    {
    }

    void setOnStateChange(std::function<void(const DictationState&)> callback) override
    {
        m_coordinator->onStateChange = std::move(callback);
    }
    void start() override { m_coordinator->start(); }
    DictationState state() const override { return m_coordinator->state(); }
    void hotKeyPressed() override { m_coordinator->handlePress(); }
    void hotKeyReleased() override { m_coordinator->handleRelease(); }
    HotKey hotKey() const override { return m_coordinator->hotKey(); }
    std::optional<QString> hotKeyProblem() const override { return m_coordinator->hotKeyProblem(); }
    std::optional<QString> changeHotKey(const HotKey& key) override
    {
        return m_coordinator->changeHotKey(key);
    }
    std::optional<QString> hotKeyBinding() const override { return m_coordinator->hotKeyBinding(); }
    void setOnHotKeyProblemChange(std::function<void()> callback) override
    {
        m_coordinator->onHotKeyProblemChange = std::move(callback);
    }
    void requestMicrophoneAndStart() override { m_coordinator->requestMicrophoneAndStart(); }
    void stopAndTranscribe() override { m_coordinator->stopAndTranscribe(); }
    void requestMicrophoneAccess(bool showAlertOnDenied, bool setErrorOnDenied,
                                 std::function<void()> onGranted) override
    {
        m_coordinator->requestMicrophoneAccess(showAlertOnDenied, setErrorOnDenied,
                                               std::move(onGranted));
    }
    void requestAccessibilityPermission() override
    {
        m_coordinator->requestAccessibilityPermission();
    }
    MicrophonePermissionState microphonePermissionState() const override
    {
        return m_coordinator->microphonePermissionState();
    }
    void runSelfTest(const QString& phrase) override { m_coordinator->runSelfTest(phrase); }
    void beep() override { m_coordinator->beep(); }
    void cancelTranscription() override { m_coordinator->cancelTranscription(); }

    DictationCoordinator& coordinator() const { return *m_coordinator; }

private:
    std::unique_ptr<DictationCoordinator> m_coordinator;
};
