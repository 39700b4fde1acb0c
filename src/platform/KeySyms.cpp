#include "platform/KeySyms.h"

#include <QChar>
#include <QList>

namespace {

struct Entry
{
    int key;
    const char* name;
    std::uint32_t keysym;
};

// Qt's special keys.
constexpr Entry specialKeys[] = {
    {Qt::Key_Escape, "Escape", 0xff1b},
    {Qt::Key_Tab, "Tab", 0xff09},
    {Qt::Key_Backtab, "ISO_Left_Tab", 0xfe20},
    {Qt::Key_Backspace, "BackSpace", 0xff08},
    {Qt::Key_Return, "Return", 0xff0d},
    {Qt::Key_Enter, "KP_Enter", 0xff8d},
    {Qt::Key_Insert, "Insert", 0xff63},
    {Qt::Key_Delete, "Delete", 0xffff},
    {Qt::Key_Pause, "Pause", 0xff13},
    {Qt::Key_Print, "Print", 0xff61},
    {Qt::Key_SysReq, "Sys_Req", 0xff15},
    {Qt::Key_Clear, "Clear", 0xff0b},
    {Qt::Key_Home, "Home", 0xff50},
    {Qt::Key_End, "End", 0xff57},
    {Qt::Key_Left, "Left", 0xff51},
    {Qt::Key_Up, "Up", 0xff52},
    {Qt::Key_Right, "Right", 0xff53},
    {Qt::Key_Down, "Down", 0xff54},
    {Qt::Key_PageUp, "Page_Up", 0xff55},
    {Qt::Key_PageDown, "Page_Down", 0xff56},
    {Qt::Key_ScrollLock, "Scroll_Lock", 0xff14},
    {Qt::Key_Menu, "Menu", 0xff67},
    {Qt::Key_Help, "Help", 0xff6a},
    {Qt::Key_Cancel, "Cancel", 0xff69},
    {Qt::Key_VolumeDown, "XF86AudioLowerVolume", 0x1008ff11},
    {Qt::Key_VolumeMute, "XF86AudioMute", 0x1008ff12},
    {Qt::Key_VolumeUp, "XF86AudioRaiseVolume", 0x1008ff13},
    {Qt::Key_MediaPlay, "XF86AudioPlay", 0x1008ff14},
    {Qt::Key_MediaStop, "XF86AudioStop", 0x1008ff15},
    {Qt::Key_MediaPrevious, "XF86AudioPrev", 0x1008ff16},
    {Qt::Key_MediaNext, "XF86AudioNext", 0x1008ff17},
    {Qt::Key_MediaRecord, "XF86AudioRecord", 0x1008ff1c},
    {Qt::Key_MediaPause, "XF86AudioPause", 0x1008ff31},
    {Qt::Key_MicMute, "XF86AudioMicMute", 0x1008ffb2},
    {Qt::Key_Calculator, "XF86Calculator", 0x1008ff1d},
    {Qt::Key_Search, "XF86Search", 0x1008ff1b},
    {Qt::Key_HomePage, "XF86HomePage", 0x1008ff18},
    {Qt::Key_LaunchMail, "XF86Mail", 0x1008ff19},
};

// The same keys on the keypad (its digits are KP_0 to KP_9).
constexpr Entry keypadKeys[] = {
    {Qt::Key_Asterisk, "KP_Multiply", 0xffaa}, {Qt::Key_Plus, "KP_Add", 0xffab},
    {Qt::Key_Comma, "KP_Separator", 0xffac},   {Qt::Key_Minus, "KP_Subtract", 0xffad},
    {Qt::Key_Period, "KP_Decimal", 0xffae},    {Qt::Key_Slash, "KP_Divide", 0xffaf},
    {Qt::Key_Enter, "KP_Enter", 0xff8d},       {Qt::Key_Return, "KP_Enter", 0xff8d},
    {Qt::Key_Equal, "KP_Equal", 0xffbd},       {Qt::Key_Home, "KP_Home", 0xff95},
    {Qt::Key_Left, "KP_Left", 0xff96},         {Qt::Key_Up, "KP_Up", 0xff97},
    {Qt::Key_Right, "KP_Right", 0xff98},       {Qt::Key_Down, "KP_Down", 0xff99},
    {Qt::Key_PageUp, "KP_Page_Up", 0xff9a},    {Qt::Key_PageDown, "KP_Page_Down", 0xff9b},
    {Qt::Key_End, "KP_End", 0xff9c},           {Qt::Key_Clear, "KP_Begin", 0xff9d},
    {Qt::Key_Insert, "KP_Insert", 0xff9e},     {Qt::Key_Delete, "KP_Delete", 0xff9f},
};

// Printable ASCII that is not a letter or digit; its keysyms are the characters.
constexpr std::pair<char, const char*> punctuation[] = {
    {' ', "space"},      {'!', "exclam"},       {'"', "quotedbl"},    {'#', "numbersign"},
    {'$', "dollar"},     {'%', "percent"},      {'&', "ampersand"},   {'\'', "apostrophe"},
    {'(', "parenleft"},  {')', "parenright"},   {'*', "asterisk"},    {'+', "plus"},
    {',', "comma"},      {'-', "minus"},        {'.', "period"},      {'/', "slash"},
    {':', "colon"},      {';', "semicolon"},    {'<', "less"},        {'=', "equal"},
    {'>', "greater"},    {'?', "question"},     {'@', "at"},          {'[', "bracketleft"},
    {'\\', "backslash"}, {']', "bracketright"}, {'^', "asciicircum"}, {'_', "underscore"},
    {'`', "grave"},      {'{', "braceleft"},    {'|', "bar"},         {'}', "braceright"},
    {'~', "asciitilde"},
};

template <typename Table> const Entry* find(const Table& table, int key)
{
    for (const Entry& entry : table) {
        if (entry.key == key)
            return &entry;
    }
    return nullptr;
}

struct Found
{
    QString name;
    std::uint32_t keysym;
};

std::optional<Found> lookUp(QKeyCombination combination)
{
    const int key = combination.key();
    if (combination.keyboardModifiers() & Qt::KeypadModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return Found{QStringLiteral("KP_%1").arg(key - Qt::Key_0),
                         std::uint32_t(0xffb0 + (key - Qt::Key_0))};
        if (const Entry* entry = find(keypadKeys, key))
            return Found{QString::fromLatin1(entry->name), entry->keysym};
        return std::nullopt;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return Found{QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1),
                     std::uint32_t(0xffbe + (key - Qt::Key_F1))};
    if (const Entry* entry = find(specialKeys, key))
        return Found{QString::fromLatin1(entry->name), entry->keysym};
    if (key >= 0x20 && key < 0x7f) {
        // Qt names letters by their capital; the layout's keysym is the small one.
        const char32_t small = QChar::toLower(char32_t(key));
        if (QChar::isLetterOrNumber(small) && small != ' ')
            return Found{QString(QChar(char16_t(small))), std::uint32_t(small)};
        for (const auto& [character, name] : punctuation) {
            if (character == key)
                return Found{QString::fromLatin1(name), std::uint32_t(key)};
        }
        return std::nullopt;
    }
    if (key > 0x7f && key < Qt::Key_Escape) {
        // Beyond ASCII xkbcommon reads any character as "U" and its code point in hex.
        const char32_t small = QChar::toLower(char32_t(key));
        return Found{QStringLiteral("U%1").arg(quint32(small), 4, 16, QLatin1Char('0')).toUpper(),
                     KeySyms::ofCharacter(small)};
    }
    return std::nullopt;
}

} // namespace

namespace KeySyms {

std::optional<QString> name(QKeyCombination key)
{
    if (std::optional<Found> found = lookUp(key))
        return found->name;
    return std::nullopt;
}

std::optional<std::uint32_t> keysym(QKeyCombination key)
{
    if (std::optional<Found> found = lookUp(key))
        return found->keysym;
    return std::nullopt;
}

std::uint32_t ofCharacter(char32_t codePoint)
{
    const bool latin1 =
        (codePoint >= 0x20 && codePoint < 0x7f) || (codePoint >= 0xa0 && codePoint <= 0xff);
    return latin1 ? std::uint32_t(codePoint) : std::uint32_t(0x01000000 | codePoint);
}

std::vector<std::uint32_t> ofText(const QString& text)
{
    std::vector<std::uint32_t> keysyms;
    const QList<uint> codePoints = text.toUcs4();
    for (qsizetype i = 0; i < codePoints.size(); ++i) {
        const char32_t c = codePoints.at(i);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < codePoints.size() && codePoints.at(i + 1) == '\n')
                ++i;
            keysyms.push_back(returnKey);
        } else if (c == '\t') {
            keysyms.push_back(tab);
        } else if (c < 0x20 || (c >= 0x7f && c < 0xa0)) {
            continue;
        } else {
            keysyms.push_back(ofCharacter(c));
        }
    }
    return keysyms;
}

} // namespace KeySyms
