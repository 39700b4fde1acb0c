#pragma once

#include <QKeyCombination>

// Synthetic keystrokes delivered as if typed on the keyboard.
class SyntheticKeys
{
public:
    virtual ~SyntheticKeys() = default;

    // The paste chord into the focused window (Ctrl+V, or the terminal's chord), with no other
    // modifier in effect. False when the events could not be made or sent.
    virtual bool postPaste() = 0;
    // The hot key `key` down (its modifiers, then the key) or up (the reverse), through the
    // same path a real key takes.
    virtual bool postHotKey(QKeyCombination key, bool down) = 0;
};
