#pragma once

#include <QKeyCombination>
#include <QString>
#include <functional>
#include <optional>

// The keystroke that pastes in the focused window.
enum class PasteChord
{
    ControlV,
    // Terminals and editors where Ctrl+V is not paste (xterm and vim take it as "insert the
    // next key literally" and eat the user's next key; emacs scrolls). Some of them paste
    // the primary selection on it, so both selections must hold the text.
    ShiftInsert,
};

// How the user would press the chord, for messages.
inline QString chordName(PasteChord chord)
{
    return chord == PasteChord::ShiftInsert ? QStringLiteral("Shift+Insert")
                                            : QStringLiteral("Ctrl+V");
}

// Where a paste would go.
struct PasteTarget
{
    PasteChord chord = PasteChord::ControlV;
    // A window of this process: its paste reads the clipboard without asking the desktop,
    // so no read can be seen, but its fields are known to paste on Ctrl+V.
    bool ownWindow = false;
};

// Synthetic keystrokes delivered as if typed on the keyboard.
class SyntheticKeys
{
public:
    virtual ~SyntheticKeys() = default;

    // The chord for the window that has keyboard focus now.
    virtual PasteTarget pasteTarget() = 0;
    // `chord` into the focused window, with no other modifier in effect. False when the
    // events could not be made or sent.
    virtual bool postPaste(PasteChord chord) = 0;
    // The hot key `key` down (its modifiers, then the key) or up (the reverse), through the
    // same path a real key takes.
    virtual bool postHotKey(QKeyCombination key, bool down) = 0;

    // Types `text` into the focused window key by key, for desktops whose clipboard is not
    // ours to take. `done` gets nothing once every key went out, else why not; it may run
    // inside this call. Keys that cannot type text say so at once with an empty reason.
    using TypeDone = std::function<void(std::optional<QString> failure)>;
    virtual void typeText(const QString& text, TypeDone done)
    {
        (void)text;
        done(QString());
    }
};
