#include "platform/x11/XTestSyntheticKeys.h"

#include "platform/TerminalWindows.h"
#include "platform/x11/X11KeyMap.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <xcb/xtest.h>

namespace {

constexpr xcb_keysym_t keysymV = 0x0076;
constexpr xcb_keysym_t keysymControlL = 0xffe3;
constexpr xcb_keysym_t keysymShiftL = 0xffe1;
constexpr xcb_keysym_t keysymInsert = 0xff63;
// The V key's position on evdev keyboards; toolkits match Ctrl+V by position when the active
// layout has no Latin v (Cyrillic, Greek, ...).
constexpr xcb_keycode_t evdevKeyV = 55;
constexpr int maxAncestors = 16;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name, std::uint16_t length)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, length, name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

XTestSyntheticKeys::XTestSyntheticKeys(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection), m_root(root)
{
}

bool XTestSyntheticKeys::available() const
{
    if (!m_connection || xcb_connection_has_error(m_connection))
        return false;
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(m_connection, &xcb_test_id);
    return extension && extension->present;
}

PasteTarget XTestSyntheticKeys::pasteTarget()
{
    PasteTarget target;
    // Our own windows read our own clipboard inside this process.
    target.ownWindow = QGuiApplication::focusWindow() != nullptr;
    if (!target.ownWindow && TerminalWindows::pastesOnShiftInsert(focusedWindowClass()))
        target.chord = PasteChord::ShiftInsert;
    return target;
}

bool XTestSyntheticKeys::postPaste(PasteChord chord)
{
    if (!available())
        return false;
    const X11KeyMap keyMap(m_connection);
    xcb_keycode_t modifier = 0;
    xcb_keycode_t key = 0;
    if (chord == PasteChord::ShiftInsert) {
        modifier = keyMap.keycode(keysymShiftL);
        key = keyMap.keycode(keysymInsert);
    } else {
        modifier = keyMap.keycode(keysymControlL);
        key = keyMap.keycode(keysymV);
        if (key == 0)
            key = evdevKeyV;
    }
    if (modifier == 0 || key == 0)
        return false;

    std::vector<Stroke> strokes;
    Reply<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr), &std::free);
    if (keymap) {
        for (const xcb_keycode_t code : keyMap.modifierKeycodes()) {
            if (keymap->keys[code / 8] & (1u << (code % 8)))
                strokes.push_back({code, false});
        }
    }
    strokes.push_back({modifier, true});
    strokes.push_back({key, true});
    strokes.push_back({key, false});
    strokes.push_back({modifier, false});
    return send(strokes);
}

bool XTestSyntheticKeys::postHotKey(QKeyCombination key, bool down)
{
    if (!available())
        return false;
    const X11KeyMap keyMap(m_connection);
    const std::optional<xcb_keysym_t> keysym = X11KeyMap::keysym(key);
    const xcb_keycode_t code = keysym ? keyMap.keycode(*keysym) : 0;
    if (code == 0)
        return false;
    std::vector<Stroke> strokes;
    for (const xcb_keysym_t modifier : X11KeyMap::modifierKeysyms(key.keyboardModifiers())) {
        const xcb_keycode_t modifierCode = keyMap.keycode(modifier);
        if (modifierCode == 0)
            return false;
        strokes.push_back({modifierCode, down});
    }
    if (down) {
        strokes.push_back({code, true});
    } else {
        std::reverse(strokes.begin(), strokes.end());
        strokes.insert(strokes.begin(), {code, false});
    }
    return send(strokes);
}

bool XTestSyntheticKeys::send(const std::vector<Stroke>& strokes)
{
    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(strokes.size());
    for (const Stroke& stroke : strokes) {
        cookies.push_back(
            xcb_test_fake_input_checked(m_connection, stroke.down ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                                        stroke.code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0));
    }
    bool ok = true;
    for (const xcb_void_cookie_t cookie : cookies) {
        Reply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie), &std::free);
        ok = ok && !error;
    }
    return ok;
}

QByteArray XTestSyntheticKeys::focusedWindowClass() const
{
    if (!m_connection || xcb_connection_has_error(m_connection))
        return {};
    xcb_window_t window = XCB_NONE;
    static constexpr char activeName[] = "_NET_ACTIVE_WINDOW";
    const xcb_atom_t active = internAtom(m_connection, activeName, sizeof(activeName) - 1);
    if (active != XCB_ATOM_NONE) {
        Reply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(
                m_connection,
                xcb_get_property(m_connection, 0, m_root, active, XCB_ATOM_WINDOW, 0, 1), nullptr),
            &std::free);
        if (reply && xcb_get_property_value_length(reply.get()) == sizeof(xcb_window_t))
            window = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    }
    if (window == XCB_NONE) {
        Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr),
            &std::free);
        if (focus)
            window = focus->focus;
    }
    // The focus may sit on a child of the client window, which alone carries WM_CLASS.
    for (int depth = 0; depth < maxAncestors; ++depth) {
        if (window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT || window == m_root)
            return {};
        const QByteArray found = wmClass(window);
        if (!found.isEmpty())
            return found;
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr),
            &std::free);
        if (!tree)
            return {};
        window = tree->parent;
    }
    return {};
}

QByteArray XTestSyntheticKeys::wmClass(xcb_window_t window) const
{
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
            nullptr),
        &std::free);
    if (!reply)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}
