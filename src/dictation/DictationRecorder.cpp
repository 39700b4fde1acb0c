#include "dictation/DictationRecorder.h"

#include "common/DebugLog.h"
#include "common/MainThreadTask.h"
#include "common/PrivateTempDir.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>

RecordingFile::~RecordingFile()
{
    if (!m_keep)
        QFile::remove(m_path);
}

struct DictationRecorder::PendingCapture
{
    enum class Status
    {
        Waiting,
        Capturing,
        Failed
    };

    quint64 id = 0;
    QString path;
    std::unique_ptr<AudioRecording> recording; // gone once failed
    bool keepForRecording = false;
    Status status = Status::Waiting;
    std::vector<std::function<void(bool)>> waiters;
};

DictationRecorder::DictationRecorder(std::unique_ptr<AudioCaptureBackend> backend, bool keepFiles)
    : m_backend(std::move(backend)), m_keepFiles(keepFiles)
{
}

DictationRecorder::~DictationRecorder()
{
    // Captures end before the context that their callbacks post to.
    if (m_pending)
        closePending();
    m_recorder.reset();
}

Result<std::unique_ptr<AudioRecording>> DictationRecorder::makeRecorder()
{
    const Result<QString> folder = PrivateTempDir::ensureAppFolder();
    if (!folder)
        return folder.error();
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return m_backend->makeRecording(folder.value() + QLatin1Char('/') + name +
                                    QStringLiteral(".wav"));
}

Failure DictationRecorder::start()
{
    if (m_pending && m_pending->keepForRecording) {
        std::unique_ptr<PendingCapture> pending = std::move(m_pending);
        if (pending->status == PendingCapture::Status::Failed) {
            DebugLog::write(QStringLiteral("recorder start failed path=") + pending->path);
            return QuorError{QStringLiteral("Could not start recording")};
        }
        adopt(std::move(pending->recording));
        return std::nullopt;
    }

    Result<std::unique_ptr<AudioRecording>> made = makeRecorder();
    if (!made)
        return made.error();
    std::unique_ptr<AudioRecording> recording = std::move(made).value();
    if (!recording->prepareToRecord() || !recording->record([](bool) {})) {
        const QString path = recording->path();
        DebugLog::write(QStringLiteral("recorder start failed path=") + path);
        recording.reset();
        dispose(path);
        return QuorError{QStringLiteral("Could not start recording")};
    }
    adopt(std::move(recording));
    return std::nullopt;
}

void DictationRecorder::adopt(std::unique_ptr<AudioRecording> recording)
{
    // Overlapping start sequences replace the earlier recording; releasing it ends its
    // capture, and nobody will transcribe its file.
    if (m_recorder) {
        m_recorder.reset();
        dispose(m_audioFile);
    }
    m_audioFile = recording->path();
    m_recorder = std::move(recording);
}

Result<QString> DictationRecorder::stop()
{
    if (!m_recorder || m_audioFile.isEmpty())
        return QuorError{QStringLiteral("Recording was not active")};

    const QString location = m_audioFile;
    m_recorder->stop();
    m_lastRecordedMs = m_recorder->recordedMs();
    // A file cut short by a write fault must not reach the transcriber as if it were whole.
    const Failure fault = m_recorder->failure();
    m_recorder.reset();
    m_audioFile.clear();
    if (fault) {
        dispose(location);
        return *fault;
    }
    return location;
}

void DictationRecorder::promptForPermission(std::function<void(bool confirmed)> completion,
                                            bool keepForRecording)
{
    if (m_pending && m_pending->status == PendingCapture::Status::Failed)
        closePending(); // a fresh attempt
    if (m_pending) {
        m_pending->keepForRecording = m_pending->keepForRecording || keepForRecording;
        if (m_pending->status == PendingCapture::Status::Capturing)
            postTask(&m_context, [completion = std::move(completion)] { completion(true); });
        else
            m_pending->waiters.push_back(std::move(completion));
        return;
    }

    Result<std::unique_ptr<AudioRecording>> made = makeRecorder();
    if (!made) {
        DebugLog::write(QStringLiteral("recorder prompt probe error=") +
                        made.error().localizedDescription());
        completion(false);
        return;
    }
    std::unique_ptr<AudioRecording> recording = std::move(made).value();
    const quint64 id = m_nextCaptureId++;
    // The capture reports from its own thread; the answer is handled on ours.
    const auto onStarted = [this, id](bool capturing) {
        postTask(&m_context, [this, id, capturing] { settle(id, capturing); });
    };
    if (!recording->prepareToRecord() || !recording->record(onStarted)) {
        DebugLog::write(QStringLiteral("recorder prompt probe failed to start"));
        const QString path = recording->path();
        recording.reset();
        dispose(path);
        completion(false);
        return;
    }
    m_pending = std::make_unique<PendingCapture>();
    m_pending->id = id;
    m_pending->path = recording->path();
    m_pending->recording = std::move(recording);
    m_pending->keepForRecording = keepForRecording;
    m_pending->waiters.push_back(std::move(completion));
    postDelayed(&m_context, firstSamplesTimeoutMs, [this, id] {
        settle(id, false,
               QStringLiteral("no sound from the microphone within %1 s")
                   .arg(firstSamplesTimeoutMs / 1000.0));
    });
}

void DictationRecorder::settle(quint64 id, bool capturing, const QString& reason)
{
    if (!m_pending || m_pending->id != id || m_pending->status != PendingCapture::Status::Waiting)
        return;
    if (!reason.isEmpty())
        DebugLog::write(QStringLiteral("recorder prompt probe error=") + reason);
    DebugLog::write(QStringLiteral("recorder prompt probe confirmed=") + DebugLog::boolText(capturing));
    const std::vector<std::function<void(bool)>> waiters = std::exchange(m_pending->waiters, {});
    if (!capturing) {
        // Kept as failed for a recording that was to take it over, so that its start fails.
        m_pending->status = PendingCapture::Status::Failed;
        m_pending->recording.reset();
        dispose(m_pending->path);
        if (!m_pending->keepForRecording)
            m_pending.reset();
    } else if (m_pending->keepForRecording) {
        m_pending->status = PendingCapture::Status::Capturing;
    } else {
        closePending();
    }
    for (const auto& waiter : waiters)
        waiter(capturing);
}

void DictationRecorder::discardPendingCapture()
{
    if (m_pending)
        closePending();
}

void DictationRecorder::closePending()
{
    std::unique_ptr<PendingCapture> pending = std::move(m_pending);
    pending->recording.reset();
    dispose(pending->path);
}

void DictationRecorder::dispose(const QString& path) const
{
    if (!m_keepFiles && !path.isEmpty())
        QFile::remove(path);
}

std::shared_ptr<RecordingFile> DictationRecorder::takeFile(const QString& path) const
{
    return std::make_shared<RecordingFile>(path, m_keepFiles);
}

void DictationRecorder::removeLeftovers() const
{
    if (m_keepFiles)
        return;
    // Checked like every use of the folder: never delete in a folder that is not ours.
    const Result<QString> folder = PrivateTempDir::ensureAppFolder();
    if (!folder)
        return;
    static const QRegularExpression recordingName(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.wav$"));
    QDir dir(folder.value());
    int removed = 0;
    for (const QString& name : dir.entryList({QStringLiteral("*.wav")}, QDir::Files)) {
        if (recordingName.match(name).hasMatch() && dir.remove(name))
            ++removed;
    }
    if (removed > 0)
        DebugLog::write(
            QStringLiteral("removed %1 recordings left by an earlier run").arg(removed));
}
