#include "dictation/TextCleanup.h"

#include "common/CharacterBreaks.h"

#include <algorithm>
#include <array>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

namespace TextCleanup {
namespace {

icu::UnicodeString aliasOf(const QString& text)
{
    return icu::UnicodeString(false, reinterpret_cast<const UChar*>(text.utf16()),
                              int32_t(text.size()));
}

QString fromIcu(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// Compiled once; a compiled pattern is safe to share between threads.
const icu::RegexPattern* compiled(const char16_t* pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError error;
    icu::RegexPattern* result =
        icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, error, status);
    if (U_FAILURE(status)) {
        delete result;
        return nullptr;
    }
    return result;
}

QString replaceAll(const icu::RegexPattern* pattern, const QString& text, const char16_t* with)
{
    if (!pattern)
        return text;
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString input = aliasOf(text);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    if (U_FAILURE(status))
        return text;
    const icu::UnicodeString result = matcher->replaceAll(icu::UnicodeString(with), status);
    return U_SUCCESS(status) ? fromIcu(result) : text;
}

// What ICU's \s and \w say about each ASCII character, asked of ICU itself, so the ASCII
// path below agrees with the expressions by construction.
struct AsciiClasses
{
    std::array<bool, 128> space{};
    std::array<bool, 128> word{};
};

bool matchesWhole(const icu::RegexPattern* pattern, char16_t c)
{
    if (!pattern)
        return false;
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString input(c);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    return U_SUCCESS(status) && matcher->matches(status) && U_SUCCESS(status);
}

const AsciiClasses& asciiClasses()
{
    static const AsciiClasses classes = [] {
        AsciiClasses result;
        const std::unique_ptr<const icu::RegexPattern> space(compiled(u"\\s"));
        const std::unique_ptr<const icu::RegexPattern> word(compiled(u"\\w"));
        for (char16_t c = 0; c < 128; ++c) {
            result.space[c] = matchesWhole(space.get(), c);
            result.word[c] = matchesWhole(word.get(), c);
        }
        return result;
    }();
    return classes;
}

bool isAscii(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// "\s+" replaced by " ", for ASCII text.
QString collapsedAsciiWhiteSpace(const QString& text)
{
    const AsciiClasses& classes = asciiClasses();
    QString result;
    result.reserve(text.size());
    bool inRun = false;
    for (QChar c : text) {
        if (classes.space[c.unicode()]) {
            if (!inRun)
                result += u' ';
            inRun = true;
        } else {
            result += c;
            inRun = false;
        }
    }
    return result;
}

// "\bi\b" replaced by "I", for ASCII text: in ASCII a boundary is simply a change between
// word and non-word characters, the text's ends counting as non-word.
QString capitalisedAsciiStandaloneI(QString text)
{
    const AsciiClasses& classes = asciiClasses();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (text.at(i) != u'i')
            continue;
        const bool wordBefore = i > 0 && classes.word[text.at(i - 1).unicode()];
        const bool wordAfter = i + 1 < size && classes.word[text.at(i + 1).unicode()];
        if (!wordBefore && !wordAfter)
            text[i] = u'I';
    }
    return text;
}

// White space and line breaks: the separator categories, tab through carriage return, and NEL.
bool isBlank(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x85 || (U_GET_GC_MASK(UChar32(c)) & U_GC_Z_MASK);
}

QString trimmed(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end) {
        const char32_t c = text.at(begin).unicode();
        if (!isBlank(c))
            break;
        ++begin;
    }
    while (end > begin) {
        const char32_t c = text.at(end - 1).unicode();
        if (!isBlank(c))
            break;
        --end;
    }
    return text.mid(begin, end - begin);
}

// Length in UTF-16 units of the first and the last user-perceived character.
struct EdgeCharacters
{
    qsizetype firstLength = 0;
    qsizetype lastLength = 0;
};

EdgeCharacters edgeCharacters(const QString& text)
{
    icu::BreakIterator* characters = characterBreakIterator();
    if (!characters) {
        const auto unitsAt = [&](qsizetype i, bool high) {
            return (high ? text.at(i).isHighSurrogate() : text.at(i).isLowSurrogate()) ? 2 : 1;
        };
        return {unitsAt(0, true), unitsAt(text.size() - 1, false)};
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUChars(nullptr, reinterpret_cast<const UChar*>(text.utf16()),
                                    text.size(), &status);
    characters->setText(utext, status);
    characters->first();
    const qsizetype firstEnd = characters->next();
    const qsizetype end = characters->last();
    const qsizetype lastStart = characters->previous();
    characters->setText(icu::UnicodeString());
    utext_close(utext);
    return {firstEnd, end - lastStart};
}

bool startsWithLetter(QStringView character)
{
    const char32_t first = character.size() >= 2 && character.at(0).isHighSurrogate() &&
                                   character.at(1).isLowSurrogate()
                               ? QChar::surrogateToUcs4(character.at(0), character.at(1))
                               : character.at(0).unicode();
    return (U_GET_GC_MASK(UChar32(first)) & U_GC_L_MASK) != 0;
}

QString uppercased(QStringView text)
{
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(text.utf16()),
                                    int32_t(text.size()));
    icu::UnicodeString upper(source);
    // The root locale: the default full mapping, so a sharp s becomes "SS".
    upper.toUpper(icu::Locale::getRoot());
    return fromIcu(upper);
}

} // namespace

QString clean(const QString& raw)
{
    static const icu::RegexPattern* const whiteSpace = compiled(u"\\s+");
    static const icu::RegexPattern* const standaloneI = compiled(u"\\bi\\b");

    // ASCII transcripts, the common case, skip the regular-expression engine.
    const bool ascii = isAscii(raw);
    QString text =
        trimmed(ascii ? collapsedAsciiWhiteSpace(raw) : replaceAll(whiteSpace, raw, u" "));
    if (text.isEmpty())
        return {};
    text =
        ascii ? capitalisedAsciiStandaloneI(std::move(text)) : replaceAll(standaloneI, text, u"I");

    // Decided before capitalising: that changes only the first character, and a letter in
    // either case is never a closing mark.
    const EdgeCharacters edges = edgeCharacters(text);
    const QStringView last = QStringView(text).last(edges.lastLength);
    const bool needsFullStop = last != u"." && last != u"!" && last != u"?";

    const QStringView first = QStringView(text).first(edges.firstLength);
    if (startsWithLetter(first))
        text = uppercased(first).append(QStringView(text).sliced(edges.firstLength));
    if (needsFullStop)
        text += u'.';
    return text;
}

} // namespace TextCleanup
