// OnboardingPractice::correctedTranscript on a 500-character attempt (the practice sentence
// buried in chatter, misheard, so both measures run in full). Reports the median per call.
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

} // namespace

BENCHMARK_MAIN();
