#pragma once

#include "dictation/WhisperTranscriber.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

// Transcribes by running whisper-cli once per call, blocking until it has exited. Holds no
// state beyond where to look for the program and the model; both are looked up afresh on
// every call, first in the resource directory, then (the model only) in the user's data
// folder, then in the development builds below the current working directory. A model is
// named as published ("large-v3-turbo", "small-q5_1"); its file is "ggml-NAME.bin".
class WhisperCLITranscriber : public OneShotWhisperTranscriber
{
public:
    // `resourceDirectory` holds "Whisper/whisper-cli" and "Whisper/ggml-NAME.bin" files;
    // empty means the application has none. `userDataDirectory` may hold
    // "Whisper/ggml-NAME.bin" files (a packaged app ships without a model); empty means
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

    // `audioFile` is a plain file-system path to the recording. The child never outlives
    // Wendlo, and a stop kills it with everything it started.
    Result<QString> transcribe(const QString& audioFile, ChildProcessStop& stop) const override;
    // The same, never stopped.
    Result<QString> transcribe(const QString& audioFile) const;

    // The language the recogniser is told ("-l CODE"), asked afresh for every run and on the
    // run's own thread; empty leaves whisper-cli's default. Set before the first run.
    void setLanguageSource(std::function<QString()> language) { m_language = std::move(language); }

    // The model chosen for each run, asked afresh on the run's own thread; a source that is
    // unset or answers empty means `defaultModel()`. Set before the first run.
    void setModelSource(std::function<QString()> model) { m_model = std::move(model); }

    static QString defaultModel() { return QStringLiteral("large-v3-turbo"); }
    // Whether `name` can name a model file: letters, digits, ".", "_" and "-", starting with
    // a letter (never a path, never an option).
    static bool isModelName(const QString& name);
    static QString modelFileName(const QString& name);

    // whisper-cli's arguments for one run.
    static QStringList arguments(const QString& model, const QString& audio,
                                 const QString& language);

    // The model file a run would use, or why there is none (the settings window shows it).
    Result<QString> modelURL() const;
    // The same for the model `name`.
    Result<QString> modelURL(const QString& name) const;
    // The names of the model files in the resource directory, then the user's data folder,
    // each once, sorted within a folder.
    QStringList installedModels() const;

private:
    Result<QString> executableURL() const;

    QString m_resourceDirectory;
    std::function<QString()> m_language;
    std::function<QString()> m_model;
    QString m_userDataDirectory;
};
