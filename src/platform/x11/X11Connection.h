#pragma once

#include <optional>
#include <xcb/xcb.h>

// The application's own X11 connection (Qt's) and the root window of its default screen.
struct X11Connection
{
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;

    // None when the application does not run on the xcb platform.
    static std::optional<X11Connection> ofApplication();
};
