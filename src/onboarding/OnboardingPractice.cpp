#include "onboarding/OnboardingPractice.h"

#include "common/CharacterBreaks.h"

#include <QSet>
#include <QStringView>
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unordered_map>
#include <vector>

namespace OnboardingPractice {
namespace {

constexpr double SimilarityThreshold = 0.72;
constexpr double CoverageThreshold = 0.75;

const UChar* icuChars(const QString& text)
{
    return reinterpret_cast<const UChar*>(text.utf16());
}

// Below U+00C0 no character has a canonical decomposition and, CR LF aside, every UTF-16
// unit is a character of its own: the common case needs no ICU call.
bool isTriviallySegmented(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0xC0 && c != u'\r'; });
}

// A run of code points without a normalization boundary between them is what ICU reorders as
// one piece, by insertion: quadratic in its length. Real text keeps such runs short.
constexpr qsizetype LongestRunForIcu = 32;

// Calls `visit` with each code point of `text` (a lone surrogate as it is) while it returns true.
template <typename Visit>
void forEachCodePoint(const QString& text, Visit visit)
{
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size;) {
        UChar32 value = units[i];
        qsizetype length = 1;
        if (QChar::isHighSurrogate(units[i]) && i + 1 < size &&
            QChar::isLowSurrogate(units[i + 1])) {
            value = UChar32(QChar::surrogateToUcs4(units[i], units[i + 1]));
            length = 2;
        }
        i += length;
        if (!visit(value))
            return;
    }
}

bool hasLongUnboundedRun(const QString& text, const icu::Normalizer2& nfd)
{
    qsizetype run = 0;
    bool found = false;
    forEachCodePoint(text, [&](UChar32 value) {
        run = nfd.hasBoundaryBefore(value) ? 0 : run + 1;
        found = run > LongestRunForIcu;
        return !found;
    });
    return found;
}

// NFD without ICU's reordering: each code point's full decomposition, then every run of
// non-starters sorted stably by combining class, which is NFD by definition.
QString decomposedLinearly(const QString& text, const icu::Normalizer2& nfd)
{
    struct Scalar
    {
        UChar32 value;
        uint8_t combiningClass;
    };
    std::vector<Scalar> scalars;
    scalars.reserve(size_t(text.size()));
    const auto add = [&scalars](UChar32 value) {
        scalars.push_back({value, uint8_t(u_getCombiningClass(value))});
    };
    icu::UnicodeString mapping;
    forEachCodePoint(text, [&](UChar32 value) {
        // A lone surrogate has no decomposition and stays as it is.
        if (!nfd.getDecomposition(value, mapping)) {
            add(value);
            return true;
        }
        for (int32_t at = 0; at < mapping.length();) {
            const UChar32 part = mapping.char32At(at);
            add(part);
            at += U16_LENGTH(part);
        }
        return true;
    });

    for (size_t start = 0; start < scalars.size();) {
        if (scalars[start].combiningClass == 0) {
            ++start;
            continue;
        }
        size_t end = start + 1;
        while (end < scalars.size() && scalars[end].combiningClass != 0)
            ++end;
        if (end - start > 1) {
            std::stable_sort(scalars.begin() + qsizetype(start), scalars.begin() + qsizetype(end),
                             [](const Scalar& a, const Scalar& b) {
                                 return a.combiningClass < b.combiningClass;
                             });
        }
        start = end;
    }

    QString result;
    result.reserve(qsizetype(scalars.size()));
    for (const Scalar& scalar : scalars) {
        if (scalar.value >= 0x10000) {
            result += QChar(QChar::highSurrogate(char32_t(scalar.value)));
            result += QChar(QChar::lowSurrogate(char32_t(scalar.value)));
        } else {
            result += QChar(char16_t(scalar.value));
        }
    }
    return result;
}

// Canonical decomposition, so that canonically equivalent texts compare equal unit by unit.
QString decomposed(const QString& text)
{
    if (isTriviallySegmented(text))
        return text;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status))
        return text;
    if (hasLongUnboundedRun(text, *nfd))
        return decomposedLinearly(text, *nfd);
    const icu::UnicodeString source(false, icuChars(text), int32_t(text.size()));
    const icu::UnicodeString result = nfd->normalize(source, status);
    if (U_FAILURE(status))
        return text;
    return QString(reinterpret_cast<const QChar*>(result.getBuffer()), result.length());
}

// One key per user-perceived character; canonically equivalent characters get equal keys.
// Keys of single UTF-16 units are the unit itself; longer characters are numbered from 0x10000
// in order of first appearance, so keys are comparable only within one CharacterKeys.
class CharacterKeys
{
public:
    std::vector<int> keys(const QString& text)
    {
        std::vector<int> result;
        result.reserve(size_t(text.size()));
        if (isTriviallySegmented(text)) {
            for (QChar c : text)
                result.push_back(c.unicode());
            return result;
        }

        const QString nfd = decomposed(text);
        icu::BreakIterator* characters = characterBreakIterator();
        if (!characters) {
            for (QChar c : nfd)
                result.push_back(c.unicode());
            return result;
        }
        UErrorCode status = U_ZERO_ERROR;
        UText* utext = utext_openUChars(nullptr, icuChars(nfd), nfd.size(), &status);
        characters->setText(utext, status);
        int32_t start = characters->first();
        for (int32_t end = characters->next(); end != icu::BreakIterator::DONE;
             start = end, end = characters->next()) {
            if (end - start == 1) {
                result.push_back(nfd.at(start).unicode());
                continue;
            }
            std::u16string cluster(reinterpret_cast<const char16_t*>(nfd.utf16()) + start,
                                   size_t(end - start));
            const auto [it, inserted] =
                m_clusterKeys.try_emplace(std::move(cluster), 0x10000 + int(m_clusterKeys.size()));
            result.push_back(it->second);
        }
        // The iterator keeps a shallow clone of the UText; detach it from our buffer.
        characters->setText(icu::UnicodeString());
        utext_close(utext);
        return result;
    }

private:
    std::unordered_map<std::u16string, int> m_clusterKeys;
};

// Myers' bit-parallel edit distance (in Hyyrö's form), exact for a `pattern` of at most 64
// characters: one machine word holds a whole column of the two-row table.
qsizetype bitParallelDistance(const std::vector<int>& text, const std::vector<int>& pattern)
{
    const size_t m = pattern.size();
    std::array<std::uint64_t, 128> asciiMasks{};
    std::unordered_map<int, std::uint64_t> otherMasks;
    for (size_t i = 0; i < m; ++i) {
        const int key = pattern[i];
        if (key >= 0 && key < 128)
            asciiMasks[size_t(key)] |= std::uint64_t(1) << i;
        else
            otherMasks[key] |= std::uint64_t(1) << i;
    }
    const std::uint64_t last = std::uint64_t(1) << (m - 1);
    std::uint64_t pv = ~std::uint64_t(0);
    std::uint64_t mv = 0;
    qsizetype score = qsizetype(m);
    for (const int key : text) {
        std::uint64_t eq = 0;
        if (key >= 0 && key < 128) {
            eq = asciiMasks[size_t(key)];
        } else if (const auto it = otherMasks.find(key); it != otherMasks.end()) {
            eq = it->second;
        }
        const std::uint64_t xv = eq | mv;
        const std::uint64_t xh = (((eq & pv) + pv) ^ pv) | eq;
        std::uint64_t ph = mv | ~(xh | pv);
        std::uint64_t mh = pv & xh;
        if (ph & last)
            ++score;
        else if (mh & last)
            --score;
        // The top row of the table is 0, 1, 2, ...: every column starts one higher.
        ph = (ph << 1) | 1;
        mh <<= 1;
        pv = mh | ~(xv | ph);
        mv = ph & xv;
    }
    return score;
}

// The edit distance over character keys: insertion, deletion and substitution cost 1.
qsizetype distance(const std::vector<int>& a, const std::vector<int>& b)
{
    if (a.empty())
        return qsizetype(b.size());
    if (b.empty())
        return qsizetype(a.size());
    // Symmetric, so the shorter side can be the pattern.
    if (b.size() <= 64 && b.size() <= a.size())
        return bitParallelDistance(a, b);
    if (a.size() <= 64)
        return bitParallelDistance(b, a);

    // Two rows as long as `b`.
    std::vector<qsizetype> previous(b.size() + 1);
    std::vector<qsizetype> current(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        previous[j] = qsizetype(j);
    const int* bKeys = b.data();
    const size_t bSize = b.size();
    for (size_t i = 1; i <= a.size(); ++i) {
        const int ai = a[i - 1];
        qsizetype left = qsizetype(i);
        current[0] = left;
        for (size_t j = 1; j <= bSize; ++j) {
            const qsizetype substitution = previous[j - 1] + (ai == bKeys[j - 1] ? 0 : 1);
            const qsizetype insertionOrDeletion = std::min(left, previous[j]) + 1;
            left = std::min(substitution, insertionOrDeletion);
            current[j] = left;
        }
        std::swap(previous, current);
    }
    return previous[bSize];
}

QString lowercased(const QString& text)
{
    if (text.isEmpty())
        return text;
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; })) {
        // In ASCII the full mapping is A-Z to a-z and nothing else.
        QString result = text;
        for (QChar& c : result) {
            if (c >= u'A' && c <= u'Z')
                c = QChar(c.unicode() + 0x20);
        }
        return result;
    }
    // The root locale gives the default, locale-independent full mapping.
    QString result(text.size() + 8, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = u_strToLower(reinterpret_cast<UChar*>(result.data()), int32_t(result.size()),
                                  icuChars(text), int32_t(text.size()), "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        result.resize(length);
        status = U_ZERO_ERROR;
        length = u_strToLower(reinterpret_cast<UChar*>(result.data()), int32_t(result.size()),
                              icuChars(text), int32_t(text.size()), "", &status);
    }
    if (U_FAILURE(status))
        return text;
    result.resize(length);
    return result;
}

bool isLetterMarkOrNumber(char32_t scalar)
{
    return (U_GET_GC_MASK(UChar32(scalar)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

QSet<QStringView> wordSet(QStringView text)
{
    QSet<QStringView> words;
    for (QStringView word : text.split(u' ', Qt::SkipEmptyParts))
        words.insert(word);
    return words;
}

} // namespace

QString expectedSentence()
{
    return QStringLiteral("Wendlo helps me write without breaking my flow.");
}

QString normalized(const QString& text)
{
    const QString lower = lowercased(text);
    QString result;
    result.reserve(lower.size());
    bool pendingSpace = false;
    const char16_t* units = reinterpret_cast<const char16_t*>(lower.utf16());
    const qsizetype size = lower.size();
    for (qsizetype i = 0; i < size;) {
        char32_t scalar = units[i];
        qsizetype length = 1;
        if (QChar::isHighSurrogate(scalar) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            scalar = QChar::surrogateToUcs4(units[i], units[i + 1]);
            length = 2;
        }
        // A lone surrogate is no letter, mark or number: it becomes a space like any other.
        if (isLetterMarkOrNumber(scalar)) {
            if (pendingSpace && !result.isEmpty())
                result += u' ';
            pendingSpace = false;
            result.append(QStringView(units + i, length));
        } else {
            pendingSpace = true;
        }
        i += length;
    }
    return result;
}

qsizetype levenshteinDistance(const QString& a, const QString& b)
{
    CharacterKeys keys;
    const std::vector<int> aKeys = keys.keys(a);
    const std::vector<int> bKeys = keys.keys(b);
    return distance(aKeys, bKeys);
}

double expectedWordCoverage(const QString& transcript, const QString& expected)
{
    const QString transcriptNfd = decomposed(transcript);
    const QString expectedNfd = decomposed(expected);
    const QList<QStringView> expectedWords =
        QStringView(expectedNfd).split(u' ', Qt::SkipEmptyParts);
    if (expectedWords.isEmpty())
        return 0;
    const QSet<QStringView> transcriptWords = wordSet(transcriptNfd);
    const auto found =
        std::count_if(expectedWords.cbegin(), expectedWords.cend(),
                      [&](QStringView word) { return transcriptWords.contains(word); });
    return double(found) / double(expectedWords.size());
}

namespace {

// Attempts longer than this (in UTF-16 units) are searched only in their two end windows.
constexpr qsizetype LongestAttemptMatchedWhole = 32768;
constexpr qsizetype EndWindowLength = 16384;

bool contains(const std::vector<int>& text, const std::vector<int>& pattern)
{
    return std::search(text.cbegin(), text.cend(),
                       std::boyer_moore_horspool_searcher(pattern.cbegin(), pattern.cend())) !=
           text.cend();
}

// Between two ASCII characters other than CR LF there is always a character boundary, and a
// cut there keeps every character on either side (only a Greek final sigma may change its
// form, and the sentence has none): whatever sentence a piece holds, the whole text holds.
bool isSafeCut(const QString& text, qsizetype at)
{
    if (at <= 0 || at >= text.size())
        return true;
    const char16_t before = text.at(at - 1).unicode();
    const char16_t after = text.at(at).unicode();
    return before < 0x80 && after < 0x80 && !(before == u'\r' && after == u'\n');
}

qsizetype safeCutAtOrBefore(const QString& text, qsizetype at)
{
    while (!isSafeCut(text, at))
        --at;
    return at;
}

qsizetype safeCutAtOrAfter(const QString& text, qsizetype at)
{
    while (!isSafeCut(text, at))
        ++at;
    return at;
}

// The substring rule alone.
bool containsExpected(const QString& attempt)
{
    const QString t = normalized(attempt);
    if (t.isEmpty())
        return false;
    CharacterKeys keys;
    const std::vector<int> tKeys = keys.keys(t);
    return contains(tKeys, keys.keys(normalized(expectedSentence())));
}

} // namespace

std::optional<QString> correctedTranscript(const QString& attempt)
{
    // Runs on every keystroke: a field far longer than any dictation (a paste, say) is only
    // searched for the sentence near its two ends, so the work stays bounded. Such a text is
    // far too long to pass on similarity anyway.
    if (attempt.size() > LongestAttemptMatchedWhole) {
        const QString head = attempt.left(safeCutAtOrBefore(attempt, EndWindowLength));
        const QString tail =
            attempt.mid(safeCutAtOrAfter(attempt, attempt.size() - EndWindowLength));
        if (containsExpected(head) || containsExpected(tail))
            return expectedSentence();
        return std::nullopt;
    }

    const QString t = normalized(attempt);
    const QString e = normalized(expectedSentence());
    if (t.isEmpty())
        return std::nullopt;

    CharacterKeys keys;
    const std::vector<int> tKeys = keys.keys(t);
    const std::vector<int> eKeys = keys.keys(e);
    if (contains(tKeys, eKeys))
        return expectedSentence();

    const size_t n = std::max(tKeys.size(), eKeys.size());
    bool similar = true;
    if (n > 0) {
        // Every character beyond the sentence's length costs an edit: when even that many fail
        // the threshold, the distance itself need not be computed.
        const double fewestEdits = double(n) - double(std::min(tKeys.size(), eKeys.size()));
        similar = 1.0 - fewestEdits / double(n) >= SimilarityThreshold;
        if (similar) {
            const double d = double(distance(tKeys, eKeys));
            similar = 1.0 - d / double(n) >= SimilarityThreshold;
        }
    }
    const bool covered = similar && expectedWordCoverage(t, e) >= CoverageThreshold;
    if (similar && covered)
        return expectedSentence();
    return std::nullopt;
}

} // namespace OnboardingPractice
