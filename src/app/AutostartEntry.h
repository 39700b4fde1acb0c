#pragma once

#include "common/QuorError.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

// Start at login, the freedesktop way: a desktop entry in the user's autostart folder,
// $XDG_CONFIG_HOME/autostart/wendlo.desktop (~/.config/autostart when that is unset).
class AutostartEntry
{
public:
    // `executable` is the program the entry starts (this one, wherever it is installed).
    AutostartEntry(const QProcessEnvironment& environment, QString executable);

    QString path() const { return m_path; }
    // An entry exists and is not switched off (Hidden=true).
    bool isEnabled() const;
    // Writes or removes the entry; fails with a message naming the file.
    Failure setEnabled(bool enabled);

    QByteArray contents() const;
    // `program` quoted for an Exec line, where needed.
    static QString execValue(const QString& program);

private:
    QString m_path;
    QString m_executable;
};
