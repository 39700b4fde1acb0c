// Start-up of the real app, from process start to "launch complete" (coordinator started,
// first window shown), and its resident memory right after. Offscreen, so it needs no display.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

const QString kWendlo = QStringLiteral(WENDLO_EXECUTABLE);

// VmRSS of a running process, in megabytes.
double residentMegabytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// state.range(0): the stored onboarding version (0: onboarding window; 1: permissions window).
void BM_StartupToReady(benchmark::State& state)
{
    double rss = 0;
    for (auto _ : state) {
        QTemporaryDir home;
        QDir().mkpath(home.filePath("runtime"));
        QFile::setPermissions(home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (state.range(0) > 0) {
            QDir().mkpath(home.filePath("config/Wendlo"));
            QFile settings(home.filePath("config/Wendlo/Wendlo.conf"));
            settings.open(QIODevice::WriteOnly);
            settings.write("[General]\nWendlo.OnboardingVersion=1\n");
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("QUOR_DEBUG_LOG", home.filePath("wendlo.log"));
        env.insert("QUOR_LOG_STDERR", "1");
        env.insert("WENDLO_UPDATE_FEED_URL", "http://127.0.0.1:9/latest.json");

        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        const auto begin = std::chrono::steady_clock::now();
        app.start(kWendlo, {});
        QByteArray output;
        while (!output.contains("launch complete") && app.waitForReadyRead(10000))
            output += app.readAll();
        const auto end = std::chrono::steady_clock::now();
        if (!output.contains("launch complete")) {
            state.SkipWithError("the app did not report its launch");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
        rss = residentMegabytes(app.processId());
        app.kill();
        app.waitForFinished(5000);
    }
    state.counters["resident_MB"] = rss;
}

} // namespace

// Goal: under 300 ms to ready and under 60 MB resident.
BENCHMARK(BM_StartupToReady)
    ->ArgName("storedVersion")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

BENCHMARK_MAIN();
