#include "dictation/HotKeyController.h"

namespace {
constexpr std::uint32_t superDId = 1;
}

HotKeyController::HotKeyController(std::unique_ptr<HotKeyBackend> backend)
    : m_backend(std::move(backend))
{
}

std::optional<QString> HotKeyController::start()
{
    // The back end is owned by this controller, so the handler cannot outlive `this`.
    return m_backend->registerHotKey(
        [this](const HotKeyEvent* event) { return handleEvent(event); });
}

int HotKeyController::handleEvent(const HotKeyEvent* event)
{
    if (!event)
        return EventNotHandled;
    // Only the number identifies our key; the signature is deliberately not compared.
    if (event->id != superDId)
        return 0;
    switch (event->kind) {
    case HotKeyEvent::Released:
        if (onRelease)
            onRelease();
        break;
    case HotKeyEvent::Pressed:
        if (onPress)
            onPress();
        break;
    default:
        break;
    }
    return 0;
}
