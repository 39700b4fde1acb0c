#pragma once

#include "common/QuorError.h"
#include "platform/AudioCaptureBackend.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// A finished recording's file, deleted when the last holder lets go unless files are kept for
// diagnosis. A transcription holds it while it reads the file.
class RecordingFile
{
public:
    RecordingFile(QString path, bool keep) : m_path(std::move(path)), m_keep(keep) {}
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    const QString& path() const { return m_path; }

private:
    QString m_path;
    bool m_keep;
};

// Records the microphone into a new WAV file per dictation, and confirms the microphone
// permission by the first samples of a capture.
//
// The confirmation and the recording are one capture: a probe made for a dictation
// (`keepForRecording`) stays open once its first samples arrived and the next `start()` takes
// it over, so the recording holds the audio from the moment the probe began. A probe made
// only to check the permission ends with its answer. Files are deleted once nothing needs
// them (a probe's with its answer, a recording's after its transcription) unless `keepFiles`.
class DictationRecorder
{
public:
    // How long a capture may take to deliver its first samples before it counts as refused.
    static constexpr int firstSamplesTimeoutMs = 2500;

    DictationRecorder(std::unique_ptr<AudioCaptureBackend> backend, bool keepFiles);
    ~DictationRecorder();

    // Takes over the capture a `keepForRecording` probe left open, else opens a new one.
    Failure start();
    Result<QString> stop();
    // How much sound the last stopped recording holds; nothing when the capture cannot tell.
    std::optional<qint64> lastRecordedMs() const { return m_lastRecordedMs; }
    // Calls `completion` exactly once: at once when the probe cannot start, else later on the
    // main thread, true with the capture's first samples, false when it failed or stayed
    // silent for `firstSamplesTimeoutMs`. A probe while another is waiting shares its
    // capture. Never touches the running recording.
    void promptForPermission(std::function<void(bool confirmed)> completion,
                             bool keepForRecording = false);
    // Ends the capture a probe keeps open for a recording that will not come; completions
    // still waiting on it are never called.
    void discardPendingCapture();
    // Owns the file of a stopped recording from here on.
    std::shared_ptr<RecordingFile> takeFile(const QString& path) const;
    // Deletes recordings an earlier run left behind (one that crashed), unless files are kept.
    void removeLeftovers() const;

private:
    struct PendingCapture;

    Result<std::unique_ptr<AudioRecording>> makeRecorder();
    void settle(quint64 id, bool capturing, const QString& reason = {});
    void closePending();
    void adopt(std::unique_ptr<AudioRecording> recording);
    void dispose(const QString& path) const;

    // Declared first, so it outlives every capture whose callbacks post to it.
    QObject m_context;
    std::unique_ptr<AudioCaptureBackend> m_backend;
    const bool m_keepFiles;
    std::unique_ptr<PendingCapture> m_pending;
    std::unique_ptr<AudioRecording> m_recorder;
    QString m_audioFile;
    std::optional<qint64> m_lastRecordedMs;
    quint64 m_nextCaptureId = 1;
};
