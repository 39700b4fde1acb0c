#pragma once

#include "dictation/DictationCoordinator.h"
#include "platform/AccessibilityBackend.h"

// The two permissions as they read right now; both are asked afresh on every call, since the
// user may change them in the system settings at any time.
class PermissionStatus
{
public:
    PermissionStatus(const DictationCoordinator& coordinator, AccessibilityTrust& trust)
        : m_coordinator(coordinator), m_trust(trust)
    {
    }

    MicrophonePermissionState microphone() const
    {
        return m_coordinator.microphonePermissionState();
    }
    bool accessibility() const { return m_trust.isTrusted(); }
    bool allGranted() const
    {
        return microphone() == MicrophonePermissionState::Granted && accessibility();
    }

private:
    const DictationCoordinator& m_coordinator;
    AccessibilityTrust& m_trust;
};
