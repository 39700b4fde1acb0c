#pragma once

#include <QKeyCombination>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

// What happened to the registered hot key.
enum class HotKeyTransition
{
    Pressed,
    Released,
};

// How the user binds the hot key to Wendlo's commands in the desktop's own shortcuts, where
// the desktop does not let a program take a key itself.
struct CompositorBinding
{
    QString compositor;   // "sway", "Hyprland"; empty when the desktop is not one we know
    QString configFile;   // where `lines` go
    QString reload;       // the command that applies them; empty when the compositor reloads itself
    QStringList lines;    // exact configuration lines, press first; empty when not known
    QString startCommand; // what the press runs
    QString stopCommand;  // what the release runs
    QString toggleCommand; // for shortcuts that can only start a command

    bool operator==(const CompositorBinding&) const = default;
};

// Grabs the hot key system-wide and reports each press and release of it to a handler on the
// main thread (a held key's auto-repeat is not reported).
class HotKeyBackend
{
public:
    using Handler = std::function<void(HotKeyTransition)>;
    // A refusal that came after registerHotKey accepted `key` for the time being.
    using FailureHandler = std::function<void(QKeyCombination key, const QString& reason)>;
    // `key` works again after a later refusal.
    using RecoveryHandler = std::function<void(QKeyCombination key)>;
    // The desktop fires the shortcut registered for `key` with a trigger of its own choosing
    // (the user picked another in its dialog or settings), in the desktop's words; empty
    // when it is `key` itself again.
    using TriggerHandler = std::function<void(QKeyCombination key, const QString& trigger)>;

    virtual ~HotKeyBackend() = default;

    // Grabs `key` in place of the key grabbed before and installs `handler`. Returns the
    // reason when the grab was refused (for example another program holds the key), in words
    // that follow "could not be registered: "; the key grabbed before, if any, then stays.
    // A back end whose desktop answers later returns nothing at once and reports a refusal
    // through the failure handler instead.
    virtual std::optional<QString> registerHotKey(QKeyCombination key, Handler handler) = 0;

    virtual void setFailureHandler(FailureHandler) {}
    virtual void setRecoveryHandler(RecoveryHandler) {}
    virtual void setTriggerHandler(TriggerHandler) {}

    // Whether keys reach Wendlo only through the user's binding in the compositor
    // (compositorBinding), registerHotKey then taking nothing.
    virtual bool needsCompositorBinding() const { return false; }
    // How to bind `key` there: the way for back ends that need it, the way out when a key is
    // refused for the others. Nothing where the desktop has no such shortcuts.
    virtual std::optional<CompositorBinding> compositorBinding(QKeyCombination) const
    {
        return std::nullopt;
    }
};
