#pragma once

#include "dictation/HotKey.h"
#include "platform/HotKeyBackend.h"

#include <functional>
#include <memory>
#include <optional>

// Makes the user's hot key (Super+D unless chosen otherwise) a global hot key and turns its
// key-down and key-up into onPress and onRelease.
class HotKeyController
{
public:
    explicit HotKeyController(std::unique_ptr<HotKeyBackend> backend,
                              HotKey hotKey = HotKey::standard());

    std::function<void()> onPress;
    std::function<void()> onRelease;
    // What the texts about the key say changed after start or change: the desktop refused
    // the key in use, it works again, or the desktop fires it with a trigger of its own
    // (problem() and keyText() tell).
    std::function<void()> onStatusChange;

    // Registers the hot key. Returns why it could not be registered, if it could not: a
    // message for the user that names the key and how to choose another.
    std::optional<QString> start();

    // Makes `key` the hot key. Once started, the new key is grabbed first and the old one let
    // go only when that worked; on failure the old key stays and the message ("<key> could
    // not be registered: <reason>.") says why.
    std::optional<QString> change(const HotKey& key);

    const HotKey& hotKey() const { return m_hotKey; }
    // What the user presses: the trigger the desktop chose in place of the hot key, in its
    // words, else the hot key's name. The hot key stays the preferred trigger.
    QString keyText() const;
    // Whether the desktop fires the key with a trigger of its own (keyText() names it).
    bool desktopChoseTrigger() const { return !m_trigger.isEmpty(); }
    // Why the hot key in use does not work (after start); empty once a key works.
    const std::optional<QString>& problem() const { return m_problem; }

    // Where the key works only once the user binds it in the compositor (not an error): how,
    // for the key in use.
    std::optional<QString> binding() const;

    // What the back end reports: a press is onPress, a release onRelease.
    void handleTransition(HotKeyTransition transition);

    // "<key> could not be registered: <reason>."
    static QString registrationFailure(const QString& keyText, const QString& reason);
    // "Bind Super + D in sway: add these lines to ~/.config/sway/config, then run swaymsg
    // reload:" and the lines, one a line; "Or bind ..." where it is the way out of a refusal.
    static QString bindingInstructions(const HotKey& key, const CompositorBinding& binding,
                                       bool asAlternative = false);

private:
    std::optional<QString> registerKey(const HotKey& key);
    // What the user can do about a key that does not work.
    QString advice(const HotKey& key) const;
    void handleLateFailure(QKeyCombination key, const QString& reason);
    void handleRecovery(QKeyCombination key);
    void handleTrigger(QKeyCombination key, const QString& trigger);
    void statusChanged();

    std::unique_ptr<HotKeyBackend> m_backend;
    HotKey m_hotKey;
    std::optional<QString> m_problem;
    QString m_trigger; // the desktop's own trigger for the key in use, if it chose one
    bool m_started = false;
};
