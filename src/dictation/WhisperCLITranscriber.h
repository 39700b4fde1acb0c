#pragma once

#include "dictation/WhisperTranscriber.h"

#include <QString>

// Transcribes by running whisper-cli once per call, blocking until it has exited. Holds no
// state beyond where to look for the program and the model; both are looked up afresh on
// every call, first in the resource directory, then in the development builds below the
// current working directory.
class WhisperCLITranscriber : public OneShotWhisperTranscriber
{
public:
    // `resourceDirectory` holds "Whisper/whisper-cli" and "Whisper/ggml-large-v3-turbo.bin";
    // empty means the application has none and only the development paths are tried.
    explicit WhisperCLITranscriber(QString resourceDirectory = defaultResourceDirectory());

    // `<directory of the executable>/../share/wendlo`, or empty without an application object.
    static QString defaultResourceDirectory();

    // `audioURL` is a plain file-system path to the recording. The child never outlives
    // Wendlo, and a stop kills it with everything it started.
    Result<QString> transcribe(const QString& audioURL, ChildProcessStop& stop) const override;
    // The same, never stopped.
    Result<QString> transcribe(const QString& audioURL) const;

private:
    Result<QString> executableURL() const;
    Result<QString> modelURL() const;

    QString m_resourceDirectory;
};
