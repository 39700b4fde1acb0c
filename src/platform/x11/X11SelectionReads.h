#pragma once

#include "platform/ClipboardBackend.h"

#include <QAbstractNativeEventFilter>
#include <xcb/xcb.h>

// Watches the selection requests that reach this process on Qt's xcb connection: a request
// for the contents of CLIPBOARD or PRIMARY is an application pasting what we put there.
// Requests for the list of formats, the time stamp or the history hint are not reads: a
// clipboard manager asks those before it decides to leave a transient text alone.
class X11SelectionReads : public ClipboardReadWatch, public QAbstractNativeEventFilter
{
public:
    explicit X11SelectionReads(xcb_connection_t* connection);
    ~X11SelectionReads() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    xcb_atom_t m_clipboard = XCB_ATOM_NONE;
    xcb_atom_t m_targets = XCB_ATOM_NONE;
    xcb_atom_t m_timestamp = XCB_ATOM_NONE;
    xcb_atom_t m_hint = XCB_ATOM_NONE;
};
