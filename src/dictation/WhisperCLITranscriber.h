#pragma once

#include "dictation/WhisperTranscriber.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

// Transcribes by running whisper-cli once per call, blocking until it has exited. Holds no
// state beyond where to look for the program and the model; both are looked up afresh on
// every call, first in the resource directory, then (the model only) in the user's data
// folder, then in the development builds below the current working directory.
class WhisperCLITranscriber : public OneShotWhisperTranscriber
{
public:
    // `resourceDirectory` holds "Whisper/whisper-cli" and "Whisper/ggml-large-v3-turbo.bin";
    // empty means the application has none. `userDataDirectory` may hold
    // "Whisper/ggml-large-v3-turbo.bin" (a packaged app ships without the model); empty means
    // none. Without either, only the development paths are tried.
    explicit WhisperCLITranscriber(QString resourceDirectory = defaultResourceDirectory(),
                                   QString userDataDirectory = defaultUserDataDirectory());

    // `<directory of the executable>/../share/wendlo`, or empty without an application object.
    static QString defaultResourceDirectory();
    // `userDataDirectory` of this process's environment.
    static QString defaultUserDataDirectory();
    // `$XDG_DATA_HOME/wendlo`, or `~/.local/share/wendlo` when that is unset, empty or
    // relative (which the XDG rules say to ignore).
    static QString userDataDirectory(const QProcessEnvironment& environment);

    // `audioURL` is a plain file-system path to the recording. The child never outlives
    // Wendlo, and a stop kills it with everything it started.
    Result<QString> transcribe(const QString& audioURL, ChildProcessStop& stop) const override;
    // The same, never stopped.
    Result<QString> transcribe(const QString& audioURL) const;

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
    QString m_userDataDirectory;
};
