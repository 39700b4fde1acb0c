#pragma once

#include "platform/SettingsLinkOpener.h"

#include <QStringList>

class FakeSettingsLinkOpener : public SettingsLinkOpener
{
public:
    bool openPrivacySecurity(const QString& anchor) override
    {
        opened << anchor;
        return works;
    }

    bool works = true;
    QStringList opened;
};
