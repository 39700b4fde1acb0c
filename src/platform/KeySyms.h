#pragma once

#include <QKeyCombination>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// Keys as X11 and xkbcommon name and number them (keysymdef.h, XF86keysym.h): what the X11
// grab, wtype, the shortcut portal's triggers, the compositors' configuration files and the
// remote-desktop portal's keyboard all speak. Modifiers are not part of a key's keysym; the
// keypad modifier picks the keypad key.
namespace KeySyms {

constexpr std::uint32_t shiftL = 0xffe1;
constexpr std::uint32_t controlL = 0xffe3;
constexpr std::uint32_t altL = 0xffe9;
constexpr std::uint32_t superL = 0xffeb;
constexpr std::uint32_t returnKey = 0xff0d;
constexpr std::uint32_t tab = 0xff09;
constexpr std::uint32_t insert = 0xff63;

// "d", "space", "F9", "KP_5", "XF86AudioPlay", "U20AC".
std::optional<QString> name(QKeyCombination key);
std::optional<std::uint32_t> keysym(QKeyCombination key);

// The keysym that types `codePoint`: Latin-1 keysyms are the code points, the rest of Unicode
// sits above 0x01000000.
std::uint32_t ofCharacter(char32_t codePoint);

// The keysyms that type `text`, one per character: a line break (CR, LF or CRLF) is Return,
// a tab Tab; other control characters are dropped, since no key types them.
std::vector<std::uint32_t> ofText(const QString& text);

} // namespace KeySyms
