#include "dictation/WhisperCLITranscriber.h"

#include "common/ChildProcess.h"
#include "common/DebugLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringList>
#include <utility>

namespace {

const QString kExecutableName = QStringLiteral("Whisper/whisper-cli");
const QString kModelFolder = QStringLiteral("Whisper");
const QString kModelPrefix = QStringLiteral("ggml-");
const QString kModelSuffix = QStringLiteral(".bin");

const QString kFetchCommand = QStringLiteral("wendlo-fetch-model");

// `bundled` inside each base directory that is set, in order, then the development paths.
QStringList candidates(const QStringList& baseDirectories, const QString& bundled,
                       const QStringList& development)
{
    QStringList paths;
    for (const QString& base : baseDirectories) {
        if (!base.isEmpty())
            paths << QDir(base).filePath(bundled);
    }
    const QDir workingDirectory(QDir::currentPath());
    for (const QString& relative : development)
        paths << workingDirectory.filePath(relative);
    return paths;
}

// How the "model not found" text names the download command: bare when a shell finds this
// app's copy, else by its full path beside the executable (a build tree, an unlisted prefix).
QString fetchCommand()
{
    if (!QCoreApplication::instance())
        return kFetchCommand;
    const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()).filePath(kFetchCommand));
    if (!beside.isFile() || !beside.isExecutable())
        return kFetchCommand;
    const QString found = QStandardPaths::findExecutable(kFetchCommand);
    if (!found.isEmpty() && QFileInfo(found).canonicalFilePath() == beside.canonicalFilePath())
        return kFetchCommand;
    return beside.absoluteFilePath();
}

// whisper.cpp prints token by token and can split a multi-byte character between two tokens:
// one bad sequence must not cost the rest of the text, so it becomes U+FFFD.
QString decodeUtf8(const QByteArray& bytes, const char* stream)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (!decoder.hasError())
        return text;
    DebugLog::write(QStringLiteral("whisper-cli %1 was not valid UTF-8, bytes=%2: invalid "
                                   "sequences replaced by U+FFFD")
                        .arg(QLatin1String(stream))
                        .arg(bytes.size()));
    return text;
}

} // namespace

WhisperCLITranscriber::WhisperCLITranscriber(QString resourceDirectory, QString userDataDirectory)
    : m_resourceDirectory(std::move(resourceDirectory)),
      m_userDataDirectory(std::move(userDataDirectory))
{
}

QString WhisperCLITranscriber::defaultResourceDirectory()
{
    if (!QCoreApplication::instance())
        return QString();
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/wendlo");
}

QString WhisperCLITranscriber::defaultUserDataDirectory()
{
    return userDataDirectory(QProcessEnvironment::systemEnvironment());
}

QString WhisperCLITranscriber::userDataDirectory(const QProcessEnvironment& environment)
{
    QString base = environment.value(QStringLiteral("XDG_DATA_HOME"));
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        const QString home = environment.value(QStringLiteral("HOME"), QDir::homePath());
        if (home.isEmpty() || QDir::isRelativePath(home))
            return QString();
        base = home + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(base + QStringLiteral("/wendlo"));
}

Result<QString> WhisperCLITranscriber::executableURL() const
{
    const QStringList paths =
        candidates({m_resourceDirectory}, kExecutableName,
                   {QStringLiteral("experiment/vendor/whisper.cpp/build-static/bin/whisper-cli"),
                    QStringLiteral("experiment/vendor/whisper.cpp/build/bin/whisper-cli")});
    for (const QString& path : paths) {
        // A directory is "executable" by its search bit but can never be run.
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return path;
    }
    QString message = QStringLiteral("Bundled whisper-cli not found");
    if (!m_resourceDirectory.isEmpty())
        message += QStringLiteral(" (expected at %1)")
                       .arg(QDir(m_resourceDirectory).filePath(kExecutableName));
    return QuorError{message};
}

bool WhisperCLITranscriber::isModelName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z][A-Za-z0-9._-]*$"));
    return pattern.match(name).hasMatch();
}

QString WhisperCLITranscriber::modelFileName(const QString& name)
{
    return kModelPrefix + name + kModelSuffix;
}

Result<QString> WhisperCLITranscriber::modelURL() const
{
    const QString chosen = m_model ? m_model() : QString();
    return modelURL(chosen.isEmpty() ? defaultModel() : chosen);
}

Result<QString> WhisperCLITranscriber::modelURL(const QString& name) const
{
    const QString file = modelFileName(name);
    const QString bundled = kModelFolder + QLatin1Char('/') + file;
    const QStringList paths =
        candidates({m_resourceDirectory, m_userDataDirectory}, bundled,
                   {QStringLiteral("experiment/vendor/whisper.cpp/models/") + file});
    for (const QString& path : paths) {
        if (QFileInfo(path).isFile())
            return path;
    }
    // The package leaves the models out: say where the chosen one goes and what gets it.
    const bool standard = name == defaultModel();
    const QString missing = standard ? QStringLiteral("Bundled large-v3-turbo model not found. ")
                                     : QStringLiteral("Chosen %1 model not found. ").arg(name);
    const QString command = standard ? fetchCommand() : fetchCommand() + QLatin1Char(' ') + name;
    if (m_userDataDirectory.isEmpty())
        return QuorError{missing + QStringLiteral("Run %1 to download it.").arg(command)};
    const QString folder = QDir(m_userDataDirectory).filePath(kModelFolder);
    return QuorError{missing + QStringLiteral("Put %1 into %2/ (run %3 to download it there).")
                                   .arg(file, folder, command)};
}

QStringList WhisperCLITranscriber::installedModels() const
{
    QStringList names;
    for (const QString& base : {m_resourceDirectory, m_userDataDirectory}) {
        if (base.isEmpty())
            continue;
        // Files only: a broken link or a folder of that name could never be loaded.
        const QStringList files = QDir(QDir(base).filePath(kModelFolder))
                                      .entryList({kModelPrefix + QLatin1Char('*') + kModelSuffix},
                                                 QDir::Files, QDir::Name);
        for (const QString& file : files) {
            const QString name = file.mid(kModelPrefix.size(),
                                          file.size() - kModelPrefix.size() - kModelSuffix.size());
            if (isModelName(name) && !names.contains(name))
                names << name;
        }
    }
    return names;
}

QStringList WhisperCLITranscriber::arguments(const QString& model, const QString& audio,
                                             const QString& language)
{
    QStringList list{QStringLiteral("-m"),  model,
                     QStringLiteral("-f"),  audio,
                     QStringLiteral("-nt"), QStringLiteral("-np")};
    if (!language.isEmpty())
        list << QStringLiteral("-l") << language;
    return list;
}

Result<QString> WhisperCLITranscriber::transcribe(const QString& audioFile) const
{
    ChildProcessStop never;
    return transcribe(audioFile, never);
}

Result<QString> WhisperCLITranscriber::transcribe(const QString& audioFile,
                                                  ChildProcessStop& stop) const
{
    Result<QString> executable = executableURL();
    if (!executable)
        return executable.error();
    Result<QString> model = modelURL();
    if (!model)
        return model.error();

    // whisper-cli answers a missing file with its whole usage text and an unreadable one with
    // success and no text; neither makes a useful message.
    const QFileInfo audio(audioFile);
    if (!audio.isFile()) {
        DebugLog::write("transcription audio missing at " + audioFile);
        return QuorError{QStringLiteral("Recorded audio file not found")};
    }
    if (audio.size() == 0) {
        DebugLog::write("transcription audio empty at " + audioFile);
        return QuorError{QStringLiteral("Recorded audio file is empty")};
    }

    QProcess process;
    process.setProgram(executable.value());
    process.setArguments(arguments(model.value(), audioFile, m_language ? m_language() : QString()));
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    const ChildProcessOutcome outcome = ChildProcessRun::run(process, stop);
    if (outcome.kind == ChildProcessOutcome::Kind::FailedToStart)
        return QuorError{outcome.errorString};
    if (outcome.kind == ChildProcessOutcome::Kind::Stopped)
        return QuorError{QStringLiteral("Transcription was cancelled")};

    const QString output = decodeUtf8(process.readAllStandardOutput(), "standard output");
    const QString diagnostic = decodeUtf8(process.readAllStandardError(), "standard error");
    if (!outcome.succeeded()) {
        // A diagnostic of only blanks would be an error without words.
        const QString message = diagnostic.trimmed();
        return QuorError{message.isEmpty() ? QStringLiteral("Transcription failed") : message};
    }
    return output.trimmed();
}
