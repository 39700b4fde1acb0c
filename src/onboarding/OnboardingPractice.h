#pragma once

#include <QString>
#include <optional>

// Decides whether a practice dictation counts as the expected sentence. Pure functions; any
// thread. "Character" means a user-perceived character (extended grapheme cluster), and two
// characters are equal when they are canonically equivalent.
namespace OnboardingPractice {

// "Wendlo helps me write without breaking my flow."
QString expectedSentence();

// The expected sentence when `attempt` matches it (contains it, or is similar enough and
// covers enough of its words), else nothing.
std::optional<QString> correctedTranscript(const QString& attempt);

// Lower-cased (full, locale-independent mapping), every scalar that is not a letter, mark or
// number turned into a space, runs of spaces collapsed and trimmed.
QString normalized(const QString& text);

// Edit distance over characters (insertion, deletion, substitution cost 1).
qsizetype levenshteinDistance(const QString& a, const QString& b);

// Share of the words of `expected` (in order, duplicates counted) found among the words of
// `transcript`; 0 for an empty `expected`. Both arguments already normalized.
double expectedWordCoverage(const QString& transcript, const QString& expected);

} // namespace OnboardingPractice
