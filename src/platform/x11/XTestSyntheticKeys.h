#pragma once

#include "platform/SyntheticKeys.h"

#include <QByteArray>
#include <cstdint>
#include <vector>
#include <xcb/xcb.h>

// Keystrokes faked through the XTest extension, so they travel the path real keys take
// (grabs, focus, the receiving toolkit's shortcut handling).
class XTestSyntheticKeys : public SyntheticKeys
{
public:
    XTestSyntheticKeys(xcb_connection_t* connection, xcb_window_t root);

    // Shift+Insert for terminals and editors that take Ctrl+V otherwise (by WM_CLASS).
    PasteTarget pasteTarget() override;
    // Modifier keys still held (Super, right after the hot key's release) are released first
    // so none leaks into the chord; they are not pressed again, as the user may have let go
    // meanwhile.
    bool postPaste(PasteChord chord) override;
    bool postHotKey(QKeyCombination key, bool down) override;

    // WM_CLASS of the active window (or of the input focus and its ancestors); empty if none.
    QByteArray focusedWindowClass() const;

private:
    struct Stroke
    {
        xcb_keycode_t code;
        bool down;
    };
    bool available() const;
    bool send(const std::vector<Stroke>& strokes);
    QByteArray wmClass(xcb_window_t window) const;

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};
