// OnboardingPractice::correctedTranscript, once per keystroke: on a 500-character attempt (the
// practice sentence buried in chatter, misheard, so both measures run in full), and on hostile
// fields up to a megabyte (runs of combining marks, the sentence at the end of a long text);
// the goal is under 10 ms per call for any input. Reports the median per call.
#include "onboarding/OnboardingPractice.h"

#include <benchmark/benchmark.h>

namespace {

QString attemptOf(qsizetype length, const QString& filler)
{
    QString text;
    while (text.size() < length)
        text += filler;
    return text.left(length);
}

void BM_CorrectedTranscript500(benchmark::State& state)
{
    // Close to the sentence but not containing it: no early answer from the substring rule.
    const QString attempt =
        attemptOf(500, QStringLiteral("Wendel helps me right without breaking my flow, okay? "));
    for (auto _ : state)
        benchmark::DoNotOptimize(OnboardingPractice::correctedTranscript(attempt));
}
BENCHMARK(BM_CorrectedTranscript500)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

void BM_CorrectedTranscript500Accented(benchmark::State& state)
{
    // Non-ASCII text takes the full Unicode path (decomposition and grapheme segmentation).
    const QString attempt = attemptOf(
        500, QString::fromUtf8("Wéndlo hélps mé wrîte withoüt brëaking my flôw, d'accord? "));
    for (auto _ : state)
        benchmark::DoNotOptimize(OnboardingPractice::correctedTranscript(attempt));
}
BENCHMARK(BM_CorrectedTranscript500Accented)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// Long runs of combining marks: one user-perceived character of tens of thousands of code
// points, with marks whose canonical order must be restored (above, below, overlay).
QString markRun(qsizetype length, bool mixedClasses)
{
    const char16_t marks[] = {u'\u0301', u'\u0323', u'\u0334'};
    QString text = QStringLiteral("Wendlo helps me write a");
    while (text.size() < length)
        text += QChar(mixedClasses ? marks[text.size() % 3] : marks[0]);
    return text;
}

void BM_CombiningMarkRun(benchmark::State& state)
{
    const QString attempt = markRun(state.range(0), state.range(1) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(OnboardingPractice::correctedTranscript(attempt));
    state.SetLabel(state.range(1) ? "mixed mark classes" : "one mark class");
}
BENCHMARK(BM_CombiningMarkRun)
    ->ArgsProduct({{4096, 32768, 65536, 131072}, {0, 1}})
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// Many short clusters of marks between words, and the sentence itself buried at the end of a
// long field.
void BM_LongFieldWithTheSentenceAtItsEnd(benchmark::State& state)
{
    QString attempt;
    while (attempt.size() < state.range(0))
        attempt += QStringLiteral("o\u0301\u0323 word ");
    attempt += OnboardingPractice::expectedSentence();
    for (auto _ : state)
        benchmark::DoNotOptimize(OnboardingPractice::correctedTranscript(attempt));
}
BENCHMARK(BM_LongFieldWithTheSentenceAtItsEnd)
    ->Arg(32000)
    ->Arg(131072)
    ->Arg(1 << 20)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
