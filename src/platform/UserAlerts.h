#pragma once

#include <QString>
#include <QStringList>

// Modal alerts, the alert sound, and bringing the app forward.
class UserAlerts
{
public:
    static constexpr int FirstButton = 1000;

    virtual ~UserAlerts() = default;

    // A warning alert that blocks until a button is chosen. Returns FirstButton + the index
    // of the chosen button.
    virtual int runModal(const QString& messageText, const QString& informativeText,
                         const QStringList& buttons) = 0;
    virtual void beep() = 0;
    // Raises and activates the app's visible window, if any.
    virtual void activateApp() = 0;
};
