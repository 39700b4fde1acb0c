#pragma once

#include "dictation/QuorError.h"
#include "platform/AccessibilityBackend.h"
#include "platform/ClipboardBackend.h"
#include "platform/SyntheticKeys.h"

#include <QObject>

#include <memory>

// Puts text into the focused field: in place through accessibility, else by paste.
class FocusedTextInserter
{
public:
    FocusedTextInserter(std::unique_ptr<AccessibilityBackend> accessibility,
                        std::unique_ptr<ClipboardBackend> clipboard,
                        std::unique_ptr<SyntheticKeys> keys);
    ~FocusedTextInserter();

    Failure insert(const QString& text);

private:
    bool insertViaAccessibility(const QString& text);
    Failure insertViaPasteboard(const QString& text);

    std::unique_ptr<AccessibilityBackend> m_accessibility;
    std::unique_ptr<ClipboardBackend> m_clipboard;
    std::unique_ptr<SyntheticKeys> m_keys;
    QObject m_context; // guards the delayed clipboard restore
};
