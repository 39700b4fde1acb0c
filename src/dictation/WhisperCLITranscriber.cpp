#include "dictation/WhisperCLITranscriber.h"

#include "dictation/ChildProcess.h"
#include "dictation/DebugLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QStringList>
#include <utility>

namespace {

const QString kExecutableName = QStringLiteral("Whisper/whisper-cli");
const QString kModelName = QStringLiteral("Whisper/ggml-large-v3-turbo.bin");

QStringList candidates(const QString& resourceDirectory, const QString& bundled,
                       const QStringList& development)
{
    QStringList paths;
    if (!resourceDirectory.isEmpty())
        paths << QDir(resourceDirectory).filePath(bundled);
    const QDir workingDirectory(QDir::currentPath());
    for (const QString& relative : development)
        paths << workingDirectory.filePath(relative);
    return paths;
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

WhisperCLITranscriber::WhisperCLITranscriber(QString resourceDirectory)
    : m_resourceDirectory(std::move(resourceDirectory))
{
}

QString WhisperCLITranscriber::defaultResourceDirectory()
{
    if (!QCoreApplication::instance())
        return QString();
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/wendlo");
}

Result<QString> WhisperCLITranscriber::executableURL() const
{
    const QStringList paths =
        candidates(m_resourceDirectory, kExecutableName,
                   {QStringLiteral("experiment/vendor/whisper.cpp/build-static/bin/whisper-cli"),
                    QStringLiteral("experiment/vendor/whisper.cpp/build/bin/whisper-cli")});
    for (const QString& path : paths) {
        // A directory is "executable" by its search bit but can never be run.
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return path;
    }
    return QuorError{QStringLiteral("Bundled whisper-cli not found")};
}

Result<QString> WhisperCLITranscriber::modelURL() const
{
    const QStringList paths = candidates(
        m_resourceDirectory, kModelName,
        {QStringLiteral("experiment/vendor/whisper.cpp/models/ggml-large-v3-turbo.bin")});
    for (const QString& path : paths) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return QuorError{QStringLiteral("Bundled large-v3-turbo model not found")};
}

Result<QString> WhisperCLITranscriber::transcribe(const QString& audioURL) const
{
    ChildProcessStop never;
    return transcribe(audioURL, never);
}

Result<QString> WhisperCLITranscriber::transcribe(const QString& audioURL,
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
    const QFileInfo audio(audioURL);
    if (!audio.isFile()) {
        DebugLog::write("transcription audio missing at " + audioURL);
        return QuorError{QStringLiteral("Recorded audio file not found")};
    }
    if (audio.size() == 0) {
        DebugLog::write("transcription audio empty at " + audioURL);
        return QuorError{QStringLiteral("Recorded audio file is empty")};
    }

    QProcess process;
    process.setProgram(executable.value());
    process.setArguments({QStringLiteral("-m"), model.value(), QStringLiteral("-f"), audioURL,
                          QStringLiteral("-nt"), QStringLiteral("-np")});
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
