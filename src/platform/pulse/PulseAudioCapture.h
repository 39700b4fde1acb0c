#pragma once

#include "platform/AudioCaptureBackend.h"

// Recordings on the sound server's default source (PulseAudio, or PipeWire's PulseAudio
// service). Each recording has a connection of its own, opened when it starts recording, so a
// probe can run beside a dictation.
class PulseAudioCapture : public AudioCaptureBackend
{
public:
    // `server` empty: the session's server. Tests and benchmarks name a private one.
    explicit PulseAudioCapture(QString server = {});

    Result<std::unique_ptr<AudioRecording>> makeRecording(const QString& path) override;

private:
    QString m_server;
};
