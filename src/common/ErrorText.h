#pragma once

#include <QString>

// Error texts as the tray menu and alerts show them. A failing program's diagnostic can run to
// pages; the whole text belongs in the log, the user sees its first line.
namespace ErrorText {

constexpr qsizetype MaximumDisplayedCharacters = 200;

// The first non-blank line, trimmed, at most 200 user-perceived characters; a text that was
// cut ends in "…" (counted in the 200).
QString forDisplay(const QString& text);

} // namespace ErrorText
