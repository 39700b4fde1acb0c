#pragma once

#include "platform/AudioCaptureBackend.h"
#include "platform/pulse/PulseConnection.h"

#include <atomic>
#include <cstdint>
#include <memory>

class WavFileWriter;
struct pa_stream;

// One capture from the default source into one WAV file. The connection and the stream are
// opened on the connection's own thread, and captured data is written there as it arrives,
// so the main thread never waits on the sound server or the disk. Losing the server mid-way
// ends the capture but keeps what was written; releasing the object stops it as `stop()` does.
class PulseAudioRecording : public AudioRecording
{
public:
    // `server` empty: the session's server.
    PulseAudioRecording(QString path, QString server);
    ~PulseAudioRecording() override;

    bool prepareToRecord() override;
    bool record(std::function<void(bool capturing)> onStarted) override;
    void stop() override;
    QString path() const override { return m_path; }
    Failure failure() const override;
    std::optional<qint64> recordedMs() const override;

    // Samples captured for the file so far; readable from any thread.
    std::int64_t framesCaptured() const { return m_framesCaptured.load(); }

private:
    // These run on the connection's thread with its lock held.
    void onConnectionState();
    void openStream();
    static void onRead(pa_stream* stream, std::size_t bytes, void* data);
    static void onStreamState(pa_stream* stream, void* data);
    void drain(pa_stream* stream);
    void closeStream();
    void failToStart(const QString& reason);

    QString m_path;
    QString m_server;
    std::unique_ptr<PulseConnection> m_connection;
    std::unique_ptr<WavFileWriter> m_writer; // touched with the connection's lock held
    pa_stream* m_stream = nullptr;
    std::function<void(bool)> m_onStarted; // lock held; cleared once called
    std::atomic<std::int64_t> m_framesCaptured{0};
    Failure m_startFailure; // lock held
    Failure m_failure;
    bool m_recording = false;
    bool m_stopped = false;
};
