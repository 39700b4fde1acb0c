#pragma once

#include "platform/HotKeyBackend.h"

// Control face: fail the grab, then deliver events as the platform would.
class FakeHotKeyBackend : public HotKeyBackend
{
public:
    std::optional<QString> registerHotKey(Handler handler) override
    {
        ++registerCalls;
        if (failure)
            return failure;
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

    std::optional<QString> failure;
    int registerCalls = 0;
    HotKeyEvent pressed{0x51554F52, 1, HotKeyEvent::Pressed};
    HotKeyEvent released{0x51554F52, 1, HotKeyEvent::Released};

private:
    Handler m_handler;
};
