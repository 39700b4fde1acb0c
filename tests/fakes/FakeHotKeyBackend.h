#pragma once

#include "platform/HotKeyBackend.h"

#include <QList>

// Control face: fail the grab, then deliver events as the platform would.
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

    // Delivers an event to the installed handler; returns its status (or nothing when none).
    std::optional<int> deliver(const HotKeyEvent* event)
    {
        if (!m_handler)
            return std::nullopt;
        return m_handler(event);
    }
    std::optional<int> press() { return deliver(&pressed); }
    std::optional<int> release() { return deliver(&released); }

    std::optional<QString> failure; // refuses every key
    QList<QKeyCombination> refused; // refuses these keys only
    int registerCalls = 0;
    QList<QKeyCombination> registered; // every key asked for, in order
    std::optional<QKeyCombination> grabbed;
    HotKeyEvent pressed{0x51554F52, 1, HotKeyEvent::Pressed};
    HotKeyEvent released{0x51554F52, 1, HotKeyEvent::Released};

private:
    Handler m_handler;
};
