// TextCleanup::clean on a 10 kB transcript of the kind whisper-cli prints: segments on their
// own lines, doubled blanks, lone lowercase i. Reports the median time per call.
#include "dictation/TextCleanup.h"

#include <benchmark/benchmark.h>

namespace {

QString transcriptOfTenKilobytes()
{
    const QString segment =
        QStringLiteral(" so i think  we should   ship it on friday, and i'll write the notes\n");
    QString text;
    while (text.size() < 10 * 1024)
        text += segment;
    return text.left(10 * 1024);
}

void BM_TextCleanupClean10kB(benchmark::State& state)
{
    const QString raw = transcriptOfTenKilobytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(TextCleanup::clean(raw));
    state.SetBytesProcessed(state.iterations() * raw.size() * qsizetype(sizeof(QChar)));
}
BENCHMARK(BM_TextCleanupClean10kB)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
