// A dictation pasted into a native Wayland window without editable text: the inserter's
// clipboard path (data-control snapshot of a two-format clipboard, the chord through wtype,
// the restore), against typing the same text with `wtype TEXT`, the way other Wayland
// dictation tools type. Run inside a sway session, e.g.
//   tests/integration/wayland-session build/bench/WaylandPasteBench
#include "Median.h"
#include "dictation/FocusedTextInserter.h"
#include "fakes/FakeAccessibility.h"
#include "integration/FieldApp.h"
#include "platform/wayland/DataControlClipboard.h"
#include "platform/wayland/SwayFocus.h"
#include "platform/wayland/WtypeSyntheticKeys.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

namespace {

const QString kText = QStringLiteral("Meet me at the station at half past nine.");

double pasteLandedMs = 0;
double pasteDoneMs = 0;
double typedMs = 0;

// Another application's clipboard: text and a picture.
bool userCopies(QProcess& owner)
{
    const QByteArray png =
        QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+"
                               "M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
    owner.start(WENDLO_WL_CLIPBOARD_OWNER,
                {"text/plain", QByteArray("user text").toBase64(), "image/png", png.toBase64()});
    return owner.waitForStarted(3000) && waitUntil([&] { return owner.canReadLine(); }, 3000);
}

bool focusedField(FieldApp& app)
{
    return app.started() &&
           waitUntil([] { return SwayFocus::ask(qEnvironmentVariable("SWAYSOCK")).has_value(); },
                     10000);
}

void BM_PasteIntoNativeField(benchmark::State& state)
{
    FieldApp app(FieldApp::Toolkit::Qt, "paste-only", "");
    auto clipboard = DataControlClipboard::connect(nullptr);
    const QString wtype = QStandardPaths::findExecutable("wtype");
    if (!clipboard || wtype.isEmpty() || !focusedField(app)) {
        state.SkipWithError("needs a sway session with data-control and wtype");
        return;
    }
    auto accessibility = std::make_unique<FakeAccessibility>();
    accessibility->field.reset(); // no editable text: the clipboard path
    const QString sway = qEnvironmentVariable("SWAYSOCK");
    FocusedTextInserter inserter(
        std::move(accessibility), std::move(clipboard),
        std::make_unique<WtypeSyntheticKeys>(wtype, [sway] { return SwayFocus::ask(sway); }));
    std::vector<double> landed;
    std::vector<double> done;
    QString expected;
    for (auto _ : state) {
        QProcess owner;
        if (!userCopies(owner)) {
            state.SkipWithError("the other owner did not take the clipboard");
            return;
        }
        expected += kText;
        QElapsedTimer clock;
        clock.start();
        std::optional<Failure> failure;
        inserter.insert(kText, [&](Failure f) { failure = std::move(f); });
        if (!waitUntil([&] { return app.state().text == expected; }, 5000)) {
            state.SkipWithError("the paste did not arrive");
            return;
        }
        landed.push_back(clock.nsecsElapsed() / 1e6);
        waitUntil([&] { return failure.has_value(); }, 5000);
        done.push_back(clock.nsecsElapsed() / 1e6);
        state.SetIterationTime(landed.back() / 1000);
        if (!failure || *failure) {
            state.SkipWithError("the paste reported a failure");
            return;
        }
        owner.kill();
        owner.waitForFinished(1000);
    }
    pasteLandedMs = median(landed);
    pasteDoneMs = median(done);
    state.counters["landed_median_ms"] = pasteLandedMs;
    state.counters["restored_median_ms"] = pasteDoneMs;
}
BENCHMARK(BM_PasteIntoNativeField)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_WtypeTypesTheText(benchmark::State& state)
{
    FieldApp app(FieldApp::Toolkit::Qt, "line", "");
    if (!focusedField(app)) {
        state.SkipWithError("needs a sway session");
        return;
    }
    std::vector<double> samples;
    QString expected;
    for (auto _ : state) {
        expected += kText;
        QElapsedTimer clock;
        clock.start();
        QProcess type;
        type.start("wtype", {kText});
        if (!waitUntil([&] { return app.state().text == expected; }, 10000)) {
            state.SkipWithError("the typed text did not arrive");
            return;
        }
        samples.push_back(clock.nsecsElapsed() / 1e6);
        state.SetIterationTime(samples.back() / 1000);
        type.waitForFinished(3000);
    }
    typedMs = median(samples);
    state.counters["median_ms"] = typedMs;
}
BENCHMARK(BM_WtypeTypesTheText)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (pasteLandedMs > 0 && typedMs > 0) {
        std::printf("%lld characters: paste landed median %.1f ms (clipboard restored %.1f ms), "
                    "wtype typing median %.1f ms\n",
                    static_cast<long long>(kText.size()), pasteLandedMs, pasteDoneMs, typedMs);
    }
    return 0;
}
