#pragma once

#include "common/QuorError.h"
#include "dictation/ClipboardPaste.h"
#include "platform/AccessibilityBackend.h"
#include "platform/ClipboardBackend.h"
#include "platform/SyntheticKeys.h"

#include <QObject>
#include <deque>
#include <functional>
#include <memory>

// Puts text into the focused field: in place through accessibility, else by paste.
// Insertions run one at a time, in the order they were asked for.
class FocusedTextInserter
{
public:
    using Done = std::function<void(Failure)>;

    FocusedTextInserter(std::unique_ptr<AccessibilityBackend> accessibility,
                        std::unique_ptr<ClipboardBackend> clipboard,
                        std::unique_ptr<SyntheticKeys> keys,
                        ClipboardPaste::Timing pasteTiming = {});
    ~FocusedTextInserter();

    // `done` runs on the event loop once the text is in the field (or the reason it is
    // not), never inside this call. Nothing runs once the inserter is gone.
    void insert(const QString& text, Done done);

    // Whether the hot key is down: its grab takes every key, so pastes wait for its release.
    void setKeyboardHeld(bool held);

private:
    struct Job
    {
        QString text;
        Done done;
    };

    void startNext();
    void run(const QString& text);
    bool insertViaAccessibility(const QString& text, QString& pasteText);
    void insertViaClipboard(const QString& text);
    void finish(Failure failure);

    std::unique_ptr<AccessibilityBackend> m_accessibility;
    std::unique_ptr<ClipboardBackend> m_clipboard;
    std::unique_ptr<SyntheticKeys> m_keys;
    ClipboardPaste::Timing m_pasteTiming;
    std::deque<Job> m_jobs; // the front one is running
    bool m_running = false;
    bool m_keyboardHeld = false;
    std::unique_ptr<ClipboardPaste> m_paste;
    QObject m_context; // guards queued completions
};
