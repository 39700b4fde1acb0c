#pragma once

#include "platform/AccessibilityBackend.h"
#include "platform/AudioCaptureBackend.h"
#include "platform/ClipboardBackend.h"
#include "platform/DesktopPresence.h"
#include "platform/HotKeyBackend.h"
#include "platform/RecordPermission.h"
#include "platform/SettingsLinkOpener.h"
#include "platform/SyntheticKeys.h"

#include <memory>

// Everything dictation needs from the desktop session, as the factory chose it.
struct PlatformBackends
{
    std::unique_ptr<HotKeyBackend> hotKey;
    std::unique_ptr<AudioCaptureBackend> audioCapture;
    std::unique_ptr<RecordPermission> recordPermission;
    std::unique_ptr<AccessibilityBackend> accessibility;
    std::unique_ptr<ClipboardBackend> clipboard;
    std::unique_ptr<SyntheticKeys> pasteKeys;
    std::unique_ptr<AccessibilityTrust> accessibilityTrust; // the coordinator's own trust prompt
    std::unique_ptr<DesktopPresence> presence; // the coordinator's alerts and beeps
    std::unique_ptr<SettingsLinkOpener> settingsLinks;
    std::unique_ptr<SyntheticKeys> selfTestKeys;
};
