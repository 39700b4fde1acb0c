// One pill frame painted into the 2× snapshot size (400 × 104), and the frame maths alone.
// Goal: a painted frame well under 0.5 ms (the pill redraws 30 times a second), also when
// drawn through the widget as a Wayland layer surface is.
#include "overlay/RecordingOverlayWindowController.h"
#include "overlay/StarfieldPillView.h"

#include <QApplication>
#include <QImage>
#include <QLayout>
#include <QPainter>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace {

void paintFrame(benchmark::State& state, StarfieldPillView::Mode mode)
{
    double now = 100.0;
    StarfieldPillView view([&] { return now; });
    view.applyMode(mode);
    view.stopAnimating();
    QImage image(400, 104, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2.0);
    for (auto _ : state) {
        now += 1.0 / 30;
        view.drawFrame();
        image.fill(Qt::transparent);
        QPainter painter(&image);
        view.paintPill(painter);
    }
}

void BM_PaintRecordingFrame(benchmark::State& state)
{
    paintFrame(state, StarfieldPillView::Mode::Recording);
}
BENCHMARK(BM_PaintRecordingFrame)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_PaintTranscribingFrame(benchmark::State& state)
{
    paintFrame(state, StarfieldPillView::Mode::Transcribing);
}
BENCHMARK(BM_PaintTranscribingFrame)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_FrameMathsOnly(benchmark::State& state)
{
    double now = 100.0;
    StarfieldPillView view([&] { return now; });
    view.applyMode(StarfieldPillView::Mode::Recording);
    view.stopAnimating();
    for (auto _ : state) {
        now += 1.0 / 30;
        view.drawFrame();
        benchmark::DoNotOptimize(view.frame().stars[0].centre);
    }
}
BENCHMARK(BM_FrameMathsOnly)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// What a Wayland layer surface draws per frame: the hidden overlay window rendered through
// QWidget::render into a 2× shared-memory image; against BM_PaintRecordingFrame, the cost of
// the widget path.
void BM_WidgetRenderedFrame(benchmark::State& state)
{
    double now = 100.0;
    RecordingOverlayWindowController controller({}, [&] { return now; });
    QWidget* window = controller.window();
    if (QLayout* layout = window->layout())
        layout->activate();
    StarfieldPillView* view = controller.starfieldView();
    view->applyMode(StarfieldPillView::Mode::Recording);
    view->stopAnimating();
    QImage image(400, 104, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2.0);
    for (auto _ : state) {
        now += 1.0 / 30;
        view->drawFrame();
        image.fill(Qt::transparent);
        window->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    }
}
BENCHMARK(BM_WidgetRenderedFrame)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Timers alive after a dictation ends: the pill must not tick while hidden.
void BM_TimersWhileHidden(benchmark::State& state)
{
    RecordingOverlayWindowController controller;
    controller.render(DictationState::recording());
    controller.render(DictationState::transcribing());
    controller.render(DictationState::idle());
    for (auto _ : state)
        benchmark::DoNotOptimize(controller.starfieldView()->isAnimating());
    state.counters["timers_while_hidden"] =
        static_cast<double>(controller.starfieldView()->findChildren<QTimer*>().size());
}
BENCHMARK(BM_TimersWhileHidden)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
