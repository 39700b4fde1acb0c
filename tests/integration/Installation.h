#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

inline const QString kWendlo = QStringLiteral(WENDLO_EXECUTABLE);
inline const QString kWhisperCli = QStringLiteral(WENDLO_WHISPER_CLI);
inline const QString kModelTool = QStringLiteral(WENDLO_TINY_MODEL_TOOL);

// A copy of the app in a prefix of its own, so that it finds whisper-cli and the given model
// in <prefix>/share/wendlo/Whisper, as an installed app would.
class Installation
{
public:
    // Empty when it could not be made; the reason is in `error`.
    QString make(const QString& modelText)
    {
        const QString whisperDir = m_dir.filePath("share/wendlo/Whisper");
        if (!m_dir.isValid() || !QDir().mkpath(m_dir.filePath("bin")) || !QDir().mkpath(whisperDir))
            return fail("could not make the prefix");
        const QString executable = m_dir.filePath("bin/wendlo");
        // bin/wendlo runs the full app beside it.
        if (!QFile::copy(kWendlo, executable) ||
            !QFile::copy(QFileInfo(kWendlo).dir().filePath("wendlo-app"),
                         m_dir.filePath("bin/wendlo-app")) ||
            !QFile::copy(kWhisperCli, whisperDir + "/whisper-cli"))
            return fail("could not copy wendlo, wendlo-app and whisper-cli");
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start("python3",
                   {kModelTool, whisperDir + "/ggml-large-v3-turbo.bin", "--text", modelText});
        if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
            return fail("the tiny model tool failed: " + QString::fromUtf8(tool.readAll()));
        return executable;
    }

    QString error;

private:
    QString fail(const QString& reason)
    {
        error = reason;
        return {};
    }

    QTemporaryDir m_dir;
};
