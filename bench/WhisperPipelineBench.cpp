// From the hot key's release to "text inserted" with the real recogniser: the desktop's real
// back ends (X11 hot-key grab pressed through XTest, PulseAudio recording, AT-SPI insertion
// into a real Qt field) and whisper-cli with whatever model RESOURCE_DIR/Whisper holds.
// bench/recogniser-cost drives it once per model shape; by hand, inside a desktop:
//   tests/integration/desktop-session build/bench/WhisperPipelineBench RESOURCE_DIR HOLD_MS N
//       [prefetch]
// Prints one line per dictation: "dictation <i> <release to inserted, ms> <field text>".
// With "prefetch" the model is first read into the page cache as the app does at launch
// ("prefetch <ms>"), and the dictations start once that is done.
#include "HotKeyDictation.h"
#include "dictation/DictationBackends.h"
#include "platform/PlatformFactory.h"
#include "dictation/DictationCoordinator.h"
#include "dictation/HotKey.h"
#include "dictation/ModelPrefetcher.h"
#include "dictation/WhisperCLITranscriber.h"
#include "integration/FieldApp.h"
#include "platform/kernel/KernelPageCache.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/XTestSyntheticKeys.h"
#include "support/Wait.h"

#include <QApplication>
#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool prefetch = argc == 5 && std::string(argv[4]) == "prefetch";
    if (argc != 4 && !prefetch) {
        std::fprintf(stderr, "usage: %s RESOURCE_DIR HOLD_MS DICTATIONS [prefetch]\n", argv[0]);
        return 2;
    }
    const QString resources = QString::fromLocal8Bit(argv[1]);
    const int holdMs = std::atoi(argv[2]);
    const int dictations = std::atoi(argv[3]);

    const auto xcb = X11Connection::ofApplication();
    if (!xcb) {
        std::fprintf(stderr, "needs an X11 display (run it inside desktop-session)\n");
        return 1;
    }
    FieldApp field(FieldApp::Toolkit::Qt, "line", "");
    if (!field.started()) {
        std::fprintf(stderr, "the text field did not start\n");
        return 1;
    }

    auto backends = DictationBackends::withDesktop(PlatformFactory::makePlatformBackends());
    backends.transcriber = std::make_shared<WhisperCLITranscriber>(resources);
    DictationCoordinator coordinator(std::move(backends));
    XTestSyntheticKeys keys(xcb->connection, xcb->root);
    HotKeyDictation dictation(coordinator, keys);
    coordinator.start();

    if (prefetch) {
        const QString model = resources + "/Whisper/ggml-large-v3-turbo.bin";
        ModelPrefetcher prefetcher([model]() -> Result<QString> { return model; },
                                   std::make_shared<KernelPageCache>());
        bool done = false;
        prefetcher.onFinished = [&](const Result<PageCache::Warmed>& warmed) {
            done = true;
            if (!warmed)
                std::fprintf(stderr, "prefetch: %s\n", qPrintable(warmed.error().message));
        };
        const qint64 startedAt = dictation.elapsedNs();
        prefetcher.prefetch();
        waitUntil([&] { return done; }, 600000);
        std::printf("prefetch %.1f\n", (dictation.elapsedNs() - startedAt) / 1e6);
    }

    for (int i = 1; i <= dictations; ++i) {
        // The large shapes take minutes on a small machine.
        const std::optional<double> ms = dictation.dictate(holdMs, 900000);
        if (!ms) {
            std::fprintf(stderr, "dictation %d failed: %s\n", i,
                         qPrintable(coordinator.state().label()));
            return 1;
        }
        spinFor(100); // the field reports its text through a file
        std::printf("dictation %d %.1f %s\n", i, *ms, qPrintable(field.state().text));
        std::fflush(stdout);
    }
    return 0;
}
