#include "platform/pulse/PulseAudioCapture.h"

#include "platform/pulse/PulseAudioRecording.h"
#include "platform/pulse/PulseConnection.h"

namespace {

constexpr int connectTimeoutMs = 3000;

} // namespace

PulseAudioCapture::PulseAudioCapture(QString server) : m_server(std::move(server)) {}

Result<std::unique_ptr<AudioRecording>> PulseAudioCapture::makeRecording(const QString& path)
{
    auto connection = std::make_unique<PulseConnection>();
    if (Failure failure = connection->connect(m_server, connectTimeoutMs))
        return *failure;
    return std::unique_ptr<AudioRecording>(
        std::make_unique<PulseAudioRecording>(path, std::move(connection)));
}
