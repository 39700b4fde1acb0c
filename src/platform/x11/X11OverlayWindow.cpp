#include "platform/x11/X11OverlayWindow.h"

#include <QGuiApplication>
#include <QScreen>
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

// X11 speaks device pixels; Qt places windows in logical ones. Each screen keeps its origin
// and divides distances from it by its pixel ratio; a window counts as on the screen that
// shows most of it (the primary one when none does).
QRect toLogical(const QRect& native)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    const QScreen* best = screens.isEmpty() ? nullptr : screens.constFirst();
    qint64 bestOverlap = 0;
    const auto nativeGeometry = [](const QScreen* screen) {
        return QRect(screen->geometry().topLeft(),
                     (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize());
    };
    for (const QScreen* screen : screens) {
        const QRect common = nativeGeometry(screen).intersected(native);
        const qint64 overlap = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (overlap > bestOverlap) {
            best = screen;
            bestOverlap = overlap;
        }
    }
    if (!best)
        return native;
    const qreal ratio = best->devicePixelRatio();
    const QPoint origin = best->geometry().topLeft();
    const QPointF topLeft = QPointF(native.topLeft() - origin) / ratio + origin;
    return {topLeft.toPoint(), (QSizeF(native.size()) / ratio).toSize()};
}

} // namespace

std::optional<QRect> X11OverlayWindow::activeWindowFrame()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return std::nullopt;
    xcb_connection_t* connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem)
        return std::nullopt;
    const xcb_window_t root = screens.data->root;

    xcb_get_property_reply_t* property = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, root, internAtom(connection, "_NET_ACTIVE_WINDOW"),
                         XCB_ATOM_WINDOW, 0, 1),
        nullptr);
    xcb_window_t active = XCB_WINDOW_NONE;
    if (property && property->format == 32 && xcb_get_property_value_length(property) >= 4)
        active = *static_cast<const xcb_window_t*>(xcb_get_property_value(property));
    free(property);
    if (active == XCB_WINDOW_NONE || active == root)
        return std::nullopt;

    // A window that is gone by now gives errors, not replies: no frame. The errors are
    // taken here, so they never reach Qt's handler as warnings.
    xcb_generic_error_t* geometryError = nullptr;
    xcb_generic_error_t* positionError = nullptr;
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(connection, active);
    const xcb_translate_coordinates_cookie_t positionCookie =
        xcb_translate_coordinates(connection, active, root, 0, 0);
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, geometryCookie, &geometryError);
    xcb_translate_coordinates_reply_t* position =
        xcb_translate_coordinates_reply(connection, positionCookie, &positionError);
    free(geometryError);
    free(positionError);
    std::optional<QRect> frame;
    if (geometry && position && geometry->width > 0 && geometry->height > 0)
        frame =
            toLogical(QRect(position->dst_x, position->dst_y, geometry->width, geometry->height));
    free(geometry);
    free(position);
    return frame;
}

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
