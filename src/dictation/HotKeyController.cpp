#include "dictation/HotKeyController.h"

namespace {
constexpr std::uint32_t hotKeyId = 1;
}

HotKeyController::HotKeyController(std::unique_ptr<HotKeyBackend> backend, HotKey hotKey)
    : m_backend(std::move(backend)), m_hotKey(hotKey)
{
    // The back end is owned by this controller, so the handler cannot outlive `this`.
    m_backend->setFailureHandler(
        [this](QKeyCombination key, const QString& reason) { handleLateFailure(key, reason); });
    m_backend->setRecoveryHandler([this](QKeyCombination key) { handleRecovery(key); });
    m_backend->setTriggerHandler(
        [this](QKeyCombination key, const QString& trigger) { handleTrigger(key, trigger); });
}

QString HotKeyController::registrationFailure(const QString& keyText, const QString& reason)
{
    return QStringLiteral("%1 could not be registered: %2.").arg(keyText, reason);
}

QString HotKeyController::keyText() const
{
    return m_trigger.isEmpty() ? m_hotKey.displayText() : m_trigger;
}

QString HotKeyController::bindingInstructions(const HotKey& key, const CompositorBinding& binding,
                                              bool asAlternative)
{
    const QString bind = asAlternative ? QStringLiteral("Or bind") : QStringLiteral("Bind");
    if (binding.lines.isEmpty()) {
        const QString where = binding.compositor.isEmpty()
                                  ? QStringLiteral("your desktop's keyboard shortcuts")
                                  : QStringLiteral("%1's key bindings").arg(binding.compositor);
        return QStringLiteral("%1 %2 in %3: run %4 when it is pressed and %5 when it is "
                              "released, or %6 where a shortcut can only start a command.")
            .arg(bind, key.displayText(), where, binding.startCommand, binding.stopCommand,
                 binding.toggleCommand);
    }
    const QString then =
        binding.reload.isEmpty() ? QString() : QStringLiteral(", then run %1").arg(binding.reload);
    return QStringLiteral("%1 %2 in %3: add these lines to %4%5:\n%6")
        .arg(bind, key.displayText(), binding.compositor, binding.configFile, then,
             binding.lines.join(QLatin1Char('\n')));
}

QString HotKeyController::advice(const HotKey& key) const
{
    QString text = QStringLiteral(" Choose another hot key in Settings\u2026 (tray menu, or "
                                  "wendlo --settings).");
    if (const std::optional<CompositorBinding> binding =
            m_backend->compositorBinding(key.combination()))
        text += QLatin1Char(' ') + bindingInstructions(key, *binding, true);
    return text;
}

std::optional<QString> HotKeyController::binding() const
{
    if (!m_backend->needsCompositorBinding())
        return std::nullopt;
    const std::optional<CompositorBinding> binding =
        m_backend->compositorBinding(m_hotKey.combination());
    if (!binding)
        return std::nullopt;
    return bindingInstructions(m_hotKey, *binding);
}

std::optional<QString> HotKeyController::registerKey(const HotKey& key)
{
    // The back end is owned by this controller, so the handler cannot outlive `this`.
    if (const std::optional<QString> reason =
            m_backend->registerHotKey(key.combination(), [this](HotKeyTransition transition) {
                handleTransition(transition);
            }))
        return registrationFailure(key.displayText(), *reason);
    return std::nullopt;
}

std::optional<QString> HotKeyController::start()
{
    m_started = true;
    m_problem = registerKey(m_hotKey);
    if (m_problem)
        *m_problem += advice(m_hotKey);
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
    m_trigger.clear(); // the desktop says anew what fires this key
    return std::nullopt;
}

void HotKeyController::handleLateFailure(QKeyCombination key, const QString& reason)
{
    // A refusal of a key that was replaced since is no longer news.
    if (!m_started || key != m_hotKey.combination())
        return;
    // Named as the user knew it to work; whatever fires it next is the desktop's to say.
    m_problem = registrationFailure(keyText(), reason) + advice(m_hotKey);
    m_trigger.clear();
    statusChanged();
}

void HotKeyController::handleRecovery(QKeyCombination key)
{
    if (!m_started || key != m_hotKey.combination() || !m_problem)
        return;
    m_problem.reset();
    statusChanged();
}

void HotKeyController::handleTrigger(QKeyCombination key, const QString& trigger)
{
    if (!m_started || key != m_hotKey.combination() || trigger == m_trigger)
        return;
    m_trigger = trigger;
    statusChanged();
}

void HotKeyController::statusChanged()
{
    if (onStatusChange)
        onStatusChange();
}

void HotKeyController::handleTransition(HotKeyTransition transition)
{
    const std::function<void()>& handler =
        transition == HotKeyTransition::Pressed ? onPress : onRelease;
    if (handler)
        handler();
}
