#pragma once

#include "platform/AccessibilityBackend.h"

#include <functional>
#include <memory>

// A text field held by the test; the fake element edits it.
struct FakeTextField
{
    std::optional<QString> value = QString();
    std::optional<TextRange> selection;
    bool refuseValueWrite = false;
    bool refuseSelectionWrite = false;
    bool secret = false;
    // What the field makes of a write (e.g. upper-casing it); none keeps it as written.
    std::function<QString(const QString&)> transform;
    int valueWrites = 0;
    int reads = 0; // of the value or selection
};

class FakeFocusedElement : public FocusedTextElement
{
public:
    explicit FakeFocusedElement(std::shared_ptr<FakeTextField> field) : m_field(std::move(field)) {}

    bool isSecret() override { return m_field->secret; }
    std::optional<QString> value() override
    {
        ++m_field->reads;
        return m_field->value;
    }
    std::optional<TextRange> selectedRange() override
    {
        ++m_field->reads;
        return m_field->selection;
    }
    ValueWrite setValue(const QString& text) override
    {
        if (m_field->refuseValueWrite)
            return ValueWrite::Refused;
        ++m_field->valueWrites;
        m_field->value = m_field->transform ? m_field->transform(text) : text;
        return m_field->value == text ? ValueWrite::Exact : ValueWrite::Changed;
    }
    bool setSelectedRange(TextRange range) override
    {
        if (m_field->refuseSelectionWrite)
            return false;
        m_field->selection = range;
        return true;
    }

private:
    std::shared_ptr<FakeTextField> m_field;
};

// Control face: trust, whether a field has focus, and the field itself.
class FakeAccessibility : public AccessibilityBackend
{
public:
    bool isTrusted() override { return trusted; }
    bool isTrustedWithPrompt() override
    {
        ++prompts;
        return trusted;
    }
    std::unique_ptr<FocusedTextElement> focusedElement() override
    {
        if (!field)
            return nullptr;
        return std::make_unique<FakeFocusedElement>(field);
    }

    bool trusted = true;
    int prompts = 0;
    std::shared_ptr<FakeTextField> field = std::make_shared<FakeTextField>();
};

// The coordinator's own trust prompt.
class FakeAccessibilityTrust : public AccessibilityTrust
{
public:
    bool isTrusted() override { return trusted; }
    bool isTrustedWithPrompt() override
    {
        ++prompts;
        return trusted;
    }

    bool trusted = true;
    int prompts = 0;
};
