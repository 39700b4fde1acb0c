#pragma once

#include <QString>
#include <span>

// The languages whisper-cli recognises ("-l CODE"), in whisper's own order.
namespace WhisperLanguages {

struct Language
{
    const char* code;
    const char* name; // English
};

std::span<const Language> all();

// Whether `code` is one of them, or "auto" (whisper detects the language itself).
bool isKnown(const QString& code);

// The English name of `code` ("Automatic" for "auto"), or the code itself when unknown.
QString name(const QString& code);

inline const QString automatic = QStringLiteral("auto");

} // namespace WhisperLanguages
