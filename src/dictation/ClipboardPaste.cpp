#include "dictation/ClipboardPaste.h"

#include "common/DebugLog.h"

#include <algorithm>

namespace {

constexpr int maxRetakes = 3;

} // namespace

ClipboardPaste::ClipboardPaste(ClipboardBackend& clipboard, SyntheticKeys& keys, QString text,
                               Timing timing, Done done)
    : m_clipboard(clipboard), m_keys(keys), m_text(std::move(text)), m_timing(timing),
      m_done(std::move(done))
{
    for (QTimer* timer : {&m_step, &m_deadline, &m_quiet}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    QObject::connect(&m_quiet, &QTimer::timeout, [this] { restore(); });
    QObject::connect(&m_deadline, &QTimer::timeout, [this] {
        if (m_read)
            restore();
        else
            leaveOnClipboard(QStringLiteral("no application read the pasted text"));
    });
    m_clipboard.onContentsRead = [this](Selection selection) { contentsRead(selection); };
}

ClipboardPaste::~ClipboardPaste()
{
    m_clipboard.onContentsRead = nullptr;
}

void ClipboardPaste::start(bool keyboardHeld)
{
    m_unavailable = m_clipboard.unavailableReason();
    if (m_unavailable) {
        // The user's clipboard is not ours to take here: nothing is saved or written. The keys
        // may type the text instead; else it goes to the user in the message, not lost.
        DebugLog::write(*m_unavailable + QStringLiteral("; clipboard left alone"));
    }
    if (!keyboardHeld) {
        begin();
        return;
    }
    m_waitingForKeyboard = true;
    DebugLog::write(QStringLiteral("paste waits for the hot key to be let go"));
    QObject::connect(&m_step, &QTimer::timeout, [this] {
        m_waitingForKeyboard = false;
        if (m_unavailable) {
            finishUntyped(QStringLiteral("the hot key was held too long to type"));
            return;
        }
        m_target = m_keys.pasteTarget();
        m_selections = {Selection::Clipboard};
        leaveOnClipboard(QStringLiteral("the hot key was held too long to paste"));
    });
    m_step.start(m_timing.keyboardWaitMs);
}

void ClipboardPaste::setKeyboardHeld(bool held)
{
    if (held || !m_waitingForKeyboard)
        return;
    m_waitingForKeyboard = false;
    m_step.stop();
    m_step.disconnect();
    begin();
}

void ClipboardPaste::begin()
{
    if (!m_unavailable) {
        take();
        return;
    }
    // From the event loop, so that `done` never runs inside the caller's start().
    QObject::connect(&m_step, &QTimer::timeout, [this] { type(); });
    m_step.start(0);
}

void ClipboardPaste::type()
{
    DebugLog::write(QStringLiteral("typing the text key by key"));
    const std::weak_ptr<bool> alive = m_alive;
    m_keys.typeText(m_text, [this, alive](std::optional<QString> failure) {
        if (alive.expired())
            return;
        if (!failure) {
            DebugLog::write(QStringLiteral("typed the text"));
            finish(std::nullopt);
            return;
        }
        finishUntyped(*failure);
    });
}

void ClipboardPaste::finishUntyped(const QString& typingFailure)
{
    QString reason = *m_unavailable;
    if (!typingFailure.isEmpty()) {
        DebugLog::write(QStringLiteral("could not type the text: ") + typingFailure);
        reason += QStringLiteral(", and Wendlo could not type it: ") + typingFailure;
    }
    finish(QuorError{QStringLiteral("Could not paste here: ") + reason +
                     QStringLiteral(". Your text: “") + m_text + QStringLiteral("”")});
}

void ClipboardPaste::take()
{
    m_target = m_keys.pasteTarget();
    m_selections = {Selection::Clipboard};
    if (m_target.chord == PasteChord::ShiftInsert)
        m_selections.push_back(Selection::Primary);
    for (const Selection selection : m_selections) {
        m_snapshots.emplace_back(m_clipboard, selection);
        m_clipboard.setTransientText(selection, m_text);
    }
    // The chord goes out from the event loop a moment later: the target may ask the new
    // owner for its formats before it pastes, and we must be there to answer.
    QObject::connect(&m_step, &QTimer::timeout, [this] { send(); });
    m_step.start(m_timing.settleMs);
}

bool ClipboardPaste::holdsText(Selection selection) const
{
    return plainText(m_clipboard.items(selection)) == m_text;
}

void ClipboardPaste::send()
{
    // Another program may have written meanwhile; the chord must paste our text, not theirs.
    // A clipboard manager that took our text over still serves it: that is left alone (taking
    // it back would only start a tug of war), but its reads cannot be seen.
    bool retook = false;
    bool watched = true;
    for (const Selection selection : m_selections) {
        if (!holdsText(selection)) {
            m_clipboard.setTransientText(selection, m_text);
            retook = true;
        } else if (!m_clipboard.ownsSelection(selection)) {
            watched = false;
        }
    }
    if (retook && ++m_retakes <= maxRetakes) {
        DebugLog::write(QStringLiteral("clipboard taken meanwhile; taking it again"));
        m_step.start(m_timing.settleMs);
        return;
    }

    DebugLog::write(m_target.chord == PasteChord::ShiftInsert
                        ? QStringLiteral("sending the paste chord shift+insert")
                        : QStringLiteral("sending the paste chord ctrl+v"));
    m_sent = true;
    if (!m_keys.postPaste(m_target.chord)) {
        // The text stays where it is, so the user can still paste it by hand.
        finish(QuorError{QStringLiteral("Could not create paste event")});
        return;
    }
    if (m_finished || m_read)
        return; // the target read synchronously (only fakes do)
    if (m_target.ownWindow) {
        m_quiet.start(m_timing.ownWindowMs);
        return;
    }
    if (!watched) {
        // The text is there, served by the manager: give the target time to read it.
        m_quiet.start(m_timing.unwatchedMs);
        return;
    }
    if (!m_clipboard.reportsReads()) {
        leaveOnClipboard(QStringLiteral("a paste cannot be seen here"));
        return;
    }
    m_deadline.start(m_timing.readWaitMs);
}

void ClipboardPaste::contentsRead(Selection selection)
{
    if (!m_sent || m_finished)
        return;
    if (std::find(m_selections.begin(), m_selections.end(), selection) == m_selections.end())
        return;
    if (!m_read) {
        m_read = true;
        // Some targets read several formats one after another; wait for them all, within limits.
        m_deadline.start(m_timing.readWaitMs);
    }
    m_quiet.start(m_timing.quietMs);
}

void ClipboardPaste::restore()
{
    if (m_finished)
        return;
    for (const ClipboardSnapshot& snapshot : m_snapshots) {
        if (!snapshot.restoreIfSafe(m_clipboard, m_text))
            DebugLog::write(QStringLiteral("clipboard changed by another program; not restored"));
    }
    finish(std::nullopt);
}

void ClipboardPaste::leaveOnClipboard(const QString& why)
{
    if (m_finished)
        return;
    DebugLog::write(why + QStringLiteral("; text left on the clipboard"));
    // No longer transient: it is now the user's to paste, and a manager may keep it.
    const ClipboardItem item{{QStringLiteral("text/plain"), m_text.toUtf8()}};
    for (const Selection selection : m_selections)
        m_clipboard.writeItems(selection, {item});
    finish(QuorError{copiedMessage()});
}

QString ClipboardPaste::copiedMessage() const
{
    return QStringLiteral("Text copied — paste it with ") + chordName(m_target.chord);
}

void ClipboardPaste::finish(Failure failure)
{
    if (m_finished)
        return;
    m_finished = true;
    m_step.stop();
    m_deadline.stop();
    m_quiet.stop();
    m_clipboard.onContentsRead = nullptr;
    m_done(std::move(failure));
}
