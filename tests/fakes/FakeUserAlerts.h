#pragma once

#include "platform/UserAlerts.h"

#include <QStringList>

// Records alerts and answers them with a chosen button.
class FakeUserAlerts : public UserAlerts
{
public:
    int runModal(const QString& messageText, const QString& informativeText,
                 const QStringList& buttons) override
    {
        events << "alert";
        alerts << QStringList{messageText, informativeText, buttons.join('|')};
        return FirstButton + answerIndex;
    }
    void beep() override
    {
        events << "beep";
        ++beeps;
    }
    void activateApp() override
    {
        events << "activate";
        ++activations;
    }

    int answerIndex = 1; // "Cancel" unless the test picks "Open Settings"
    QList<QStringList> alerts;
    QStringList events;
    int beeps = 0;
    int activations = 0;
};
