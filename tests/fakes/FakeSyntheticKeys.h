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

    // Typing: nothing without `types` (as keys that cannot type); else `typeFailure` answers,
    // at once or, with `answerLater`, when the test calls `answerTyping`.
    void typeText(const QString& text, TypeDone done) override
    {
        if (!types) {
            done(QString());
            return;
        }
        posted << "type";
        typed << text;
        if (answerLater) {
            pendingTyping = std::move(done);
            return;
        }
        done(typeFailure);
    }
    void answerTyping()
    {
        if (TypeDone done = std::move(pendingTyping))
            done(typeFailure);
    }

    bool types = false;
    bool answerLater = false;
    std::optional<QString> typeFailure;
    QStringList typed;
    TypeDone pendingTyping;

    PasteTarget target;
    bool works = true;
    QStringList posted;
    QList<QKeyCombination> hotKeys;
    std::function<void()> onPaste;
    std::function<void(bool)> onHotKey;
};
