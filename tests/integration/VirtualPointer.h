#pragma once

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <QPoint>
#include <QSize>
#include <cstring>
#include <linux/input-event-codes.h>
#include <wayland-client.h>

// A pointer device of the test's own on the compositor's seat (a headless seat has none), on
// a connection of its own: clicks at a place on the outputs as a mouse would.
class VirtualPointer
{
public:
    VirtualPointer() : m_display(wl_display_connect(nullptr))
    {
        if (!m_display)
            return;
        static const wl_registry_listener listener{
            [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
                auto* self = static_cast<VirtualPointer*>(data);
                if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
                    self->m_manager =
                        static_cast<zwlr_virtual_pointer_manager_v1*>(wl_registry_bind(
                            registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
            },
            [](void*, wl_registry*, uint32_t) {}};
        m_registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(m_registry, &listener, this);
        wl_display_roundtrip(m_display);
        if (m_manager)
            m_pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(m_manager, nullptr);
        wl_display_roundtrip(m_display);
    }

    ~VirtualPointer()
    {
        if (m_pointer)
            zwlr_virtual_pointer_v1_destroy(m_pointer);
        if (m_manager)
            zwlr_virtual_pointer_manager_v1_destroy(m_manager);
        if (m_registry)
            wl_registry_destroy(m_registry);
        if (m_display)
            wl_display_disconnect(m_display);
    }
    VirtualPointer(const VirtualPointer&) = delete;
    VirtualPointer& operator=(const VirtualPointer&) = delete;

    bool ok() const { return m_pointer != nullptr; }

    // Moves to `at` of the `layout` (the outputs' logical extent) and clicks the left button.
    bool click(QPoint at, QSize layout)
    {
        if (!ok())
            return false;
        zwlr_virtual_pointer_v1_motion_absolute(m_pointer, m_time++, uint32_t(at.x()),
                                                uint32_t(at.y()), uint32_t(layout.width()),
                                                uint32_t(layout.height()));
        zwlr_virtual_pointer_v1_frame(m_pointer);
        zwlr_virtual_pointer_v1_button(m_pointer, m_time++, BTN_LEFT,
                                       WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(m_pointer);
        zwlr_virtual_pointer_v1_button(m_pointer, m_time++, BTN_LEFT,
                                       WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(m_pointer);
        return wl_display_roundtrip(m_display) >= 0;
    }

private:
    wl_display* m_display;
    wl_registry* m_registry = nullptr;
    zwlr_virtual_pointer_manager_v1* m_manager = nullptr;
    zwlr_virtual_pointer_v1* m_pointer = nullptr;
    uint32_t m_time = 1;
};
