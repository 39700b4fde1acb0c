#pragma once

#include "platform/AccessibilityBackend.h"
#include "platform/atspi/AtspiHandle.h"
#include "platform/atspi/ToolkitOffsets.h"

// A focused accessible with the Text and EditableText interfaces, seen in UTF-16 units.
// Writes edit only the changed span (so the field keeps its undo history and does not
// flash) and are read back, because AT-SPI answers success whatever happened. Password
// fields are never read.
class AtspiTextElement : public FocusedTextElement
{
public:
    AtspiTextElement(AtspiHandle accessible, ToolkitOffsets offsets);
    ~AtspiTextElement() override;

    bool isSecret() override;
    std::optional<QString> value() override;
    std::optional<TextRange> selectedRange() override;
    ValueWrite setValue(const QString& text) override;
    bool setSelectedRange(TextRange range) override;

private:
    std::optional<QString> readText();
    bool isDefunct();
    bool isEditable();
    bool replaceSpan(const QString& current, const QString& wanted);
    ValueWrite readBack(const QString& before, const QString& wanted);

    AtspiHandle m_accessible;
    ToolkitOffsets m_offsets;
    // The text as last read or verified; offsets are converted against it.
    std::optional<QString> m_text;
    std::optional<bool> m_secret;
};
