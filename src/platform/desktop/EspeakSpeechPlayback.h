#pragma once

#include "platform/SpeechPlayback.h"

// espeak-ng writes the prompt; the desktop's sound player plays it. Both are started with
// Wendlo's own environment and standard streams, and never outlive it.
class EspeakSpeechPlayback : public SpeechPlayback
{
public:
    // "self-test-prompt.wav" in the private "QuorDictation" folder.
    Result<QString> makePrompt(const QString& phrase, ChildProcessStop& stop) const override;
    Failure playPrompt(const QString& path, ChildProcessStop& stop) const override;
};
