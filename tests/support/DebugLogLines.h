#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

// The messages a debug log file holds, each without its "[Quor] " prefix (continuation lines
// of a multi-line message are left out). Empty when the file cannot be read.
inline QStringList debugLogMessages(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString prefix = QStringLiteral("[Quor] ");
    QStringList messages;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(prefix))
            messages << line.mid(prefix.size());
    }
    return messages;
}
