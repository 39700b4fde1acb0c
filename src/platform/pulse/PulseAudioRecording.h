#pragma once

#include "platform/AudioCaptureBackend.h"
#include "platform/pulse/PulseConnection.h"

#include <atomic>
#include <cstdint>
#include <memory>

class WavFileWriter;
struct pa_stream;

// One capture from the default source into one WAV file. Captured data is written on the
// connection's own thread as it arrives, so the main thread never waits on the disk. Losing
// the server mid-way ends the capture but keeps what was written; releasing the object stops
// it as `stop()` does.
class PulseAudioRecording : public AudioRecording
{
public:
    PulseAudioRecording(QString path, std::unique_ptr<PulseConnection> connection);
    ~PulseAudioRecording() override;

    bool prepareToRecord() override;
    bool record() override;
    bool recordForDuration(double seconds) override;
    void stop() override;
    QString url() const override { return m_path; }
    Failure failure() const override;

    // Samples captured for the file so far; readable from any thread.
    std::int64_t framesCaptured() const { return m_framesCaptured.load(); }

private:
    bool startStream(std::int64_t frameLimit);
    static void onRead(pa_stream* stream, std::size_t bytes, void* data);
    static void onStreamState(pa_stream* stream, void* data);
    void drain(pa_stream* stream);
    void closeStream();

    QString m_path;
    std::unique_ptr<PulseConnection> m_connection;
    std::unique_ptr<WavFileWriter> m_writer; // touched with the connection's lock held
    pa_stream* m_stream = nullptr;
    std::int64_t m_frameLimit = -1; // -1: until stopped
    std::atomic<std::int64_t> m_framesCaptured{0};
    Failure m_failure;
    bool m_stopped = false;
};
