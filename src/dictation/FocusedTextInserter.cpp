#include "dictation/FocusedTextInserter.h"

#include "common/DebugLog.h"
#include "common/MainThreadTask.h"
#include "dictation/SeamSpacing.h"

namespace {

bool isLowSurrogateAt(const QString& s, qsizetype i)
{
    return i > 0 && i < s.size() && s.at(i).isLowSurrogate() && s.at(i - 1).isHighSurrogate();
}

// The range as character boundaries of `value`, or nothing when it lies outside it or cuts
// a character in two (an edit there would corrupt the text).
bool liesWithin(const TextRange& range, const QString& value)
{
    if (range.location < 0 || range.length < 0 || range.location > value.size() ||
        range.length > value.size() - range.location)
        return false;
    return !isLowSurrogateAt(value, range.location) &&
           !isLowSurrogateAt(value, range.location + range.length);
}

} // namespace

FocusedTextInserter::FocusedTextInserter(std::unique_ptr<AccessibilityBackend> accessibility,
                                         std::unique_ptr<ClipboardBackend> clipboard,
                                         std::unique_ptr<SyntheticKeys> keys,
                                         ClipboardPaste::Timing pasteTiming)
    : m_accessibility(std::move(accessibility)), m_clipboard(std::move(clipboard)),
      m_keys(std::move(keys)), m_pasteTiming(pasteTiming)
{
}

FocusedTextInserter::~FocusedTextInserter()
{
    // The paste refers to the clipboard and keys: it goes first.
    m_paste.reset();
}

void FocusedTextInserter::insert(const QString& text, Done done)
{
    m_jobs.push_back(Job{text, std::move(done)});
    if (!m_running)
        startNext();
}

void FocusedTextInserter::setKeyboardHeld(bool held)
{
    m_keyboardHeld = held;
    if (m_paste)
        m_paste->setKeyboardHeld(held);
}

void FocusedTextInserter::startNext()
{
    if (m_jobs.empty())
        return;
    m_running = true;
    run(m_jobs.front().text);
}

void FocusedTextInserter::finish(Failure failure)
{
    // Queued, so that `done` never runs inside insert() and the paste is not destroyed
    // inside its own callback.
    postTask(&m_context, [this, failure = std::move(failure)] {
        m_paste.reset();
        Done done = std::move(m_jobs.front().done);
        m_jobs.pop_front();
        m_running = false;
        if (done)
            done(failure);
        startNext();
    });
}

void FocusedTextInserter::run(const QString& text)
{
    if (text.isEmpty()) {
        finish(std::nullopt);
        return;
    }

    if (!m_accessibility->isTrusted()) {
        m_accessibility->isTrustedWithPrompt();
        finish(QuorError{QStringLiteral("Accessibility access is required for text insertion")});
        return;
    }

    QString pasteText;
    if (insertViaAccessibility(text, pasteText)) {
        DebugLog::write(QStringLiteral("inserted via accessibility value update"));
        finish(std::nullopt);
        return;
    }
    DebugLog::write(QStringLiteral("falling back to clipboard insertion"));
    insertViaClipboard(pasteText);
}

bool FocusedTextInserter::insertViaAccessibility(const QString& text, QString& pasteText)
{
    pasteText = text;
    const std::unique_ptr<FocusedTextElement> element = m_accessibility->focusedElement();
    if (!element)
        return false;
    // Its text reads back as bullets: splicing into that would overwrite the real password.
    if (element->isSecret()) {
        DebugLog::write(QStringLiteral("focused field is masked"));
        return false;
    }

    const std::optional<QString> value = element->value();
    if (!value)
        return false;

    const TextRange range = element->selectedRange().value_or(TextRange{value->size(), 0});
    if (!liesWithin(range, *value))
        return false;

    const QString before = value->left(range.location);
    const QString after = value->mid(range.location + range.length);
    const QString insertion = SeamSpacing::padded(before, text, after);
    // A paste lands at the same caret, so it needs the same spaces.
    pasteText = insertion;
    const QString wanted = before + insertion + after;
    const TextRange caret{range.location + insertion.size(), 0};

    switch (element->setValue(wanted)) {
    case ValueWrite::Refused:
        return false;
    case ValueWrite::Changed:
        // The field took the text and altered it; a paste now would insert it twice. The
        // caret goes behind it only where the field kept the text's length.
        DebugLog::write(QStringLiteral("field altered the inserted text"));
        if (element->value().value_or(QString()).size() == wanted.size())
            element->setSelectedRange(caret);
        return true;
    case ValueWrite::Exact:
        // A refused caret move leaves the text in place, which is what matters.
        element->setSelectedRange(caret);
        return true;
    }
    return false;
}

void FocusedTextInserter::insertViaClipboard(const QString& text)
{
    m_paste = std::make_unique<ClipboardPaste>(*m_clipboard, *m_keys, text, m_pasteTiming,
                                               [this](Failure failure) { finish(failure); });
    m_paste->start(m_keyboardHeld);
}
