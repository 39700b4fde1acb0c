#pragma once

#include <QKeyCombination>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// One event of the registered hot key, as the platform delivers it.
struct HotKeyEvent
{
    enum Kind : int { Pressed = 5, Released = 6 };

    std::uint32_t signature = 0; // 'QUOR'
    std::uint32_t id = 0;        // 1 for the hot key
    int kind = 0;                // Pressed, Released, or anything else
};

// Grabs the hot key system-wide and feeds its events to a handler on the main thread.
class HotKeyBackend
{
public:
    using Handler = std::function<int(const HotKeyEvent* event)>;

    virtual ~HotKeyBackend() = default;

    // Grabs `key` in place of the key grabbed before and installs `handler`. Returns the
    // reason when the grab was refused (for example another program holds the key), in words
    // that follow "could not be registered: "; the key grabbed before, if any, then stays.
    virtual std::optional<QString> registerHotKey(QKeyCombination key, Handler handler) = 0;
};
