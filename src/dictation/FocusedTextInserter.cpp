#include "dictation/FocusedTextInserter.h"

#include "dictation/DebugLog.h"
#include "dictation/MainThreadTask.h"
#include "dictation/PasteboardSnapshot.h"

namespace {

// Long enough for the target to read the clipboard after its paste; short enough that the
// user's own contents are back before they would reach for them.
constexpr int restoreDelayMs = 350;

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
                                         std::unique_ptr<SyntheticKeys> keys)
    : m_accessibility(std::move(accessibility)), m_clipboard(std::move(clipboard)),
      m_keys(std::move(keys))
{
}

FocusedTextInserter::~FocusedTextInserter() = default;

Failure FocusedTextInserter::insert(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;

    if (!m_accessibility->isTrusted()) {
        m_accessibility->isTrustedWithPrompt();
        return QuorError{QStringLiteral("Accessibility access is required for text insertion")};
    }

    if (insertViaAccessibility(text)) {
        DebugLog::write(QStringLiteral("inserted via accessibility value update"));
        return std::nullopt;
    }
    DebugLog::write(QStringLiteral("falling back to pasteboard insertion"));
    return insertViaPasteboard(text);
}

bool FocusedTextInserter::insertViaAccessibility(const QString& text)
{
    const std::unique_ptr<FocusedTextElement> element = m_accessibility->focusedElement();
    if (!element)
        return false;

    const std::optional<QString> value = element->value();
    if (!value)
        return false;

    const TextRange range = element->selectedRange().value_or(TextRange{value->size(), 0});
    if (!liesWithin(range, *value))
        return false;

    const QString newValue =
        value->left(range.location) + text + value->mid(range.location + range.length);
    if (!element->setValue(newValue))
        return false;

    // A refused caret move leaves the text in place, which is what matters.
    element->setSelectedRange(TextRange{range.location + text.size(), 0});
    return true;
}

Failure FocusedTextInserter::insertViaPasteboard(const QString& text)
{
    auto snapshot = std::make_shared<PasteboardSnapshot>(*m_clipboard);

    m_clipboard->clearContents();
    m_clipboard->setString(text);

    if (!m_keys->postPaste()) {
        // The dictated text stays on the clipboard so the user can still paste it by hand.
        return QuorError{QStringLiteral("Could not create paste event")};
    }
    // Written once the chord went out: a paste that could not be made must not read as posted.
    DebugLog::write(QStringLiteral("posting command-v"));

    ClipboardBackend* clipboard = m_clipboard.get();
    postDelayed(&m_context, restoreDelayMs,
                [snapshot, clipboard] { snapshot->restoreIfSafe(*clipboard); });
    return std::nullopt;
}
