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

// The text field that has keyboard focus in some application.
class FocusedTextElement
{
public:
    virtual ~FocusedTextElement() = default;

    // The whole text, or nothing when the element has no readable text.
    virtual std::optional<QString> value() = 0;
    // The selection (length 0: the caret), or nothing when the element reports none.
    virtual std::optional<TextRange> selectedRange() = 0;
    // Replaces the whole text; false when the write was refused or did not take effect.
    virtual bool setValue(const QString& text) = 0;
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
