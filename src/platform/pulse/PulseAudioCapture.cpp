#include "platform/pulse/PulseAudioCapture.h"

#include "platform/pulse/PulseAudioRecording.h"

PulseAudioCapture::PulseAudioCapture(QString server) : m_server(std::move(server)) {}

Result<std::unique_ptr<AudioRecording>> PulseAudioCapture::makeRecording(const QString& path)
{
    return std::unique_ptr<AudioRecording>(std::make_unique<PulseAudioRecording>(path, m_server));
}
