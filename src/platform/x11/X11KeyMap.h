#pragma once

#include <QKeyCombination>
#include <QList>
#include <array>
#include <cstdint>
#include <optional>
#include <xcb/xcb.h>

struct _XCBKeySymbols;

// The server's current keyboard mapping: keysyms to keycodes, and which modifier bit each
// modifier key sets. Read once at construction; make a new one after a mapping change.
class X11KeyMap
{
public:
    explicit X11KeyMap(xcb_connection_t* connection);
    ~X11KeyMap();
    X11KeyMap(const X11KeyMap&) = delete;
    X11KeyMap& operator=(const X11KeyMap&) = delete;

    // Every keycode that produces `keysym` in some group or level; empty when none does.
    QList<xcb_keycode_t> keycodes(xcb_keysym_t keysym) const;
    // The first of them, or 0.
    xcb_keycode_t keycode(xcb_keysym_t keysym) const;

    // The modifier mask (Mod4, Lock, ...) that the key producing `keysym` sets, or `fallback`
    // when no modifier is bound to it.
    std::uint16_t modifierMask(xcb_keysym_t keysym, std::uint16_t fallback) const;

    // Keycodes bound to any modifier (Shift, Control, Alt, Super, ...).
    QList<xcb_keycode_t> modifierKeycodes() const;

    // The keysym of a Qt key (keypad keys when the combination has the keypad modifier);
    // nothing for keys X11 has no keysym for.
    static std::optional<xcb_keysym_t> keysym(QKeyCombination key);
    // The X11 modifier mask of Qt's Ctrl, Shift, Alt and Meta (Super), by this mapping.
    std::uint16_t modifierMask(Qt::KeyboardModifiers modifiers) const;
    // The keysyms of the keys that set those modifiers, left-hand ones.
    static QList<xcb_keysym_t> modifierKeysyms(Qt::KeyboardModifiers modifiers);

private:
    _XCBKeySymbols* m_symbols = nullptr;
    std::array<QList<xcb_keycode_t>, 8> m_modifierKeys; // by modifier index: Shift .. Mod5
};
