#include "platform/shortcuts/KeySymNames.h"

#include <QChar>
#include <utility>

namespace {

// Qt's special keys (X11's keysymdef.h and XF86keysym.h names, which xkbcommon shares).
constexpr std::pair<int, const char*> specialKeys[] = {
    {Qt::Key_Escape, "Escape"},
    {Qt::Key_Tab, "Tab"},
    {Qt::Key_Backtab, "ISO_Left_Tab"},
    {Qt::Key_Backspace, "BackSpace"},
    {Qt::Key_Return, "Return"},
    {Qt::Key_Enter, "KP_Enter"},
    {Qt::Key_Insert, "Insert"},
    {Qt::Key_Delete, "Delete"},
    {Qt::Key_Pause, "Pause"},
    {Qt::Key_Print, "Print"},
    {Qt::Key_SysReq, "Sys_Req"},
    {Qt::Key_Clear, "Clear"},
    {Qt::Key_Home, "Home"},
    {Qt::Key_End, "End"},
    {Qt::Key_Left, "Left"},
    {Qt::Key_Up, "Up"},
    {Qt::Key_Right, "Right"},
    {Qt::Key_Down, "Down"},
    {Qt::Key_PageUp, "Page_Up"},
    {Qt::Key_PageDown, "Page_Down"},
    {Qt::Key_ScrollLock, "Scroll_Lock"},
    {Qt::Key_Menu, "Menu"},
    {Qt::Key_Help, "Help"},
    {Qt::Key_Cancel, "Cancel"},
    {Qt::Key_VolumeDown, "XF86AudioLowerVolume"},
    {Qt::Key_VolumeMute, "XF86AudioMute"},
    {Qt::Key_VolumeUp, "XF86AudioRaiseVolume"},
    {Qt::Key_MediaPlay, "XF86AudioPlay"},
    {Qt::Key_MediaStop, "XF86AudioStop"},
    {Qt::Key_MediaPrevious, "XF86AudioPrev"},
    {Qt::Key_MediaNext, "XF86AudioNext"},
    {Qt::Key_MediaRecord, "XF86AudioRecord"},
    {Qt::Key_MediaPause, "XF86AudioPause"},
    {Qt::Key_MicMute, "XF86AudioMicMute"},
    {Qt::Key_Calculator, "XF86Calculator"},
    {Qt::Key_Search, "XF86Search"},
    {Qt::Key_HomePage, "XF86HomePage"},
    {Qt::Key_LaunchMail, "XF86Mail"},
};

constexpr std::pair<int, const char*> keypadKeys[] = {
    {Qt::Key_Asterisk, "KP_Multiply"}, {Qt::Key_Plus, "KP_Add"},
    {Qt::Key_Comma, "KP_Separator"},   {Qt::Key_Minus, "KP_Subtract"},
    {Qt::Key_Period, "KP_Decimal"},    {Qt::Key_Slash, "KP_Divide"},
    {Qt::Key_Enter, "KP_Enter"},       {Qt::Key_Return, "KP_Enter"},
    {Qt::Key_Equal, "KP_Equal"},       {Qt::Key_Home, "KP_Home"},
    {Qt::Key_Left, "KP_Left"},         {Qt::Key_Up, "KP_Up"},
    {Qt::Key_Right, "KP_Right"},       {Qt::Key_Down, "KP_Down"},
    {Qt::Key_PageUp, "KP_Page_Up"},    {Qt::Key_PageDown, "KP_Page_Down"},
    {Qt::Key_End, "KP_End"},           {Qt::Key_Clear, "KP_Begin"},
    {Qt::Key_Insert, "KP_Insert"},     {Qt::Key_Delete, "KP_Delete"},
};

// Printable ASCII that is not a letter or digit (keysymdef.h).
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

template <typename Table> std::optional<QString> lookUp(const Table& table, int key)
{
    for (const auto& [tableKey, name] : table) {
        if (int(tableKey) == key)
            return QString::fromLatin1(name);
    }
    return std::nullopt;
}

} // namespace

namespace KeySymNames {

std::optional<QString> name(QKeyCombination combination)
{
    const int key = combination.key();
    if (combination.keyboardModifiers() & Qt::KeypadModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return QStringLiteral("KP_%1").arg(key - Qt::Key_0);
        return lookUp(keypadKeys, key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    if (std::optional<QString> special = lookUp(specialKeys, key))
        return special;
    if (key > 0x20 && key < 0x7f && QChar::isLetterOrNumber(char32_t(key)))
        return QString(QChar(char16_t(QChar::toLower(char32_t(key)))));
    if (key >= 0x20 && key < 0x7f)
        return lookUp(punctuation, key);
    if (key > 0x7f && key < Qt::Key_Escape) {
        // Beyond ASCII xkbcommon reads any character as "U" and its code point in hex.
        const char32_t small = QChar::toLower(char32_t(key));
        return QStringLiteral("U%1").arg(quint32(small), 4, 16, QLatin1Char('0')).toUpper();
    }
    return std::nullopt;
}

} // namespace KeySymNames
