#include "dictation/ModelPrefetcher.h"

#include "common/DebugLog.h"
#include "common/MainThreadTask.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <utility>

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', 0) + QStringLiteral(" MB");
}

} // namespace

ModelPrefetcher::ModelPrefetcher(std::function<Result<QString>()> locateModel,
                                 std::shared_ptr<PageCache> pageCache, QObject* parent)
    : QObject(parent), m_locateModel(std::move(locateModel)), m_pageCache(std::move(pageCache))
{
    m_thread.setMaxThreadCount(1);
}

ModelPrefetcher::~ModelPrefetcher()
{
    *m_stop = true;
}

void ModelPrefetcher::prefetch()
{
    if (m_running)
        return;
    const Result<QString> model = m_locateModel();
    if (!model) {
        DebugLog::write(QStringLiteral("model prefetch skipped: ") + model.error().message);
        return;
    }
    m_running = true;
    const QString path = model.value();
    DebugLog::write(QStringLiteral("model prefetch started ") + path);
    runInBackground<Result<PageCache::Warmed>>(
        this,
        [cache = m_pageCache, stop = m_stop, path]() -> Result<PageCache::Warmed> {
            const qint64 size = QFileInfo(path).size();
            const qint64 available = cache->availableMemory();
            if (available > 0 && size > available / 2)
                return QuorError{QStringLiteral("the model (") + megabytes(size) +
                                 QStringLiteral(") would take more than half the free memory (") +
                                 megabytes(available) + QStringLiteral(")")};
            QElapsedTimer clock;
            clock.start();
            Result<PageCache::Warmed> warmed = cache->warm(path, *stop);
            if (warmed)
                DebugLog::write(QStringLiteral("model prefetch read ") +
                                megabytes(warmed.value().bytesRead) + QStringLiteral(" of ") +
                                megabytes(warmed.value().fileBytes) + QStringLiteral(" in ") +
                                QString::number(clock.elapsed()) + QStringLiteral(" ms"));
            return warmed;
        },
        [this](Result<PageCache::Warmed> warmed) {
            m_running = false;
            if (!warmed)
                DebugLog::write(QStringLiteral("model prefetch skipped: ") +
                                warmed.error().message);
            if (onFinished)
                onFinished(warmed);
        },
        &m_thread);
}
