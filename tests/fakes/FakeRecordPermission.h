#pragma once

#include "platform/RecordPermission.h"

#include <QList>

#include <functional>

// Control face: set the state; answer pending prompts when the test says so.
class FakeRecordPermission : public RecordPermission
{
public:
    MicrophonePermissionState state() const override { return current; }
    void requestAccess(std::function<void(bool)> completion) override
    {
        pending.append(std::move(completion));
    }

    // Answers the oldest prompt, updating the state as the platform would.
    void answer(bool granted)
    {
        current = granted ? MicrophonePermissionState::Granted : MicrophonePermissionState::Denied;
        auto completion = pending.takeFirst();
        completion(granted);
    }

    MicrophonePermissionState current = MicrophonePermissionState::Granted;
    QList<std::function<void(bool)>> pending;
};
