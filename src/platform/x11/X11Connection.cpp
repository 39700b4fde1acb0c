#include "platform/x11/X11Connection.h"

#include <QGuiApplication>
#include <cstdlib>

std::optional<X11Connection> X11Connection::ofApplication()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return std::nullopt;
    xcb_connection_t* connection = x11->connection();
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen))
        screen = 0;
    std::free(host);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen && it.rem > 1; ++i)
        xcb_screen_next(&it);
    if (!it.data)
        return std::nullopt;
    return X11Connection{connection, it.data->root};
}
