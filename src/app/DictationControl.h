#pragma once

#include "dictation/DictationState.h"
#include "dictation/HotKey.h"
#include "platform/MicrophonePermissionState.h"

#include <QString>
#include <functional>
#include <optional>

// What the application shell asks of the dictation pipeline. The app runs it over the
// coordinator; tests drive the shell with a fake.
class DictationControl
{
public:
    virtual ~DictationControl() = default;

    // Receives every new state; may be called on any thread.
    virtual void setOnStateChange(std::function<void(const DictationState&)> callback) = 0;
    // Registers the hot key and begins operation.
    virtual void start() = 0;
    virtual DictationState state() const = 0;

    // Exactly what the hot key's press and release do (for commands from the command line).
    virtual void hotKeyPressed() = 0;
    virtual void hotKeyReleased() = 0;
    // The hot key in use, why it does not work (if so), and changing it: the old key stays
    // until the new one is grabbed; the message says why it could not be.
    virtual HotKey hotKey() const = 0;
    virtual std::optional<QString> hotKeyProblem() const = 0;
    virtual std::optional<QString> changeHotKey(const HotKey& key) = 0;
    // Where the user binds the key in the compositor instead: how (not a problem).
    virtual std::optional<QString> hotKeyBinding() const = 0;
    // Called on the main thread when the desktop refused the key after it was accepted.
    virtual void setOnHotKeyProblemChange(std::function<void()> callback) = 0;
    virtual void requestMicrophoneAndStart() = 0;
    virtual void stopAndTranscribe() = 0;
    virtual void requestMicrophoneAccess(bool showAlertOnDenied, bool setErrorOnDenied,
                                         std::function<void()> onGranted) = 0;
    virtual void requestAccessibilityPermission() = 0;
    virtual MicrophonePermissionState microphonePermissionState() const = 0;
    virtual void runSelfTest(const QString& phrase) = 0;
    virtual void beep() = 0;
    // Stops a transcription under way and returns to idle.
    virtual void cancelTranscription() = 0;
};
