#pragma once

#include "platform/DesktopPresence.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <utility>

// Records every call in order. Alerts are answered with `answerIndex` on a later turn of the
// event loop, as a person would; with `holdAnswers` they wait for `answer()`.
class FakeDesktopPresence : public DesktopPresence
{
public:
    void open(const Alert& alert, AlertAnswer onAnswer) override
    {
        events << "alert";
        alerts << QStringList{alert.messageText, alert.informativeText, alert.buttons.join('|')};
        pending << std::move(onAnswer);
        if (!holdAnswers)
            QTimer::singleShot(0, &m_context, [this] { answer(answerIndex); });
    }
    void beep() override
    {
        events << "beep";
        ++beeps;
    }
    void raiseWindows() override
    {
        events << "activate";
        ++activations;
    }
    void terminate() override { events << "terminate"; }

    // Answers the oldest open alert.
    void answer(std::optional<int> button)
    {
        if (pending.isEmpty())
            return;
        const AlertAnswer onAnswer = pending.takeFirst();
        onAnswer(button);
    }

    std::optional<int> answerIndex = 1; // "Cancel" unless the test picks "Open Settings"
    bool holdAnswers = false;
    QList<QStringList> alerts;
    QList<AlertAnswer> pending;
    QStringList events;
    int beeps = 0;
    int activations = 0;

private:
    QObject m_context;
};
