#pragma once

#include "common/DebugLog.h"
#include "dictation/WhisperTranscriber.h"
#include "platform/PlatformBackends.h"

#include <memory>

// Everything the dictation pipeline needs: the desktop's services plus the recogniser. The
// coordinator takes ownership and hands each piece to the collaborator that uses it.
struct DictationBackends : PlatformBackends
{
    std::shared_ptr<const OneShotWhisperTranscriber> transcriber;
    // Recordings stay on disk after their transcription, for diagnosis.
    bool keepRecordings = DebugLog::isDebugLogOn();
    // Not a desktop service, but chosen by whoever builds the pipeline: tests shorten it.
    TranscriptionTimeLimit transcriptionTimeLimit;

    static DictationBackends withDesktop(PlatformBackends desktop)
    {
        DictationBackends backends;
        static_cast<PlatformBackends&>(backends) = std::move(desktop);
        return backends;
    }
};
