#include "platform/x11/X11SelectionReads.h"

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name),
            nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

X11SelectionReads::X11SelectionReads(xcb_connection_t* connection)
{
    if (!connection || xcb_connection_has_error(connection))
        return;
    m_clipboard = internAtom(connection, "CLIPBOARD");
    m_targets = internAtom(connection, "TARGETS");
    m_timestamp = internAtom(connection, "TIMESTAMP");
    m_hint = internAtom(connection, "x-kde-passwordManagerHint");
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11SelectionReads::~X11SelectionReads()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11SelectionReads::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
        return false;
    const auto* request = static_cast<const xcb_selection_request_event_t*>(message);
    if (request->target == m_targets || request->target == m_timestamp || request->target == m_hint)
        return false;
    if (!onRead)
        return false;
    if (request->selection == m_clipboard)
        onRead(Selection::Clipboard);
    else if (request->selection == XCB_ATOM_PRIMARY)
        onRead(Selection::Primary);
    return false; // Qt answers it
}
