#pragma once

#include "platform/AccessibilityBackend.h"

// Trust on Linux: the accessibility bus answers on the session bus and accessibility is
// switched on (org.a11y.Status IsEnabled). The prompt switches it on; applications started
// before that may expose their fields only after a restart.
class AtspiAccessibilityTrust : public AccessibilityTrust
{
public:
    // `timeoutMs` bounds each session-bus call, so a wedged bus cannot freeze dictation.
    explicit AtspiAccessibilityTrust(int timeoutMs = 1000) : m_timeoutMs(timeoutMs) {}

    bool isTrusted() override;
    bool isTrustedWithPrompt() override;

private:
    int m_timeoutMs;
};
