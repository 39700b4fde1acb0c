#pragma once

#include "platform/HotKeyBackend.h"

#include <functional>
#include <memory>
#include <optional>

// Makes Super+D a global hot key and turns its key-down and key-up into onPress and onRelease.
class HotKeyController
{
public:
    static constexpr int EventNotHandled = -9874;

    explicit HotKeyController(std::unique_ptr<HotKeyBackend> backend);

    std::function<void()> onPress;
    std::function<void()> onRelease;

    // Registers the hot key. Returns why it could not be registered, if it could not.
    std::optional<QString> start();

    // The event handler the back end calls: 0 when handled, EventNotHandled without an event.
    int handleEvent(const HotKeyEvent* event);

private:
    std::unique_ptr<HotKeyBackend> m_backend;
};
