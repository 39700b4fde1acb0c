#pragma once

#include <QString>

// The spaces a dictation needs where it meets the text around the caret, so that
// "alpha |beta" takes "Hello." as "alpha Hello. beta", not "alpha Hello.beta".
namespace SeamSpacing {

struct Padding
{
    bool before = false; // put one space before the dictation
    bool after = false;  // and one after it
    friend bool operator==(const Padding&, const Padding&) = default;
};

// `before` is the text up to the caret (or selection), `after` the text behind it.
Padding around(const QString& before, const QString& text, const QString& after);

// `text` with the padding applied.
QString padded(const QString& before, const QString& text, const QString& after);

} // namespace SeamSpacing
