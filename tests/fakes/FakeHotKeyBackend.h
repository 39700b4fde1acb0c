#pragma once

#include "platform/HotKeyBackend.h"

#include <QList>

// Control face: fail the grab (at once, or later as a portal does), recover it, let the desktop
// choose another trigger, stand for a desktop where the compositor binds the key, then report
// presses and releases as the platform would.
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

    void setFailureHandler(FailureHandler handler) override { m_onFailure = std::move(handler); }
    void setRecoveryHandler(RecoveryHandler handler) override { m_onRecovery = std::move(handler); }
    void setTriggerHandler(TriggerHandler handler) override { m_onTrigger = std::move(handler); }
    bool needsCompositorBinding() const override { return bindingNeeded; }
    std::optional<CompositorBinding> compositorBinding(QKeyCombination key) const override
    {
        if (!binding)
            return std::nullopt;
        CompositorBinding b = *binding;
        b.lines.replaceInStrings(QStringLiteral("KEY"), QString::number(key.toCombined(), 16));
        return b;
    }

    // The desktop's later refusal of `key`; false when no failure handler is installed.
    bool refuseLater(QKeyCombination key, const QString& reason)
    {
        if (!m_onFailure)
            return false;
        m_onFailure(key, reason);
        return true;
    }

    // `key` grabbed again after a later refusal; false when no recovery handler is installed.
    bool recover(QKeyCombination key)
    {
        if (!m_onRecovery)
            return false;
        m_onRecovery(key);
        return true;
    }

    // The desktop now fires `key` with `trigger`; false when no trigger handler is installed.
    bool chooseTrigger(QKeyCombination key, const QString& trigger)
    {
        if (!m_onTrigger)
            return false;
        m_onTrigger(key, trigger);
        return true;
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
    bool bindingNeeded = false;
    std::optional<CompositorBinding> binding; // "KEY" in its lines becomes the key asked for

private:
    Handler m_handler;
    FailureHandler m_onFailure;
    RecoveryHandler m_onRecovery;
    TriggerHandler m_onTrigger;
};
