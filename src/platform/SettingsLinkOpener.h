#pragma once

#include <QString>

// Opens a page of the desktop's settings.
class SettingsLinkOpener
{
public:
    virtual ~SettingsLinkOpener() = default;

    // `anchor` names the page ("Privacy_Microphone"). False when no settings tool opened it.
    virtual bool openPrivacySecurity(const QString& anchor) = 0;
};
