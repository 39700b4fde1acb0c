#pragma once

#include <QFutureWatcher>
#include <QMetaObject>
#include <QObject>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>

// A new task on the thread of `owner` (the main thread for every owner here). It runs after
// the caller has returned, never inside it, and not at all once `owner` is gone. Safe to call
// from any thread.
template <typename F>
void postTask(QObject* owner, F&& task)
{
    QMetaObject::invokeMethod(owner, std::forward<F>(task), Qt::QueuedConnection);
}

// Delayed work on the owner's thread, dropped once `owner` is gone.
template <typename F>
void postDelayed(QObject* owner, int milliseconds, F&& task)
{
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, owner, std::forward<F>(task));
}

// Runs blocking `work` on the shared background pool (or `pool`) and hands its result to
// `done` as a new task on `context`'s thread, unless `context` is gone by then. The worker
// never touches `context`: it only fills a promise, whose watcher lives on the caller's side
// as a child of `context`, so the answer cannot race the context's destruction.
template <typename T, typename Work, typename Done>
void runInBackground(QObject* context, Work&& work, Done&& done,
                     QThreadPool* pool = QThreadPool::globalInstance())
{
    using Answer = std::optional<T>; // QFuture wants default-constructible results
    auto promise = std::make_shared<QPromise<Answer>>();
    auto* watcher = new QFutureWatcher<Answer>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, done = std::forward<Done>(done)]() mutable {
                         watcher->deleteLater();
                         if (watcher->future().resultCount() > 0)
                             done(std::move(*watcher->future().result()));
                     });
    promise->start();
    watcher->setFuture(promise->future());
    pool->start([promise, work = std::forward<Work>(work)]() mutable {
        promise->addResult(Answer(work()));
        promise->finish();
    });
}
