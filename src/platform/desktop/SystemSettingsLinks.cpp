#include "platform/desktop/SystemSettingsLinks.h"

#include <QProcess>

namespace SystemSettingsLinks {

QList<Command> candidates(const QString& anchor)
{
    if (anchor == QLatin1String("Privacy_Microphone")) {
        return {
            {QStringLiteral("gnome-control-center"), {QStringLiteral("microphone")}},
            {QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}},
            {QStringLiteral("systemsettings"), {QStringLiteral("kcm_pulseaudio")}},
            {QStringLiteral("pavucontrol"), {QStringLiteral("--tab=4")}},
        };
    }
    return {
        {QStringLiteral("gnome-control-center"), {}},
        {QStringLiteral("systemsettings"), {}},
    };
}

bool openPrivacySecurity(const QString& anchor, const Launcher& launch)
{
    for (const Command& command : candidates(anchor)) {
        if (launch(command))
            return true;
    }
    return false;
}

bool openPrivacySecurity(const QString& anchor)
{
    return openPrivacySecurity(anchor, [](const Command& command) {
        return QProcess::startDetached(command.program, command.arguments);
    });
}

} // namespace SystemSettingsLinks
