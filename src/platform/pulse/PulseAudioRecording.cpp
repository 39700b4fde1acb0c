#include "platform/pulse/PulseAudioRecording.h"

#include "common/DebugLog.h"
#include "platform/pulse/WavFileWriter.h"

#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

namespace {

// Small fragments: the first samples arrive quickly and little is left in flight on stop.
constexpr std::uint32_t fragmentMs = 10;

const pa_sample_spec captureSpec{PA_SAMPLE_S16LE, WavFileWriter::sampleRate, 1};

} // namespace

PulseAudioRecording::PulseAudioRecording(QString path, QString server)
    : m_path(std::move(path)), m_server(std::move(server)),
      m_connection(std::make_unique<PulseConnection>())
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
    m_writer = std::move(writer).value();
    return true;
}

bool PulseAudioRecording::record(std::function<void(bool capturing)> onStarted)
{
    if (!m_writer || m_recording || m_stopped)
        return false;
    m_recording = true;
    m_onStarted = std::move(onStarted);
    if (Failure failure = m_connection->beginConnect(m_server, [this] { onConnectionState(); })) {
        // Nothing was started, so no callback can race these writes.
        DebugLog::write(QStringLiteral("audio capture error=") + failure->message);
        m_startFailure = failure;
        m_onStarted = nullptr;
        return false;
    }
    return true;
}

void PulseAudioRecording::onConnectionState()
{
    if (m_connection->isReady() && !m_stream)
        openStream();
    else if (m_connection->hasFailed() && m_framesCaptured.load() == 0)
        failToStart(QStringLiteral("Could not connect to the sound server: %1")
                        .arg(m_connection->lastError()));
}

void PulseAudioRecording::openStream()
{
    m_stream = pa_stream_new(m_connection->context(), "Dictation", &captureSpec, nullptr);
    if (!m_stream) {
        failToStart(
            QStringLiteral("Could not open the microphone: %1").arg(m_connection->lastError()));
        return;
    }
    pa_stream_set_state_callback(m_stream, onStreamState, this);
    pa_stream_set_read_callback(m_stream, onRead, this);

    pa_buffer_attr buffer{};
    buffer.maxlength = std::uint32_t(-1);
    buffer.fragsize = std::uint32_t(pa_usec_to_bytes(fragmentMs * PA_USEC_PER_MSEC, &captureSpec));
    if (pa_stream_connect_record(m_stream, nullptr, &buffer, PA_STREAM_ADJUST_LATENCY) < 0) {
        failToStart(
            QStringLiteral("Could not open the microphone: %1").arg(m_connection->lastError()));
        closeStream();
    }
}

void PulseAudioRecording::onStreamState(pa_stream* stream, void* data)
{
    auto* self = static_cast<PulseAudioRecording*>(data);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) && self->m_framesCaptured.load() == 0)
        self->failToStart(QStringLiteral("Could not open the microphone: %1")
                              .arg(self->m_connection->lastError()));
}

void PulseAudioRecording::failToStart(const QString& reason)
{
    if (!m_startFailure) {
        DebugLog::write(QStringLiteral("audio capture error=") + reason);
        m_startFailure = QuorError{reason};
    }
    if (auto onStarted = std::exchange(m_onStarted, nullptr))
        onStarted(false);
}

void PulseAudioRecording::onRead(pa_stream* stream, std::size_t, void* data)
{
    static_cast<PulseAudioRecording*>(data)->drain(stream);
}

void PulseAudioRecording::drain(pa_stream* stream)
{
    const void* bytes = nullptr;
    std::size_t length = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &bytes, &length) == 0) {
        if (length == 0)
            break; // nothing buffered after all
        const std::size_t frames = length / sizeof(std::int16_t);
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
    if (m_framesCaptured.load() > 0) {
        if (auto onStarted = std::exchange(m_onStarted, nullptr))
            onStarted(true);
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
        m_onStarted = nullptr;
        if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY)
            drain(m_stream); // keep what already reached us
        closeStream();
    }
    // No callback can run any more: the connection goes, then the file is completed.
    m_connection.reset();
    if (m_writer)
        m_failure = m_writer->close();
    // An empty file is no recording: say why instead of handing it on.
    if (!m_failure && m_recording && m_framesCaptured.load() == 0)
        m_failure =
            m_startFailure
                ? m_startFailure
                : QuorError{QStringLiteral("Nothing was recorded: the sound server sent no sound")};
}

std::optional<qint64> PulseAudioRecording::recordedMs() const
{
    return m_framesCaptured.load() * 1000 / WavFileWriter::sampleRate;
}

Failure PulseAudioRecording::failure() const
{
    if (m_stopped)
        return m_failure;
    PulseConnection::Lock lock(*m_connection);
    if (m_writer && m_writer->failure())
        return m_writer->failure();
    return m_startFailure;
}
