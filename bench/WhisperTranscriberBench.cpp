// Time from WhisperTranscriber::transcribe() to the answer back on the main thread: with a
// stand-in whisper-cli that exits at once (the app's own overhead: lookups, launch, thread
// hops) and with the real whisper-cli on a tiny generated model.
#include "dictation/WhisperCLITranscriber.h"
#include "dictation/WhisperTranscriber.h"
#include "support/SilentWav.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>
#include <optional>

namespace {

const QString kWhisperCli = QStringLiteral(WENDLO_WHISPER_CLI);
const QString kModelTool = QStringLiteral(WENDLO_TINY_MODEL_TOOL);

// A resource directory with the given program as whisper-cli and a model file.
class Resources
{
public:
    explicit Resources(const QString& program)
    {
        QDir().mkpath(m_dir.filePath("Whisper"));
        QFile::link(program, m_dir.filePath("Whisper/whisper-cli"));
        QFile audio(m_dir.filePath("audio.wav"));
        audio.open(QIODevice::WriteOnly);
        audio.write(silentWav());
    }
    QString path() const { return m_dir.path(); }
    QString model() const { return m_dir.filePath("Whisper/ggml-large-v3-turbo.bin"); }
    QString audio() const { return m_dir.filePath("audio.wav"); }

private:
    QTemporaryDir m_dir;
};

void runTranscriptions(benchmark::State& state, const Resources& resources)
{
    WhisperTranscriber transcriber(std::make_shared<WhisperCLITranscriber>(resources.path()));
    QObject context;
    for (auto _ : state) {
        std::optional<Result<QString>> answer;
        transcriber.transcribe(resources.audio(), &context,
                               [&](Result<QString> result) { answer = std::move(result); });
        while (!answer)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!answer->ok()) {
            state.SkipWithError(answer->error().message.toStdString().c_str());
            break;
        }
        benchmark::DoNotOptimize(answer->value());
    }
}

void BM_TranscribeOverheadWithInstantStandIn(benchmark::State& state)
{
    Resources resources("/bin/true");
    QFile(resources.model()).open(QIODevice::WriteOnly);
    runTranscriptions(state, resources);
}

// The same without the hop to the pool and back: what launching the child alone costs.
void BM_TranscribeOverheadSynchronousOnly(benchmark::State& state)
{
    Resources resources("/bin/true");
    QFile(resources.model()).open(QIODevice::WriteOnly);
    const WhisperCLITranscriber transcriber(resources.path());
    for (auto _ : state)
        benchmark::DoNotOptimize(transcriber.transcribe(resources.audio()));
}

void BM_TranscribeRealWhisperCliTinyModel(benchmark::State& state)
{
    if (!QFileInfo(kWhisperCli).isExecutable() || !QFileInfo::exists(kModelTool)) {
        state.SkipWithError("whisper-cli not built (scripts/build-whisper) or model tool missing");
        return;
    }
    Resources resources(kWhisperCli);
    if (QProcess::execute("python3", {kModelTool, resources.model(), "--text", " some words"}) !=
        0) {
        state.SkipWithError("could not generate the tiny model");
        return;
    }
    runTranscriptions(state, resources);
}

} // namespace

BENCHMARK(BM_TranscribeOverheadWithInstantStandIn)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(50)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_TranscribeOverheadSynchronousOnly)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(50)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_TranscribeRealWhisperCliTinyModel)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
