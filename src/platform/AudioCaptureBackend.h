#pragma once

#include "dictation/QuorError.h"

#include <QString>

#include <memory>

// One recording into one WAV file (16 kHz, mono, signed 16-bit little-endian).
class AudioRecording
{
public:
    virtual ~AudioRecording() = default;

    virtual bool prepareToRecord() = 0;
    virtual bool record() = 0;
    // Records for `seconds`, then stops by itself.
    virtual bool recordForDuration(double seconds) = 0;
    // Ends the recording and leaves a complete, playable file. Safe to call twice.
    virtual void stop() = 0;
    virtual QString url() const = 0;
    // Why the file on disk is not a complete copy of what was captured (a full disk, a write
    // error), once such a fault happened; empty while all is well. A lost sound server is no
    // failure: what was captured until then is kept.
    virtual Failure failure() const { return std::nullopt; }
};

// Makes recording objects on the default microphone.
class AudioCaptureBackend
{
public:
    virtual ~AudioCaptureBackend() = default;

    // A new, not yet prepared recording for the file at `path`, or the reason it was refused.
    virtual Result<std::unique_ptr<AudioRecording>> makeRecording(const QString& path) = 0;
};
