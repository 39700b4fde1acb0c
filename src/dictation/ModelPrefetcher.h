#pragma once

#include "common/QuorError.h"
#include "platform/PageCache.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>

#include <functional>
#include <memory>

// Reads the speech model into the page cache in the background, so that the first dictation
// after launch does not wait for the disk: whisper-cli reads the whole file on every run.
// Main thread only; the read runs on a thread of its own, so that it never holds up a
// transcription waiting for the shared pool, and stops soon after the prefetcher is gone.
class ModelPrefetcher : public QObject
{
public:
    // `locateModel` is asked afresh on every prefetch (the model may appear later).
    ModelPrefetcher(std::function<Result<QString>()> locateModel,
                    std::shared_ptr<PageCache> pageCache, QObject* parent = nullptr);
    ~ModelPrefetcher() override;

    // Starts a read, unless one is running. Skipped (and logged) when there is no model or
    // it would take more than half the available memory: pushing other programs out of
    // memory costs the user more than a cold first dictation.
    void prefetch();
    bool isRunning() const { return m_running; }

    // After every prefetch that got as far as the background read; for tests and benchmarks.
    std::function<void(const Result<PageCache::Warmed>&)> onFinished;

private:
    std::function<Result<QString>()> m_locateModel;
    std::shared_ptr<PageCache> m_pageCache;
    bool m_running = false;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    QThreadPool m_thread; // last: its destructor waits for the read, which m_stop ends
};
