#include "platform/desktop/EspeakSpeechPlayback.h"

#include "common/ChildProcess.h"
#include "common/PrivateTempDir.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace {

struct Exit
{
    int status = -1;
};

// Runs a program with the app's own environment and standard streams, and waits for it; a
// stop ends it early.
Result<Exit> run(const QString& program, const QStringList& arguments, ChildProcessStop& stop)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.setProgram(program);
    process.setArguments(arguments);
    const ChildProcessOutcome outcome = ChildProcessRun::run(process, stop);
    switch (outcome.kind) {
    case ChildProcessOutcome::Kind::FailedToStart:
        return QuorError{outcome.errorString};
    case ChildProcessOutcome::Kind::Exited:
        return Exit{outcome.exitCode};
    case ChildProcessOutcome::Kind::Crashed:
    case ChildProcessOutcome::Kind::Stopped:
        break;
    }
    return Exit{-1};
}

// The first player this desktop has: PulseAudio's (PipeWire serves it too), then PipeWire's
// own, then ALSA's.
QString player()
{
    for (const char* name : {"paplay", "pw-play", "aplay"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return QStringLiteral("paplay");
}

} // namespace

Result<QString> EspeakSpeechPlayback::makePrompt(const QString& phrase,
                                                 ChildProcessStop& stop) const
{
    const Result<QString> folder = PrivateTempDir::ensureAppFolder();
    if (!folder)
        return folder.error();
    const QString path = folder.value() + QStringLiteral("/self-test-prompt.wav");
    QFile::remove(path);

    // "--" keeps a phrase that starts with a dash from being read as an option.
    const Result<Exit> exit = run(QStringLiteral("espeak-ng"),
                                  {QStringLiteral("-w"), path, QStringLiteral("--"), phrase}, stop);
    if (!exit)
        return exit.error();
    if (exit.value().status != 0)
        return QuorError{QStringLiteral("Could not create self-test prompt audio")};
    return path;
}

Failure EspeakSpeechPlayback::playPrompt(const QString& path, ChildProcessStop& stop) const
{
    const Result<Exit> exit = run(player(), {path}, stop);
    if (!exit)
        return exit.error();
    if (exit.value().status != 0)
        return QuorError{QStringLiteral("Could not play self-test prompt audio")};
    return std::nullopt;
}
