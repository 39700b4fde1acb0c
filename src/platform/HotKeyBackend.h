#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// One event of the registered hot key, as the platform delivers it.
struct HotKeyEvent
{
    enum Kind : int { Pressed = 5, Released = 6 };

    std::uint32_t signature = 0; // 'QUOR'
    std::uint32_t id = 0;        // 1 for Super+D
    int kind = 0;                // Pressed, Released, or anything else
};

// Grabs Super+D system-wide and feeds its events to a handler on the main thread.
class HotKeyBackend
{
public:
    using Handler = std::function<int(const HotKeyEvent* event)>;

    virtual ~HotKeyBackend() = default;

    // Installs `handler` and grabs the key. Returns the reason when the grab was refused
    // (for example another program holds Super+D); the handler then never fires.
    virtual std::optional<QString> registerHotKey(Handler handler) = 0;
};
