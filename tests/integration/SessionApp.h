#pragma once

#include "support/DebugLogLines.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

// The app with its own configuration (onboarding done), runtime folder and log; the sway
// bindings start its command line with the same folders.
class SessionApp
{
public:
    explicit SessionApp(QString executable) : m_executable(std::move(executable))
    {
        QSettings(m_home.filePath("config/Wendlo/Wendlo.conf"), QSettings::IniFormat)
            .setValue("Wendlo.OnboardingVersion", 1);
        QDir().mkpath(m_home.filePath("runtime"));
        QFile::setPermissions(m_home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~SessionApp()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // What the app and its command line share: no Qt platform chosen, as in a real session.
    QStringList environment() const
    {
        return {"XDG_CONFIG_HOME=" + m_home.filePath("config"),
                "XDG_RUNTIME_DIR=" + m_home.filePath("runtime"),
                "QUOR_DEBUG_LOG=" + m_home.filePath("wendlo.log"),
                "WENDLO_UPDATE_FEED_URL=http://127.0.0.1:9/latest.json"};
    }

    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : env.keys()) {
            if (name.startsWith("QUOR_") || name.startsWith("WENDLO_"))
                env.remove(name);
        }
        env.remove("QT_QPA_PLATFORM");
        for (const QString& entry : environment() + extraEnvironment)
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(m_executable, {});
        return m_process.waitForStarted(5000) && waitForLine("launch complete", 15000);
    }

    // Ends the app; its settings stay for the next start.
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Set before start(), for the app only (not its command line).
    QStringList extraEnvironment;

    // A sway command that runs `wendlo ARGUMENT` (or `program ARGUMENT`) as this app's user
    // would.
    QString exec(const QString& argument, const QString& program = {}) const
    {
        return "exec env " + environment().join(' ') + " " +
               (program.isEmpty() ? m_executable : program) + " " + argument;
    }

    QStringList lines() const { return debugLogMessages(m_home.filePath("wendlo.log")); }
    bool hasLine(const QString& prefix) const
    {
        for (const QString& line : lines()) {
            if (line.startsWith(prefix))
                return true;
        }
        return false;
    }
    int lineCount(const QString& prefix) const
    {
        int count = 0;
        for (const QString& line : lines())
            count += line.startsWith(prefix) ? 1 : 0;
        return count;
    }
    bool waitForLine(const QString& prefix, int ms = 10000) const
    {
        return waitUntil([&] { return hasLine(prefix); }, ms);
    }
    QString diagnostics()
    {
        return lines().join('\n') + "\n" + QString::fromUtf8(m_process.readAll());
    }

private:
    QString m_executable;
    QTemporaryDir m_home;
    QProcess m_process;
};
