#pragma once

#include "dictation/WhisperTranscriber.h"

#include <QString>
#include <QStringList>
#include <functional>

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

    // The language the recogniser is told ("-l CODE"), asked afresh for every run and on the
    // run's own thread; empty leaves whisper-cli's default. Set before the first run.
    void setLanguageSource(std::function<QString()> language) { m_language = std::move(language); }

    // whisper-cli's arguments for one run.
    static QStringList arguments(const QString& model, const QString& audio,
                                 const QString& language);

    // The model file a run would use, or why there is none (the settings window shows it).
    Result<QString> modelURL() const;

private:
    Result<QString> executableURL() const;

    QString m_resourceDirectory;
    std::function<QString()> m_language;
};
