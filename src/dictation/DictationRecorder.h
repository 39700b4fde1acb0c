#pragma once

#include "dictation/QuorError.h"
#include "platform/AudioCaptureBackend.h"
#include "platform/RecordPermission.h"

#include <QObject>

#include <functional>
#include <memory>

// Records the microphone into a new WAV file per dictation, and runs the permission probe.
class DictationRecorder
{
public:
    // `permission` is observed, not owned; it outlives the recorder.
    DictationRecorder(std::unique_ptr<AudioCaptureBackend> backend,
                      const RecordPermission& permission);
    ~DictationRecorder();

    Failure start();
    Result<QString> stop();
    // Calls `completion` exactly once: at once when the probe cannot start, else 0.4 s later
    // on the main thread. Never touches the stored recording.
    void promptForPermission(std::function<void(bool confirmed)> completion);

private:
    Result<std::unique_ptr<AudioRecording>> makeRecorder();

    std::unique_ptr<AudioCaptureBackend> m_backend;
    const RecordPermission& m_permission;
    std::unique_ptr<AudioRecording> m_recorder;
    QString m_audioURL;
    QObject m_context; // guards delayed probe work
};
