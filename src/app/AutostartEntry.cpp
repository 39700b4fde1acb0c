#include "app/AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

AutostartEntry::AutostartEntry(const QProcessEnvironment& environment, QString executable)
    : m_executable(std::move(executable))
{
    // The base directory spec: a relative value is invalid and ignored.
    QString config = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = environment.value(QStringLiteral("HOME"), QDir::homePath()) +
                 QStringLiteral("/.config");
    m_path = QDir(config).filePath(QStringLiteral("autostart/wendlo.desktop"));
}

bool AutostartEntry::isEnabled() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

QString AutostartEntry::execValue(const QString& program)
{
    // Desktop entry Exec rules: quote arguments with reserved characters, escape inside the
    // quotes, then escape the backslashes of the whole value once more; "%" is doubled.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (const QChar c : program)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString value = program;
    if (needsQuotes) {
        QString quoted;
        for (const QChar c : program) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        value = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return value;
}

QByteArray AutostartEntry::contents() const
{
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Wendlo\n"
                             "Comment=Offline dictation: hold the hot key and speak\n"
                             "Exec=") +
           execValue(m_executable).toUtf8() +
           QByteArrayLiteral("\n"
                             "Icon=wendlo\n"
                             "Terminal=false\n"
                             "Categories=Utility;Accessibility;\n"
                             "X-GNOME-Autostart-enabled=true\n");
}

Failure AutostartEntry::setEnabled(bool enabled)
{
    if (!enabled) {
        QFile file(m_path);
        if (file.exists() && !file.remove())
            return QuorError{
                QStringLiteral("Could not remove %1: %2").arg(m_path, file.errorString())};
        return std::nullopt;
    }
    if (!QDir().mkpath(QFileInfo(m_path).path()))
        return QuorError{
            QStringLiteral("Could not create the folder %1").arg(QFileInfo(m_path).path())};
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents()) < 0 || !file.commit())
        return QuorError{QStringLiteral("Could not write %1: %2").arg(m_path, file.errorString())};
    return std::nullopt;
}
