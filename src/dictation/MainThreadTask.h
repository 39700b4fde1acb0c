#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

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
