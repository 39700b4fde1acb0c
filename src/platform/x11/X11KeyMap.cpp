#include "platform/x11/X11KeyMap.h"

#include "platform/KeySyms.h"

#include <QChar>
#include <cstdlib>
#include <memory>
#include <utility>
#include <xcb/xcb_keysyms.h>

namespace {

constexpr xcb_keysym_t keysymShiftL = KeySyms::shiftL;
constexpr xcb_keysym_t keysymControlL = KeySyms::controlL;
constexpr xcb_keysym_t keysymAltL = KeySyms::altL;
constexpr xcb_keysym_t keysymSuperL = KeySyms::superL;

} // namespace

X11KeyMap::X11KeyMap(xcb_connection_t* connection) : m_symbols(xcb_key_symbols_alloc(connection))
{
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&std::free)> reply(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr),
        &std::free);
    if (!reply)
        return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (code != 0)
                m_modifierKeys[modifier].append(code);
        }
    }
}

X11KeyMap::~X11KeyMap()
{
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
}

QList<xcb_keycode_t> X11KeyMap::keycodes(xcb_keysym_t keysym) const
{
    QList<xcb_keycode_t> result;
    if (!m_symbols)
        return result;
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
        xcb_key_symbols_get_keycode(m_symbols, keysym), &std::free);
    if (!codes)
        return result;
    for (const xcb_keycode_t* code = codes.get(); *code != XCB_NO_SYMBOL; ++code) {
        if (!result.contains(*code))
            result.append(*code);
    }
    return result;
}

xcb_keycode_t X11KeyMap::keycode(xcb_keysym_t keysym) const
{
    const QList<xcb_keycode_t> codes = keycodes(keysym);
    return codes.isEmpty() ? 0 : codes.first();
}

std::uint16_t X11KeyMap::modifierMask(xcb_keysym_t keysym, std::uint16_t fallback) const
{
    for (const xcb_keycode_t code : keycodes(keysym)) {
        for (int modifier = 0; modifier < 8; ++modifier) {
            if (m_modifierKeys[modifier].contains(code))
                return std::uint16_t(1u << modifier);
        }
    }
    return fallback;
}

QList<xcb_keycode_t> X11KeyMap::modifierKeycodes() const
{
    QList<xcb_keycode_t> result;
    for (const QList<xcb_keycode_t>& keys : m_modifierKeys) {
        for (const xcb_keycode_t code : keys) {
            if (!result.contains(code))
                result.append(code);
        }
    }
    return result;
}

std::optional<xcb_keysym_t> X11KeyMap::keysym(QKeyCombination combination)
{
    return KeySyms::keysym(combination);
}

std::uint16_t X11KeyMap::modifierMask(Qt::KeyboardModifiers modifiers) const
{
    std::uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= modifierMask(keysymAltL, XCB_MOD_MASK_1);
    if (modifiers & Qt::MetaModifier)
        mask |= modifierMask(keysymSuperL, XCB_MOD_MASK_4);
    return mask;
}

QList<xcb_keysym_t> X11KeyMap::modifierKeysyms(Qt::KeyboardModifiers modifiers)
{
    QList<xcb_keysym_t> syms;
    if (modifiers & Qt::ControlModifier)
        syms << keysymControlL;
    if (modifiers & Qt::AltModifier)
        syms << keysymAltL;
    if (modifiers & Qt::ShiftModifier)
        syms << keysymShiftL;
    if (modifiers & Qt::MetaModifier)
        syms << keysymSuperL;
    return syms;
}
