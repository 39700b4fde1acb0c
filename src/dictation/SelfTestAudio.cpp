#include "dictation/SelfTestAudio.h"

#include "dictation/DebugLog.h"
#include "dictation/PrivateTempDir.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace SelfTestAudio {
namespace {

struct Exit
{
    int status = -1;
};

// Runs a program with the app's own environment and standard streams, and waits for it.
Result<Exit> run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return QuorError{process.errorString()};
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit)
        return Exit{-1};
    return Exit{process.exitCode()};
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

Result<QString> makePrompt(const QString& phrase)
{
    DebugLog::write(QStringLiteral("building self-test prompt audio"));
    const Result<QString> folder = PrivateTempDir::ensureFolder(QStringLiteral("QuorDictation"));
    if (!folder)
        return folder.error();
    const QString path = folder.value() + QStringLiteral("/self-test-prompt.wav");
    QFile::remove(path);

    // "--" keeps a phrase that starts with a dash from being read as an option.
    const Result<Exit> exit = run(QStringLiteral("espeak-ng"),
                                  {QStringLiteral("-w"), path, QStringLiteral("--"), phrase});
    if (!exit)
        return exit.error();
    if (exit.value().status != 0)
        return QuorError{QStringLiteral("Could not create self-test prompt audio")};
    return path;
}

Failure playPrompt(const QString& path)
{
    DebugLog::write(QStringLiteral("playing self-test prompt audio"));
    const Result<Exit> exit = run(player(), {path});
    if (!exit)
        return exit.error();
    if (exit.value().status != 0)
        return QuorError{QStringLiteral("Could not play self-test prompt audio")};
    return std::nullopt;
}

} // namespace SelfTestAudio
