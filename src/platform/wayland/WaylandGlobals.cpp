#include "platform/wayland/WaylandGlobals.h"

#include <wayland-client.h>

namespace {

void onGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t)
{
    static_cast<QStringList*>(data)->append(QString::fromUtf8(interface));
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kListener{onGlobal, onGlobalRemove};

} // namespace

std::optional<WaylandGlobals> WaylandGlobals::ofSession(QString* error)
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        if (error)
            *error = QStringLiteral("no Wayland compositor answers at WAYLAND_DISPLAY");
        return std::nullopt;
    }
    QStringList interfaces;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, &interfaces);
    // One round trip: the compositor announces every global before it answers.
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!answered) {
        if (error)
            *error = QStringLiteral("the Wayland compositor closed the connection");
        return std::nullopt;
    }
    interfaces.removeDuplicates();
    return WaylandGlobals(std::move(interfaces));
}
