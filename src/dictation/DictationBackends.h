#pragma once

#include "dictation/DebugLog.h"
#include "dictation/WhisperTranscriber.h"
#include "platform/AccessibilityBackend.h"
#include "platform/AudioCaptureBackend.h"
#include "platform/ClipboardBackend.h"
#include "platform/HotKeyBackend.h"
#include "platform/RecordPermission.h"
#include "platform/SettingsLinkOpener.h"
#include "platform/SyntheticKeys.h"
#include "platform/UserAlerts.h"

#include <memory>

// Everything the dictation pipeline needs from the desktop. The coordinator takes ownership
// and hands each piece to the collaborator that uses it.
struct DictationBackends
{
    std::unique_ptr<HotKeyBackend> hotKey;
    std::unique_ptr<AudioCaptureBackend> audioCapture;
    std::unique_ptr<RecordPermission> recordPermission;
    std::shared_ptr<const OneShotWhisperTranscriber> transcriber;
    std::unique_ptr<AccessibilityBackend> accessibility;
    std::unique_ptr<ClipboardBackend> clipboard;
    std::unique_ptr<SyntheticKeys> pasteKeys;
    std::unique_ptr<AccessibilityTrust> accessibilityTrust; // the coordinator's own trust prompt
    std::unique_ptr<UserAlerts> alerts;
    std::unique_ptr<SettingsLinkOpener> settingsLinks;
    std::unique_ptr<SyntheticKeys> selfTestKeys;
    // Recordings stay on disk after their transcription, for diagnosis.
    bool keepRecordings = DebugLog::isDebugLogOn();
    // Not a desktop service, but chosen by whoever builds the pipeline: tests shorten it.
    TranscriptionTimeLimit transcriptionTimeLimit;
};
