#pragma once

#include "common/QuorError.h"

#include <QString>

class ChildProcessStop;

// Speaks a phrase out loud, in two steps that block until their work is done: run them off
// the main thread. Shared with the threads that run them, so it may outlive its owner and is
// used from any thread. A stop ends a step early.
class SpeechPlayback
{
public:
    virtual ~SpeechPlayback() = default;

    // Renders `phrase` as speech into an audio file, replacing the one an earlier call made,
    // and returns the file's path.
    virtual Result<QString> makePrompt(const QString& phrase, ChildProcessStop& stop) const = 0;
    // Plays the file to the default sound output; returns when playing has finished.
    virtual Failure playPrompt(const QString& path, ChildProcessStop& stop) const = 0;
};
