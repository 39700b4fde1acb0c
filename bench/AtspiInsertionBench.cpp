// A 500-character transcript into a real Qt field: through AT-SPI (trust check and focused
// field search included) against `xdotool type` at its default delay, the way other Linux
// dictation tools type. Run inside a desktop with the accessibility bus, e.g.
//   tests/integration/desktop-session build/bench/AtspiInsertionBench
#include "Median.h"
#include "dictation/FocusedTextInserter.h"
#include "fakes/FakeClipboard.h"
#include "fakes/FakeSyntheticKeys.h"
#include "integration/FieldApp.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiAccessibilityTrust.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

namespace {

QString transcript()
{
    const QString sentence = QStringLiteral("The quick brown fox jumps over the lazy dog. ");
    return sentence.repeated(12).left(500);
}

double atspiMedianMs = 0;
double xdotoolMedianMs = 0;

void BM_AtspiInsert(benchmark::State& state)
{
    FieldApp app(FieldApp::Toolkit::Qt, "line", "");
    auto* a11y = new AtspiAccessibility(std::make_unique<AtspiAccessibilityTrust>());
    FocusedTextInserter inserter(std::unique_ptr<AccessibilityBackend>(a11y),
                                 std::make_unique<FakeClipboard>(),
                                 std::make_unique<FakeSyntheticKeys>());
    if (!app.started() || !waitUntil([&] { return a11y->focusedElement() != nullptr; }, 10000)) {
        state.SkipWithError("the test field never had focus (no accessibility bus?)");
        return;
    }
    const QString text = transcript();
    std::vector<double> samples;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        std::optional<Failure> failure;
        inserter.insert(text, [&](Failure f) { failure = std::move(f); });
        waitUntil([&] { return failure.has_value(); }, 10000);
        const double ms = clock.nsecsElapsed() / 1e6;
        state.SetIterationTime(ms / 1000);
        samples.push_back(ms);
        if (!failure || *failure || !app.waitForText(text)) {
            state.SkipWithError("the text did not arrive through accessibility");
            return;
        }
        // Back to an empty field, so every round inserts into the same state.
        auto element = a11y->focusedElement();
        if (element && element->value())
            element->setValue(QString());
        app.waitForText(QString());
    }
    atspiMedianMs = median(samples);
    state.counters["median_ms"] = atspiMedianMs;
}
BENCHMARK(BM_AtspiInsert)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

// The parts of an insertion, to see where the time goes.
void BM_AtspiSteps(benchmark::State& state)
{
    FieldApp app(FieldApp::Toolkit::Qt, state.range(0) ? "plain" : "line", "");
    AtspiAccessibility a11y(std::make_unique<AtspiAccessibilityTrust>());
    if (!app.started() || !waitUntil([&] { return a11y.focusedElement() != nullptr; }, 10000)) {
        state.SkipWithError("the test field never had focus (no accessibility bus?)");
        return;
    }
    const QString text = transcript();
    std::vector<double> trust, find, read, write, caret;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto lap = [&](std::vector<double>& v) {
            v.push_back(clock.nsecsElapsed() / 1e6);
            clock.restart();
        };
        a11y.isTrusted();
        lap(trust);
        auto element = a11y.focusedElement();
        lap(find);
        element->value();
        element->selectedRange();
        lap(read);
        element->setValue(text);
        lap(write);
        element->setSelectedRange({500, 0});
        lap(caret);
        app.waitForText(text);
        element->setValue(QString());
        app.waitForText(QString());
    }
    state.counters["trust"] = median(trust);
    state.counters["find"] = median(find);
    state.counters["read"] = median(read);
    state.counters["write"] = median(write);
    state.counters["caret"] = median(caret);
}
BENCHMARK(BM_AtspiSteps)->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_XdotoolType(benchmark::State& state)
{
    FieldApp app(FieldApp::Toolkit::Qt, "line", "");
    if (!app.started()) {
        state.SkipWithError("the test field did not start");
        return;
    }
    spinFor(300);
    const QString text = transcript();
    std::vector<double> samples;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        QProcess xdotool;
        xdotool.start("xdotool", {"type", "--", text});
        const bool arrived = xdotool.waitForFinished(60000) && app.waitForText(text, 10000);
        const double ms = clock.nsecsElapsed() / 1e6;
        state.SetIterationTime(ms / 1000);
        samples.push_back(ms);
        if (!arrived) {
            state.SkipWithError("xdotool's keystrokes did not arrive");
            return;
        }
        QProcess::execute("xdotool", {"key", "ctrl+a", "BackSpace"});
        app.waitForText(QString());
    }
    xdotoolMedianMs = median(samples);
    state.counters["median_ms"] = xdotoolMedianMs;
}
BENCHMARK(BM_XdotoolType)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (atspiMedianMs > 0 && xdotoolMedianMs > 0) {
        std::printf("500 characters: AT-SPI median %.3f ms (goal < 5 ms), xdotool type median "
                    "%.1f ms, ratio %.0fx (goal >= 500x)\n",
                    atspiMedianMs, xdotoolMedianMs, xdotoolMedianMs / atspiMedianMs);
    }
    return 0;
}
