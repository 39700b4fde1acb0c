#pragma once

#include "platform/UserAlerts.h"

#include <functional>

// Alerts as modal QMessageBoxes; activation raises the app's visible windows.
class QtUserAlerts : public UserAlerts
{
public:
    int runModal(const QString& messageText, const QString& informativeText,
                 const QStringList& buttons) override;
    void beep() override;
    void activateApp() override;
};
