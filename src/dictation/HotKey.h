#pragma once

#include "common/QuorError.h"

#include <QKeyCombination>
#include <QString>

// The global hot key the user holds to dictate: one key with its modifiers. Written in
// settings as a portable key-sequence string ("Super+D", "Ctrl+Alt+Space", "F9", "Num+5")
// and shown to the user as "Ctrl + Alt + Space".
class HotKey
{
public:
    // Super+D.
    static HotKey standard();

    // Reads a portable string. "Super" (also "Win", "Meta") names the logo key, case and the
    // blanks around "+" do not matter. Refused, with a reason the user can act on: anything
    // but one key, a modifier alone, and a key every program needs (one that types, edits or
    // moves: letters, digits, space, Escape, Tab, Return, arrows, ...) without Ctrl, Alt or
    // Super, as the grab would take it from them. Function, media and keypad keys may stand
    // alone.
    static Result<HotKey> parse(const QString& text);

    // Any combination that `parse` would accept; used by the settings window's key editor.
    static Result<HotKey> fromCombination(QKeyCombination combination);

    QKeyCombination combination() const { return m_combination; }
    // "Super+D": what `parse` reads back.
    QString portableText() const;
    // "Super + D", "Ctrl + Alt + Space", "Keypad 5".
    QString displayText() const;

    bool operator==(const HotKey& other) const = default;

private:
    explicit HotKey(QKeyCombination combination) : m_combination(combination) {}
    QKeyCombination m_combination;
};
