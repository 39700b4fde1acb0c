#pragma once

#include "platform/MicrophonePermissionState.h"

#include <functional>

// The microphone permission as the platform reports it.
class RecordPermission
{
public:
    virtual ~RecordPermission() = default;

    // The last known state, kept current by the back end: no I/O, safe on the main thread at
    // any time.
    virtual MicrophonePermissionState state() const = 0;
    // The one-time prompt. `completion` gets the yes/no answer exactly once, on any thread.
    virtual void requestAccess(std::function<void(bool granted)> completion) = 0;
};
