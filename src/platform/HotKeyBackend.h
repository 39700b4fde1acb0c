#pragma once

#include <QKeyCombination>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// What happened to the registered hot key.
enum class HotKeyTransition
{
    Pressed,
    Released,
};

// Grabs the hot key system-wide and reports each press and release of it to a handler on the
// main thread (a held key's auto-repeat is not reported).
class HotKeyBackend
{
public:
    using Handler = std::function<void(HotKeyTransition)>;

    virtual ~HotKeyBackend() = default;

    // Grabs `key` in place of the key grabbed before and installs `handler`. Returns the
    // reason when the grab was refused (for example another program holds the key), in words
    // that follow "could not be registered: "; the key grabbed before, if any, then stays.
    virtual std::optional<QString> registerHotKey(QKeyCombination key, Handler handler) = 0;
};
