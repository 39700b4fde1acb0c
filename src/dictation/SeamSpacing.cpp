#include "dictation/SeamSpacing.h"

namespace {

char32_t lastCodePoint(const QString& s)
{
    if (s.isEmpty())
        return 0;
    const qsizetype n = s.size();
    if (n >= 2 && s.at(n - 1).isLowSurrogate() && s.at(n - 2).isHighSurrogate())
        return QChar::surrogateToUcs4(s.at(n - 2), s.at(n - 1));
    return s.at(n - 1).unicode();
}

char32_t firstCodePoint(const QString& s)
{
    if (s.isEmpty())
        return 0;
    if (s.size() >= 2 && s.at(0).isHighSurrogate() && s.at(1).isLowSurrogate())
        return QChar::surrogateToUcs4(s.at(0), s.at(1));
    return s.at(0).unicode();
}

// Scripts written without spaces between words: a space there would be an error.
bool writtenWithoutSpaces(char32_t c)
{
    switch (QChar::script(c)) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Thai:
    case QChar::Script_Lao:
    case QChar::Script_Khmer:
    case QChar::Script_Myanmar:
    case QChar::Script_Tibetan:
        return true;
    default:
        return false;
    }
}

bool isWordCharacter(char32_t c)
{
    return c != 0 && QChar::isLetterOrNumber(c) && !writtenWithoutSpaces(c);
}

// Fullwidth and ideographic punctuation belongs to scripts written without spaces.
bool isFullwidth(char32_t c)
{
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF);
}

// Punctuation that ends something (a full stop, a comma, a closing bracket or quote) is
// followed by a space. Opening brackets and quotes, dashes, and marks that lead into a word
// (a straight quote, a slash, @, #) are not.
bool endsWithSpaceAfter(char32_t c)
{
    if (isWordCharacter(c))
        return true;
    if (isFullwidth(c))
        return false;
    switch (QChar::category(c)) {
    case QChar::Punctuation_Close:
    case QChar::Punctuation_FinalQuote:
        return true;
    case QChar::Punctuation_Other:
        return !(c < 0x80 && QByteArrayView("\"'/\\@#&*%").contains(char(c)));
    default:
        return false;
    }
}

} // namespace

namespace SeamSpacing {

Padding around(const QString& before, const QString& text, const QString& after)
{
    Padding padding;
    padding.before =
        endsWithSpaceAfter(lastCodePoint(before)) && isWordCharacter(firstCodePoint(text));
    padding.after = !text.isEmpty() && isWordCharacter(firstCodePoint(after));
    return padding;
}

QString padded(const QString& before, const QString& text, const QString& after)
{
    const Padding padding = around(before, text, after);
    QString result;
    result.reserve(text.size() + 2);
    if (padding.before)
        result += QLatin1Char(' ');
    result += text;
    if (padding.after)
        result += QLatin1Char(' ');
    return result;
}

} // namespace SeamSpacing
