#pragma once

#include "platform/HotKeyBackend.h"

#include <QList>

// Control face: fail the grab, then report presses and releases as the platform would.
class FakeHotKeyBackend : public HotKeyBackend
{
public:
    std::optional<QString> registerHotKey(QKeyCombination key, Handler handler) override
    {
        ++registerCalls;
        registered << key;
        if (failure)
            return failure;
        if (refused.contains(key))
            return QStringLiteral("another program already uses it");
        grabbed = key;
        m_handler = std::move(handler);
        return std::nullopt;
    }

    // Reports a transition to the installed handler; false when none is installed.
    bool deliver(HotKeyTransition transition)
    {
        if (!m_handler)
            return false;
        m_handler(transition);
        return true;
    }
    bool press() { return deliver(HotKeyTransition::Pressed); }
    bool release() { return deliver(HotKeyTransition::Released); }

    std::optional<QString> failure; // refuses every key
    QList<QKeyCombination> refused; // refuses these keys only
    int registerCalls = 0;
    QList<QKeyCombination> registered; // every key asked for, in order
    std::optional<QKeyCombination> grabbed;

private:
    Handler m_handler;
};
