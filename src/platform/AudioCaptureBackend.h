#pragma once

#include "common/QuorError.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// One recording into one WAV file (16 kHz, mono, signed 16-bit little-endian).
class AudioRecording
{
public:
    virtual ~AudioRecording() = default;

    // Creates the file; false when it cannot.
    virtual bool prepareToRecord() = 0;
    // Begins capturing and returns at once: reaching the sound server and opening the stream
    // happen off the caller's thread, so a stalled server never holds the caller up.
    // `onStarted` is called at most once, on any thread: true with the first captured
    // samples, false when the capture ended before any arrived. False when capture cannot
    // even begin (then `onStarted` is never called).
    virtual bool record(std::function<void(bool capturing)> onStarted) = 0;
    // Ends the recording and leaves a complete, playable file. No `onStarted` call follows
    // once it returns. Safe to call twice.
    virtual void stop() = 0;
    // The recording's file.
    virtual QString path() const = 0;
    // Why the file on disk is not a complete copy of what was captured (a full disk, a write
    // error, a capture that never started), once such a fault happened; empty while all is
    // well. A sound server lost after the first samples is no failure: what was captured
    // until then is kept.
    virtual Failure failure() const { return std::nullopt; }
    // How much sound the file holds so far, in milliseconds; nothing when the back end cannot
    // tell.
    virtual std::optional<qint64> recordedMs() const { return std::nullopt; }
};

// Makes recording objects on the default microphone.
class AudioCaptureBackend
{
public:
    virtual ~AudioCaptureBackend() = default;

    // A new, not yet prepared recording for the file at `path`, or the reason it was refused.
    // Does no I/O of its own.
    virtual Result<std::unique_ptr<AudioRecording>> makeRecording(const QString& path) = 0;
};
