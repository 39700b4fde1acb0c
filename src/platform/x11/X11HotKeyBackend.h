#pragma once

#include "platform/HotKeyBackend.h"

#include <QAbstractNativeEventFilter>
#include <QList>
#include <utility>
#include <xcb/xcb.h>

// The hot key grabbed on the root window of an X11 display, read from the connection's event
// stream (Qt's own connection in the app). The key's press and release reach the handler as
// two events on the thread that runs the connection's event loop.
class X11HotKeyBackend : public HotKeyBackend, private QAbstractNativeEventFilter
{
public:
    X11HotKeyBackend(xcb_connection_t* connection, xcb_window_t root);
    ~X11HotKeyBackend() override;

    std::optional<QString> registerHotKey(QKeyCombination key, Handler handler) override;

private:
    // One key's grabs: each keycode that makes it, with each lock-key variant of its mask.
    struct Grab
    {
        QList<xcb_keycode_t> keycodes;
        std::uint16_t mask = 0;
        QList<std::pair<xcb_keycode_t, std::uint16_t>> grabbed;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    std::optional<QString> grab(QKeyCombination key, Grab& into);
    void ungrab(const Grab& grab, const Grab& keep);

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    Handler m_handler;
    Grab m_grab;
    bool m_filterInstalled = false;
    bool m_autoRepeatChecked = false;
    bool m_down = false; // one hold is one press, however long the key repeats
};
