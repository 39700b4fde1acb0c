#include "dictation/DictationRecorder.h"

#include "dictation/DebugLog.h"
#include "dictation/MainThreadTask.h"
#include "dictation/PrivateTempDir.h"

#include <QUuid>

namespace {

// The probe records for 0.2 s but reports only after 0.4 s, so the permission has settled.
constexpr double probeSeconds = 0.2;
constexpr int probeReportMs = 400;

} // namespace

DictationRecorder::DictationRecorder(std::unique_ptr<AudioCaptureBackend> backend,
                                     const RecordPermission& permission)
    : m_backend(std::move(backend)), m_permission(permission)
{
}

DictationRecorder::~DictationRecorder() = default;

Result<std::unique_ptr<AudioRecording>> DictationRecorder::makeRecorder()
{
    const Result<QString> folder = PrivateTempDir::ensureFolder(QStringLiteral("QuorDictation"));
    if (!folder)
        return folder.error();
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return m_backend->makeRecording(folder.value() + QLatin1Char('/') + name +
                                    QStringLiteral(".wav"));
}

Failure DictationRecorder::start()
{
    Result<std::unique_ptr<AudioRecording>> made = makeRecorder();
    if (!made)
        return made.error();
    std::unique_ptr<AudioRecording> recording = std::move(made).value();

    if (!recording->prepareToRecord() || !recording->record()) {
        DebugLog::write(QStringLiteral("recorder start failed path=") + recording->url());
        recording.reset();
        return QuorError{QStringLiteral("Could not start recording")};
    }
    // Overlapping start sequences replace the earlier recording; releasing it ends its capture.
    m_audioURL = recording->url();
    m_recorder = std::move(recording);
    return std::nullopt;
}

Result<QString> DictationRecorder::stop()
{
    if (!m_recorder || m_audioURL.isEmpty())
        return QuorError{QStringLiteral("Recording was not active")};

    const QString location = m_audioURL;
    m_recorder->stop();
    // A file cut short by a write fault must not reach the transcriber as if it were whole.
    const Failure fault = m_recorder->failure();
    m_recorder.reset();
    m_audioURL.clear();
    if (fault)
        return *fault;
    return location;
}

void DictationRecorder::promptForPermission(std::function<void(bool confirmed)> completion)
{
    Result<std::unique_ptr<AudioRecording>> made = makeRecorder();
    if (!made) {
        DebugLog::write(QStringLiteral("recorder prompt probe error=") +
                        made.error().localizedDescription());
        completion(false);
        return;
    }
    // Shared so the delayed work (a copyable function) keeps the probe alive until it runs.
    std::shared_ptr<AudioRecording> probe = std::move(made).value();
    if (!probe->prepareToRecord() || !probe->recordForDuration(probeSeconds)) {
        DebugLog::write(QStringLiteral("recorder prompt probe failed to start"));
        probe.reset();
        completion(false);
        return;
    }
    postDelayed(&m_context, probeReportMs, [this, probe, completion = std::move(completion)] {
        probe->stop();
        const bool granted = m_permission.state() == MicrophonePermissionState::Granted;
        DebugLog::write(QStringLiteral("recorder prompt probe confirmed=") +
                        (granted ? QStringLiteral("true") : QStringLiteral("false")));
        completion(granted);
    });
}
