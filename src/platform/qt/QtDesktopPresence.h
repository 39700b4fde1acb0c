#pragma once

#include "platform/DesktopPresence.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

// Alerts as application-modal QMessageBoxes that do not block the caller.
class QtDesktopPresence : public DesktopPresence
{
public:
    QtDesktopPresence();
    ~QtDesktopPresence() override;

    void open(const Alert& alert, AlertAnswer answer) override;
    void beep() override;
    void raiseWindows() override;
    void terminate() override;

private:
    QList<QPointer<QMessageBox>> m_openAlerts; // closed, unanswered, when this presence goes
    QObject m_answers;                         // guards the answers
};
