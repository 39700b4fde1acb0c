#include "platform/pulse/PulseAudioRecording.h"

#include "dictation/DebugLog.h"
#include "platform/pulse/WavFileWriter.h"

#include <algorithm>
#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

namespace {

constexpr int streamTimeoutMs = 3000;
// Small fragments: the first samples arrive quickly and little is left in flight on stop.
constexpr std::uint32_t fragmentMs = 20;

const pa_sample_spec captureSpec{PA_SAMPLE_S16LE, WavFileWriter::sampleRate, 1};

} // namespace

PulseAudioRecording::PulseAudioRecording(QString path, std::unique_ptr<PulseConnection> connection)
    : m_path(std::move(path)), m_connection(std::move(connection))
{
}

PulseAudioRecording::~PulseAudioRecording()
{
    stop();
}

bool PulseAudioRecording::prepareToRecord()
{
    if (m_writer)
        return true;
    if (m_stopped)
        return false;
    Result<std::unique_ptr<WavFileWriter>> writer = WavFileWriter::create(m_path);
    if (!writer) {
        DebugLog::write(QStringLiteral("audio capture error=") + writer.error().message);
        return false;
    }
    PulseConnection::Lock lock(*m_connection);
    m_writer = std::move(writer).value();
    return true;
}

bool PulseAudioRecording::record()
{
    return startStream(-1);
}

bool PulseAudioRecording::recordForDuration(double seconds)
{
    return startStream(
        std::max<std::int64_t>(0, std::int64_t(seconds * WavFileWriter::sampleRate)));
}

bool PulseAudioRecording::startStream(std::int64_t frameLimit)
{
    if (!m_writer || m_stream || m_stopped)
        return false;
    PulseConnection::Lock lock(*m_connection);
    m_frameLimit = frameLimit;
    m_stream = pa_stream_new(m_connection->context(), "Dictation", &captureSpec, nullptr);
    if (!m_stream) {
        DebugLog::write(QStringLiteral("audio capture error=") + m_connection->lastError());
        return false;
    }
    pa_stream_set_state_callback(m_stream, onStreamState, this);
    pa_stream_set_read_callback(m_stream, onRead, this);

    pa_buffer_attr buffer{};
    buffer.maxlength = std::uint32_t(-1);
    buffer.fragsize = std::uint32_t(pa_usec_to_bytes(fragmentMs * PA_USEC_PER_MSEC, &captureSpec));
    if (pa_stream_connect_record(m_stream, nullptr, &buffer, PA_STREAM_ADJUST_LATENCY) < 0) {
        DebugLog::write(QStringLiteral("audio capture error=") + m_connection->lastError());
        closeStream();
        return false;
    }
    const bool settled = m_connection->waitFor(
        [this] {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        streamTimeoutMs);
    if (!settled || pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        DebugLog::write(QStringLiteral("audio capture error=") +
                        (settled ? m_connection->lastError() : QStringLiteral("no answer")));
        closeStream();
        return false;
    }
    return true;
}

void PulseAudioRecording::onStreamState(pa_stream*, void* data)
{
    static_cast<PulseAudioRecording*>(data)->m_connection->signal();
}

void PulseAudioRecording::onRead(pa_stream* stream, std::size_t, void* data)
{
    static_cast<PulseAudioRecording*>(data)->drain(stream);
}

// Runs on the connection's thread with its lock held.
void PulseAudioRecording::drain(pa_stream* stream)
{
    const void* bytes = nullptr;
    std::size_t length = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &bytes, &length) == 0) {
        if (length == 0)
            break; // nothing buffered after all
        std::size_t frames = length / sizeof(std::int16_t);
        if (m_frameLimit >= 0) {
            const std::int64_t left =
                std::max<std::int64_t>(0, m_frameLimit - m_writer->framesWritten());
            frames = std::size_t(std::min<std::int64_t>(std::int64_t(frames), left));
        }
        if (frames > 0) {
            // A hole (no data) keeps its duration as silence.
            if (bytes)
                m_writer->write(static_cast<const std::int16_t*>(bytes), frames);
            else
                m_writer->writeSilence(frames);
            m_framesCaptured.store(m_writer->framesWritten());
        }
        pa_stream_drop(stream);
    }
}

void PulseAudioRecording::closeStream()
{
    if (!m_stream)
        return;
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
        pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulseAudioRecording::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    {
        PulseConnection::Lock lock(*m_connection);
        if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY)
            drain(m_stream); // keep what already reached us
        closeStream();
    }
    // No callback can run any more: the connection goes, then the file is completed.
    m_connection.reset();
    if (m_writer)
        m_failure = m_writer->close();
}

Failure PulseAudioRecording::failure() const
{
    if (m_stopped)
        return m_failure;
    PulseConnection::Lock lock(*m_connection);
    return m_writer ? m_writer->failure() : std::nullopt;
}
