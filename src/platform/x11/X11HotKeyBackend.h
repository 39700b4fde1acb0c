#pragma once

#include "platform/HotKeyBackend.h"

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QObject>
#include <utility>
#include <xcb/xcb.h>

// The hot key grabbed on the root window of an X11 display, read from the connection's event
// stream (Qt's own connection in the app). The key's press and release reach the handler as
// two events on the thread that runs the connection's event loop. When the keyboard mapping
// changes (a new layout, xmodmap), the key is grabbed again wherever its keysym now lies; if
// another client holds it there, that is a later refusal, and a later regrab that works is its
// recovery.
class X11HotKeyBackend : public HotKeyBackend, private QAbstractNativeEventFilter
{
public:
    X11HotKeyBackend(xcb_connection_t* connection, xcb_window_t root);
    ~X11HotKeyBackend() override;

    std::optional<QString> registerHotKey(QKeyCombination key, Handler handler) override;
    void setFailureHandler(FailureHandler handler) override { m_onFailure = std::move(handler); }
    void setRecoveryHandler(RecoveryHandler handler) override
    {
        m_onRecovery = std::move(handler);
    }

private:
    // One key's grabs: each keycode that makes it, with each lock-key variant of its mask.
    struct Grab
    {
        QList<xcb_keycode_t> keycodes;
        std::uint16_t mask = 0;
        QList<std::pair<xcb_keycode_t, std::uint16_t>> grabbed;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    bool isMappingChange(const xcb_generic_event_t* event) const;
    void followMappingChange();
    std::optional<QString> grab(QKeyCombination key, Grab& into);
    void ungrab(const Grab& grab, const Grab& keep);

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    Handler m_handler;
    FailureHandler m_onFailure;
    RecoveryHandler m_onRecovery;
    QKeyCombination m_key;
    Grab m_grab;
    bool m_filterInstalled = false;
    bool m_autoRepeatChecked = false;
    std::uint8_t m_xkbFirstEvent = 0; // 0: no XKB, only core mapping notices
    bool m_regrabPending = false;
    bool m_regrabFailed = false; // reported as a refusal, until a regrab or a new key works
    // One hold is one press, however long the key repeats; its release is matched by the
    // keycode that went down, which a mapping change during the hold may have taken away.
    bool m_down = false;
    xcb_keycode_t m_downKeycode = 0;
    QObject m_tasks; // guards the queued regrab
};
