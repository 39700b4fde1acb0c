#pragma once

#include "platform/HotKeyBackend.h"

#include <QAbstractNativeEventFilter>
#include <QList>
#include <xcb/xcb.h>

// Super+D grabbed on the root window of an X11 display, read from the connection's event
// stream (Qt's own connection in the app). The key's press and release reach the handler as
// two events on the thread that runs the connection's event loop.
class X11HotKeyBackend : public HotKeyBackend, private QAbstractNativeEventFilter
{
public:
    X11HotKeyBackend(xcb_connection_t* connection, xcb_window_t root);
    ~X11HotKeyBackend() override;

    std::optional<QString> registerHotKey(Handler handler) override;

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    std::optional<QString> grab();
    void ungrab();

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    Handler m_handler;
    QList<xcb_keycode_t> m_keycodes;
    std::uint16_t m_superMask = XCB_MOD_MASK_4;
    QList<std::uint16_t> m_grabbedModifiers;
    bool m_filterInstalled = false;
    bool m_down = false; // one hold is one press, however long the key repeats
};
