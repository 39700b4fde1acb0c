#include "platform/x11/X11HotKeyBackend.h"

#include "common/DebugLog.h"
#include "common/MainThreadTask.h"
#include "platform/x11/X11KeyMap.h"

#include <QCoreApplication>
#include <cstdlib>
#include <memory>

// xkb.h uses a C++ keyword as a field name.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace {

constexpr xcb_keysym_t keysymNumLock = 0xff7f;
constexpr std::uint8_t badAccess = 10;

using ErrorPtr = std::unique_ptr<xcb_generic_error_t, decltype(&std::free)>;

// A held key repeats as presses only (no release in between), so a hold stays one hold.
bool enableDetectableAutoRepeat(xcb_connection_t* connection)
{
    std::unique_ptr<xcb_xkb_use_extension_reply_t, decltype(&std::free)> use(
        xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr),
        &std::free);
    if (!use || !use->supported)
        return false;
    const std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    std::unique_ptr<xcb_xkb_per_client_flags_reply_t, decltype(&std::free)> reply(
        xcb_xkb_per_client_flags_reply(
            connection,
            xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
            nullptr),
        &std::free);
    return reply && (reply->value & flag);
}

// XKB clients get no core MappingNotify for a new keyboard (setxkbmap), only XKB's own notices.
// Qt asks for the same ones on its connection; asking here keeps the grab right regardless.
// Returns XKB's first event code, or 0 without the extension.
std::uint8_t selectKeyboardChangeEvents(xcb_connection_t* connection)
{
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (!xkb || !xkb->present)
        return 0;
    const std::uint16_t events =
        XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    const std::uint16_t parts = XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
    ErrorPtr error(xcb_request_check(connection, xcb_xkb_select_events_checked(
                                                     connection, XCB_XKB_ID_USE_CORE_KBD, events, 0,
                                                     events, parts, parts, nullptr)),
                   &std::free);
    if (error)
        DebugLog::write(QStringLiteral("keyboard change notices unavailable (X error %1)")
                            .arg(error->error_code));
    return xkb->first_event;
}

} // namespace

X11HotKeyBackend::X11HotKeyBackend(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection), m_root(root)
{
}

X11HotKeyBackend::~X11HotKeyBackend()
{
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    ungrab(m_grab, Grab{});
}

std::optional<QString> X11HotKeyBackend::registerHotKey(QKeyCombination key, Handler handler)
{
    if (!m_connection || xcb_connection_has_error(m_connection))
        return QStringLiteral("no connection to the X server");
    Grab next;
    if (auto failure = grab(key, next))
        return failure;
    // The new key works: only now let the old one go (keeping what both share).
    ungrab(m_grab, next);
    m_grab = next;
    m_key = key;
    m_down = false;
    m_regrabFailed = false;
    if (!m_autoRepeatChecked) {
        m_autoRepeatChecked = true;
        if (!enableDetectableAutoRepeat(m_connection))
            DebugLog::write(QStringLiteral("detectable auto-repeat unavailable; repeats are "
                                           "ignored while the hot key is down"));
        m_xkbFirstEvent = selectKeyboardChangeEvents(m_connection);
    }
    m_handler = std::move(handler);
    if (!m_filterInstalled) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return std::nullopt;
}

std::optional<QString> X11HotKeyBackend::grab(QKeyCombination key, Grab& into)
{
    const std::optional<xcb_keysym_t> keysym = X11KeyMap::keysym(key);
    if (!keysym)
        return QStringLiteral("X11 has no such key");
    const X11KeyMap keyMap(m_connection);
    into.keycodes = keyMap.keycodes(*keysym);
    if (into.keycodes.isEmpty())
        return QStringLiteral("the keyboard layout has no such key");
    into.mask = keyMap.modifierMask(key.keyboardModifiers());
    const std::uint16_t numLock = keyMap.modifierMask(keysymNumLock, XCB_MOD_MASK_2);

    // The grab must not depend on the lock keys' state.
    const QList<std::uint16_t> locks = {0, XCB_MOD_MASK_LOCK, numLock,
                                        std::uint16_t(XCB_MOD_MASK_LOCK | numLock)};
    for (const xcb_keycode_t code : into.keycodes) {
        for (const std::uint16_t lock : locks) {
            const std::uint16_t modifiers = into.mask | lock;
            const std::pair<xcb_keycode_t, std::uint16_t> pair{code, modifiers};
            if (m_grab.grabbed.contains(pair)) {
                // Already ours from the old key.
                into.grabbed.append(pair);
                continue;
            }
            // Events are reported to the root even when one of our own windows has focus.
            ErrorPtr error(
                xcb_request_check(m_connection,
                                  xcb_grab_key_checked(m_connection, 0, m_root, modifiers, code,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
                &std::free);
            if (error) {
                const int errorCode = error->error_code;
                ungrab(into, m_grab);
                into.grabbed.clear();
                if (errorCode == badAccess)
                    return QStringLiteral("another program already uses it");
                return QStringLiteral("the X server refused the key grab (error %1)")
                    .arg(errorCode);
            }
            into.grabbed.append(pair);
        }
    }
    return std::nullopt;
}

void X11HotKeyBackend::ungrab(const Grab& grab, const Grab& keep)
{
    if (grab.grabbed.isEmpty() || xcb_connection_has_error(m_connection))
        return;
    for (const auto& [code, modifiers] : grab.grabbed) {
        if (!keep.grabbed.contains(std::pair{code, modifiers}))
            xcb_ungrab_key(m_connection, code, m_root, modifiers);
    }
    xcb_flush(m_connection);
}

bool X11HotKeyBackend::isMappingChange(const xcb_generic_event_t* event) const
{
    const std::uint8_t type = event->response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
        return mapping->request == XCB_MAPPING_KEYBOARD || mapping->request == XCB_MAPPING_MODIFIER;
    }
    if (m_xkbFirstEvent == 0 || type != m_xkbFirstEvent)
        return false;
    // Every XKB event carries its own kind in the second byte.
    const std::uint8_t xkbType = event->pad0;
    return xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY;
}

void X11HotKeyBackend::followMappingChange()
{
    m_regrabPending = false;
    if (!m_handler || xcb_connection_has_error(m_connection))
        return;
    Grab next;
    if (const std::optional<QString> failure = grab(m_key, next)) {
        // The old grab stays: its keycodes may still be where the user's fingers expect it.
        DebugLog::write(QStringLiteral("hot key not grabbed again after a keyboard mapping "
                                       "change: ") +
                        *failure);
        // Where the key now lies it does not work: the user must hear of it, once.
        if (!m_regrabFailed) {
            m_regrabFailed = true;
            if (m_onFailure)
                m_onFailure(m_key, *failure);
        }
        return;
    }
    ungrab(m_grab, next);
    if (next.grabbed != m_grab.grabbed)
        DebugLog::write(QStringLiteral("hot key grabbed again after a keyboard mapping change"));
    m_grab = next;
    if (std::exchange(m_regrabFailed, false) && m_onRecovery)
        m_onRecovery(m_key);
}

bool X11HotKeyBackend::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!m_handler || eventType != "xcb_generic_event_t")
        return false;
    const auto* generic = static_cast<const xcb_generic_event_t*>(message);
    if (isMappingChange(generic)) {
        // Changes come in bursts (one notice per request, a new keyboard brings several): one
        // regrab after them, outside Qt's own handling of the notice, which must see it too.
        if (!m_regrabPending) {
            m_regrabPending = true;
            postTask(&m_tasks, [this] { followMappingChange(); });
        }
        return false;
    }
    const std::uint8_t type = generic->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Press and release share one layout.
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    if (key->event != m_root)
        return false;

    if (type == XCB_KEY_PRESS) {
        if (m_down)
            // auto-repeat of the held key
            return key->detail == m_downKeycode || m_grab.keycodes.contains(key->detail);
        if (!m_grab.keycodes.contains(key->detail) || (key->state & m_grab.mask) != m_grab.mask)
            return false;
        m_down = true;
        m_downKeycode = key->detail;
        m_handler(HotKeyTransition::Pressed);
        return true;
    } else {
        // The modifiers usually come up first, so the release is matched by keycode alone.
        if (!m_down || key->detail != m_downKeycode)
            return false;
        m_down = false;
        m_handler(HotKeyTransition::Released);
        return true;
    }
}
