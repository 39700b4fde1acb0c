#include "dictation/HotKeyController.h"

namespace {
constexpr std::uint32_t hotKeyId = 1;
}

HotKeyController::HotKeyController(std::unique_ptr<HotKeyBackend> backend, HotKey hotKey)
    : m_backend(std::move(backend)), m_hotKey(hotKey)
{
}

QString HotKeyController::registrationFailure(const HotKey& key, const QString& reason)
{
    return QStringLiteral("%1 could not be registered: %2.").arg(key.displayText(), reason);
}

std::optional<QString> HotKeyController::registerKey(const HotKey& key)
{
    // The back end is owned by this controller, so the handler cannot outlive `this`.
    if (const std::optional<QString> reason = m_backend->registerHotKey(
            key.combination(), [this](HotKeyTransition transition) { handleTransition(transition); }))
        return registrationFailure(key, *reason);
    return std::nullopt;
}

std::optional<QString> HotKeyController::start()
{
    m_started = true;
    m_problem = registerKey(m_hotKey);
    if (m_problem)
        *m_problem += QStringLiteral(" Choose another hot key in Settings\u2026 (tray menu, or "
                                     "wendlo --settings).");
    return m_problem;
}

std::optional<QString> HotKeyController::change(const HotKey& key)
{
    if (!m_started) {
        m_hotKey = key;
        return std::nullopt;
    }
    if (key == m_hotKey && !m_problem)
        return std::nullopt;
    if (std::optional<QString> failure = registerKey(key))
        return failure;
    m_hotKey = key;
    m_problem.reset();
    return std::nullopt;
}

void HotKeyController::handleTransition(HotKeyTransition transition)
{
    const std::function<void()>& handler =
        transition == HotKeyTransition::Pressed ? onPress : onRelease;
    if (handler)
        handler();
}
