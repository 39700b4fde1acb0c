#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// Opens the desktop's settings at a privacy page. Desktops differ, so several settings tools
// are tried in order until one starts.
namespace SystemSettingsLinks {

struct Command
{
    QString program;
    QStringList arguments;
    friend bool operator==(const Command&, const Command&) = default;
};

// Starts a command without waiting for it; false when it could not be started.
using Launcher = std::function<bool(const Command&)>;

// The commands for `anchor`, most specific first. "Privacy_Microphone": the microphone privacy
// page, then the sound input page of GNOME, KDE and pavucontrol. Any other anchor: the
// settings application itself.
QList<Command> candidates(const QString& anchor);

// Tries the candidates in order and stops at the first that starts; false when none did.
bool openPrivacySecurity(const QString& anchor, const Launcher& launch);
bool openPrivacySecurity(const QString& anchor);

} // namespace SystemSettingsLinks
