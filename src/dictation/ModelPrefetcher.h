#pragma once

#include "dictation/QuorError.h"
#include "platform/PageCache.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// Reads the speech model into the page cache in the background, so that the first dictation
// after launch does not wait for the disk: whisper-cli reads the whole file on every run,
// and from a cold cache that read is most of a short dictation's wait. Main thread only;
// the read itself runs on the background pool.
class ModelPrefetcher : public QObject
{
public:
    // `locateModel` is asked afresh on every prefetch (the model may appear later).
    ModelPrefetcher(std::function<Result<QString>()> locateModel,
                    std::shared_ptr<PageCache> pageCache, QObject* parent = nullptr);

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
};
