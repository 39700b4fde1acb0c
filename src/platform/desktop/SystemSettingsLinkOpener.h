#pragma once

#include "platform/desktop/SystemSettingsLinks.h"
#include "platform/SettingsLinkOpener.h"

// The coordinator's way to the desktop's privacy settings.
class SystemSettingsLinkOpener : public SettingsLinkOpener
{
public:
    bool openPrivacySecurity(const QString& anchor) override
    {
        return SystemSettingsLinks::openPrivacySecurity(anchor);
    }
};
