#pragma once

#include <QString>

// Turns a raw transcript into the sentence that is inserted.
namespace TextCleanup {

// Collapses white space, trims, capitalises a standalone i and the first letter, and ends
// the text with a full stop unless it already ends in ".", "!" or "?". Empty stays empty.
QString clean(const QString& raw);

} // namespace TextCleanup
