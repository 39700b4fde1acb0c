#pragma once

#include <QString>
#include <memory>
#include <optional>

// A text range in UTF-16 code units, whatever the toolkit counts in.
struct TextRange
{
    qsizetype location = 0;
    qsizetype length = 0;
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

// What a write did to a field, as read back.
enum class ValueWrite
{
    Exact,   // the field holds the text asked for
    Changed, // the field took the write but altered it (a field that upper-cases, say)
    Refused, // nothing changed
};

// The text field that has keyboard focus in some application.
class FocusedTextElement
{
public:
    virtual ~FocusedTextElement() = default;

    // A password or otherwise masked field: its text must be neither read nor rewritten
    // (it reads back as bullets, and writing those back would destroy the real text).
    virtual bool isSecret() = 0;
    // The whole text, or nothing when the element has no editable text.
    virtual std::optional<QString> value() = 0;
    // The selection (length 0: the caret), or nothing when the element reports none.
    virtual std::optional<TextRange> selectedRange() = 0;
    // Makes the field hold `text` and reports what it holds afterwards.
    virtual ValueWrite setValue(const QString& text) = 0;
    virtual bool setSelectedRange(TextRange range) = 0;
};

// Whether this process may read and edit other applications' fields.
class AccessibilityTrust
{
public:
    virtual ~AccessibilityTrust() = default;

    virtual bool isTrusted() = 0;
    // Like isTrusted(), but when untrusted also offers the user a way to grant it.
    virtual bool isTrustedWithPrompt() = 0;
};

// The accessibility interface the text inserter uses.
class AccessibilityBackend : public AccessibilityTrust
{
public:
    // The focused element, or nothing when no element has focus or none can be reached.
    virtual std::unique_ptr<FocusedTextElement> focusedElement() = 0;
};
