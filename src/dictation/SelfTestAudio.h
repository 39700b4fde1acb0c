#pragma once

#include "common/QuorError.h"

class ChildProcessStop;

#include <QString>

// The self-test's two audio steps. Both block until their child process exits: run them off
// the main thread. A stop ends the child (it never outlives Wendlo either way).
namespace SelfTestAudio {

// Speaks `phrase` into "self-test-prompt.wav" in the private "QuorDictation" folder, replacing
// an earlier prompt. Returns the file's path.
Result<QString> makePrompt(const QString& phrase, ChildProcessStop& stop);

// Plays the file to the default sound output; returns when playing has finished.
Failure playPrompt(const QString& path, ChildProcessStop& stop);

} // namespace SelfTestAudio
