#include "platform/x11/X11KeyMap.h"

#include <QChar>
#include <cstdlib>
#include <memory>
#include <utility>
#include <xcb/xcb_keysyms.h>

namespace {

constexpr xcb_keysym_t keysymShiftL = 0xffe1;
constexpr xcb_keysym_t keysymControlL = 0xffe3;
constexpr xcb_keysym_t keysymAltL = 0xffe9;
constexpr xcb_keysym_t keysymSuperL = 0xffeb;

// Qt's special keys and their keysyms (X11's keysymdef.h and XF86keysym.h).
constexpr std::pair<int, xcb_keysym_t> specialKeys[] = {
    {Qt::Key_Escape, 0xff1b},         {Qt::Key_Tab, 0xff09},
    {Qt::Key_Backtab, 0xfe20},        {Qt::Key_Backspace, 0xff08},
    {Qt::Key_Return, 0xff0d},         {Qt::Key_Enter, 0xff8d},
    {Qt::Key_Insert, 0xff63},         {Qt::Key_Delete, 0xffff},
    {Qt::Key_Pause, 0xff13},          {Qt::Key_Print, 0xff61},
    {Qt::Key_SysReq, 0xff15},         {Qt::Key_Clear, 0xff0b},
    {Qt::Key_Home, 0xff50},           {Qt::Key_End, 0xff57},
    {Qt::Key_Left, 0xff51},           {Qt::Key_Up, 0xff52},
    {Qt::Key_Right, 0xff53},          {Qt::Key_Down, 0xff54},
    {Qt::Key_PageUp, 0xff55},         {Qt::Key_PageDown, 0xff56},
    {Qt::Key_ScrollLock, 0xff14},     {Qt::Key_Menu, 0xff67},
    {Qt::Key_Help, 0xff6a},           {Qt::Key_Cancel, 0xff69},
    {Qt::Key_VolumeDown, 0x1008ff11}, {Qt::Key_VolumeMute, 0x1008ff12},
    {Qt::Key_VolumeUp, 0x1008ff13},   {Qt::Key_MediaPlay, 0x1008ff14},
    {Qt::Key_MediaStop, 0x1008ff15},  {Qt::Key_MediaPrevious, 0x1008ff16},
    {Qt::Key_MediaNext, 0x1008ff17},  {Qt::Key_MediaRecord, 0x1008ff1c},
    {Qt::Key_MediaPause, 0x1008ff31}, {Qt::Key_MicMute, 0x1008ffb2},
    {Qt::Key_Calculator, 0x1008ff1d}, {Qt::Key_Search, 0x1008ff1b},
    {Qt::Key_HomePage, 0x1008ff18},   {Qt::Key_LaunchMail, 0x1008ff19},
};

// The same keys on the keypad.
constexpr std::pair<int, xcb_keysym_t> keypadKeys[] = {
    {Qt::Key_Asterisk, 0xffaa}, {Qt::Key_Plus, 0xffab},   {Qt::Key_Comma, 0xffac},
    {Qt::Key_Minus, 0xffad},    {Qt::Key_Period, 0xffae}, {Qt::Key_Slash, 0xffaf},
    {Qt::Key_Enter, 0xff8d},    {Qt::Key_Return, 0xff8d}, {Qt::Key_Equal, 0xffbd},
    {Qt::Key_Home, 0xff95},     {Qt::Key_Left, 0xff96},   {Qt::Key_Up, 0xff97},
    {Qt::Key_Right, 0xff98},    {Qt::Key_Down, 0xff99},   {Qt::Key_PageUp, 0xff9a},
    {Qt::Key_PageDown, 0xff9b}, {Qt::Key_End, 0xff9c},    {Qt::Key_Clear, 0xff9d},
    {Qt::Key_Insert, 0xff9e},   {Qt::Key_Delete, 0xff9f},
};

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
    const int key = combination.key();
    if (combination.keyboardModifiers() & Qt::KeypadModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return xcb_keysym_t(0xffb0 + (key - Qt::Key_0));
        for (const auto& [qtKey, sym] : keypadKeys) {
            if (qtKey == key)
                return sym;
        }
        return std::nullopt;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return xcb_keysym_t(0xffbe + (key - Qt::Key_F1));
    for (const auto& [qtKey, sym] : specialKeys) {
        if (qtKey == key)
            return sym;
    }
    if (key >= Qt::Key_Space && key < Qt::Key_Escape) {
        // Qt names letters by their capital; the layout's keysym is the small one. Latin-1
        // keysyms are the code points, the rest of Unicode sits above 0x01000000.
        const char32_t small = QChar::toLower(char32_t(key));
        return small < 0x100 ? xcb_keysym_t(small) : xcb_keysym_t(0x01000000 | small);
    }
    return std::nullopt;
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
