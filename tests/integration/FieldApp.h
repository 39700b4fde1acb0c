#pragma once

#include "support/Wait.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <optional>

// One of the small text-field applications in apps/, started with focus on its field. It
// reports its real text and cursor through a state file, which the test reads.
class FieldApp
{
public:
    enum class Toolkit
    {
        Qt,
        Gtk
    };

    struct State
    {
        QString text;
        int cursor = -1;
        int anchor = -1;
    };

    // `selectStart` and `selectLength` count UTF-16 units, whatever the toolkit counts in.
    FieldApp(Toolkit toolkit, const QString& widget, const QString& text,
             std::optional<int> selectStart = std::nullopt, int selectLength = 0,
             const QStringList& extraArgs = {})
    {
        m_stateFile = m_dir.filePath("state");
        QStringList args{"--widget", widget, "--text", text, "--out", m_stateFile};
        args << extraArgs;
        if (selectStart) {
            auto units = [&](int utf16) {
                return toolkit == Toolkit::Qt ? utf16 : int(text.left(utf16).toUcs4().size());
            };
            args << "--select" << QString::number(units(*selectStart)) << "--length"
                 << QString::number(units(*selectStart + selectLength) - units(*selectStart));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        env.remove("QT_QPA_PLATFORM");
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (toolkit == Toolkit::Qt)
            m_process.start(WENDLO_QT_FIELD, args);
        else
            m_process.start("/usr/bin/python3", QStringList{WENDLO_GTK_FIELD} + args);
    }

    ~FieldApp() { quit(); }

    // Whether it runs and has written its first state.
    bool started()
    {
        return m_process.waitForStarted(5000) &&
               waitUntil([&] { return QFile::exists(m_stateFile); }, 10000);
    }

    // Rewritten (by rename) on every change.
    QString stateFilePath() const { return m_stateFile; }

    State state() const
    {
        QFile file(m_stateFile);
        State s;
        if (!file.open(QIODevice::ReadOnly))
            return s;
        const QList<QByteArray> head = file.readLine().trimmed().split(' ');
        if (head.size() == 2) {
            s.cursor = head[0].toInt();
            s.anchor = head[1].toInt();
        }
        s.text = QString::fromUtf8(file.readAll());
        return s;
    }

    bool waitForText(const QString& text, int ms = 5000)
    {
        return waitUntil([&] { return state().text == text; }, ms);
    }

    void signal(int sig) { ::kill(pid_t(m_process.processId()), sig); }
    qint64 processId() const { return m_process.processId(); }

    void quit()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        signal(SIGCONT);
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QTemporaryDir m_dir;
    QString m_stateFile;
    QProcess m_process;
};
