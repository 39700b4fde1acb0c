// Recording cost on a real sound server. Run it inside the private desktop, which warms the
// server up and keeps its sink running:
//   tests/integration/desktop-session build/bench/PulseRecorderBench
#include "platform/pulse/PulseAudioCapture.h"
#include "platform/pulse/PulseAudioRecording.h"

#include <QTemporaryDir>
#include <QUuid>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct Started
{
    std::unique_ptr<AudioRecording> recording;
    PulseAudioRecording* pulse = nullptr;
    QString error;
};

Started startRecording(PulseAudioCapture& capture, const QTemporaryDir& dir)
{
    Started started;
    auto made = capture.makeRecording(dir.path() + "/" + QUuid::createUuid().toString() + ".wav");
    if (!made) {
        started.error = made.error().message;
        return started;
    }
    started.recording = std::move(made).value();
    if (!started.recording->prepareToRecord() || !started.recording->record([](bool) {})) {
        started.error = QStringLiteral("Could not start recording");
        return started;
    }
    started.pulse = dynamic_cast<PulseAudioRecording*>(started.recording.get());
    return started;
}

// Percent of one core used by the process while it records for ten seconds.
void BM_RecordingCpuPercent(benchmark::State& state)
{
    QTemporaryDir dir;
    PulseAudioCapture capture;
    for (auto _ : state) {
        Started started = startRecording(capture, dir);
        if (!started.pulse) {
            state.SkipWithError(qPrintable(started.error));
            return;
        }
        const double cpuBefore = processCpuSeconds();
        const auto wallBefore = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        started.recording->stop();
        const double cpu = processCpuSeconds() - cpuBefore;
        const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
        state.SetIterationTime(wall);
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["seconds_captured"] = double(started.pulse->framesCaptured()) / 16000.0;
    }
}
BENCHMARK(BM_RecordingCpuPercent)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->ReportAggregatesOnly(true);

// From the start of a recording (connection included) to its first sample on disk.
void BM_StartToFirstSample(benchmark::State& state)
{
    QTemporaryDir dir;
    PulseAudioCapture capture;
    for (auto _ : state) {
        const auto before = Clock::now();
        Started started = startRecording(capture, dir);
        if (!started.pulse) {
            state.SkipWithError(qPrintable(started.error));
            return;
        }
        const auto deadline = before + std::chrono::seconds(5);
        while (started.pulse->framesCaptured() == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto firstSample = Clock::now();
        started.recording->stop();
        if (firstSample >= deadline) {
            state.SkipWithError("no sample within 5 s");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(firstSample - before).count());
    }
}
BENCHMARK(BM_StartToFirstSample)
    ->Iterations(1)
    ->Repetitions(15)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
