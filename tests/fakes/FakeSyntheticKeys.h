#pragma once

#include "platform/SyntheticKeys.h"

#include <QStringList>
#include <functional>

// Records keystrokes; can refuse them, and can run a hook on each (a test's "target app").
class FakeSyntheticKeys : public SyntheticKeys
{
public:
    PasteTarget pasteTarget() override { return target; }
    bool postPaste(PasteChord chord) override
    {
        posted << (chord == PasteChord::ShiftInsert ? "shift+insert" : "paste");
        if (onPaste)
            onPaste();
        return works;
    }
    bool postHotKey(QKeyCombination key, bool down) override
    {
        posted << (down ? "hotkey-down" : "hotkey-up");
        hotKeys << key;
        if (onHotKey)
            onHotKey(down);
        return works;
    }

    PasteTarget target;
    bool works = true;
    QStringList posted;
    QList<QKeyCombination> hotKeys;
    std::function<void()> onPaste;
    std::function<void(bool)> onHotKey;
};
