#include "platform/x11/X11OverlayWindow.h"

#include <QGuiApplication>
#include <QWidget>
#include <array>
#include <cstring>
#include <xcb/xcb.h>

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

} // namespace

void X11OverlayWindow::prepareToShow(QWidget* window)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !window)
        return;
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window->winId());

    const xcb_atom_t atomType = internAtom(connection, "ATOM");
    const std::array<xcb_atom_t, 4> states{internAtom(connection, "_NET_WM_STATE_ABOVE"),
                                           internAtom(connection, "_NET_WM_STATE_STICKY"),
                                           internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                           internAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id,
                        internAtom(connection, "_NET_WM_STATE"), atomType, 32, states.size(),
                        states.data());

    const xcb_atom_t type = internAtom(connection, "_NET_WM_WINDOW_TYPE_NOTIFICATION");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id,
                        internAtom(connection, "_NET_WM_WINDOW_TYPE"), atomType, 32, 1, &type);

    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id,
                        internAtom(connection, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    xcb_flush(connection);
}
