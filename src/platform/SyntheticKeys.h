#pragma once

// Synthetic keystrokes delivered as if typed on the keyboard.
class SyntheticKeys
{
public:
    virtual ~SyntheticKeys() = default;

    // The paste chord into the focused window (Ctrl+V, or the terminal's chord), with no other
    // modifier in effect. False when the events could not be made or sent.
    virtual bool postPaste() = 0;
    // Super+D down or up, through the same path a real key takes.
    virtual bool postHotKey(bool down) = 0;
};
