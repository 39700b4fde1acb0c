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

    // `audioURL` is a plain file-system path to the recording.
    Result<QString> transcribe(const QString& audioURL) const override;

    // The model a transcription would use now; also what the launch prefetch reads.
    Result<QString> modelURL() const;

private:
    Result<QString> executableURL() const;

    QString m_resourceDirectory;
};
