#pragma once

#include <QFile>
#include <QString>

// Whether process `pid` still runs. A zombie no longer runs: killed children whose parent
// died are reparented, and not every init reaps them at once.
inline bool processAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    // "pid (name) S ...": the state follows the last ')'.
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() && line.at(close + 2) != 'Z' &&
           line.at(close + 2) != 'X';
}

// The process id a stand-in wrote to `path`, or 0 while it has not.
inline qint64 pidFrom(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().trimmed().toLongLong();
}
