#pragma once

#include <memory>
#include <unicode/brkiter.h>

// ICU's iterator over user-perceived characters (grapheme clusters), one per thread: making
// one costs far more than a whole cleanup or match. Null if ICU cannot make one.
inline icu::BreakIterator* characterBreakIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return iterator.get();
}
