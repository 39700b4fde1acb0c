#pragma once

#include "platform/HotKeyBackend.h"
#include "platform/shortcuts/CompositorBindings.h"

// Wayland compositors without the shortcut portal let no program take a key: the user binds
// it in the compositor to Wendlo's commands, which reach the running instance through the
// command line. Nothing to register here; the binding says how.
class CompositorBindingHotKey : public HotKeyBackend
{
public:
    CompositorBindingHotKey(Compositor compositor, QString command)
        : m_compositor(compositor), m_command(std::move(command))
    {
    }

    std::optional<QString> registerHotKey(QKeyCombination, Handler) override
    {
        return std::nullopt;
    }
    bool needsCompositorBinding() const override { return true; }
    std::optional<CompositorBinding> compositorBinding(QKeyCombination key) const override
    {
        return CompositorBindings::binding(m_compositor, key, m_command);
    }

private:
    Compositor m_compositor;
    QString m_command;
};
