#pragma once

#include "dictation/ClipboardSnapshot.h"
#include "common/QuorError.h"
#include "platform/ClipboardBackend.h"
#include "platform/SyntheticKeys.h"

#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// One paste of dictated text through the clipboard. The selections the chord reads are
// saved, take the text, and are checked to be still ours just before the chord goes out.
// The event loop keeps running throughout, so the target can ask us for the formats and
// the text. Once it has read the text (and gone quiet), the saved contents come back;
// when nothing reads it, the text stays on the clipboard and the user is told. Where the
// clipboard is not ours to take, the keys type the text if they can.
class ClipboardPaste
{
public:
    struct Timing
    {
        int settleMs = 30;          // from taking the selections to the chord
        int readWaitMs = 2000;      // for the target to ask for the text, and at most after
        int quietMs = 150;          // after the target's last read, before restoring
        int ownWindowMs = 350;      // our own windows read without asking: restore after this
        int unwatchedMs = 1000;     // a clipboard manager serves our text: restore after this
        int keyboardWaitMs = 30000; // for the hot key to be let go
    };
    using Done = std::function<void(Failure)>;

    // `done` is called once, from the event loop, never inside a call of the caller's.
    ClipboardPaste(ClipboardBackend& clipboard, SyntheticKeys& keys, QString text, Timing timing,
                   Done done);
    ~ClipboardPaste();

    // While the hot key is held, the keyboard is grabbed by it and a chord would reach no
    // application: the paste waits until it is let go.
    void start(bool keyboardHeld);
    void setKeyboardHeld(bool held);

private:
    void begin();
    void take();
    void type();
    void finishUntyped(const QString& typingFailure);
    void send();
    void contentsRead(Selection selection);
    void restore();
    void leaveOnClipboard(const QString& why);
    void finish(Failure failure);
    bool holdsText(Selection selection) const;
    QString copiedMessage() const;

    ClipboardBackend& m_clipboard;
    SyntheticKeys& m_keys;
    QString m_text;
    Timing m_timing;
    Done m_done;

    std::optional<QString> m_unavailable; // why the clipboard is not ours, where it is not
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(); // for the keys' late answer
    PasteTarget m_target;
    std::vector<Selection> m_selections;
    std::vector<ClipboardSnapshot> m_snapshots;
    bool m_waitingForKeyboard = false;
    bool m_sent = false;
    bool m_read = false;
    bool m_finished = false;
    int m_retakes = 0;

    QTimer m_step;     // the keyboard wait, then the settle before the chord
    QTimer m_deadline; // the wait for a read, and its cap
    QTimer m_quiet;    // the quiet after the last read
};
