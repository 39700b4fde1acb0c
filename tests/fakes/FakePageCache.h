#pragma once

#include "platform/PageCache.h"

#include <QStringList>
#include <QThread>

#include <atomic>
#include <mutex>

// Answers every warm-up with a fixed result; can hold a warm-up until the test releases it.
class FakePageCache : public PageCache
{
public:
    Result<Warmed> warm(const QString& path, const std::atomic<bool>& stop) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_calls << path;
        }
        started = true;
        while (held && !stop)
            QThread::msleep(1);
        if (stop)
            sawStop = true;
        std::lock_guard lock(m_mutex);
        return m_answer;
    }
    qint64 availableMemory() override { return available; }

    void setAnswer(Result<Warmed> answer)
    {
        std::lock_guard lock(m_mutex);
        m_answer = std::move(answer);
    }
    QStringList calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

    std::atomic<qint64> available{qint64(8) << 30};
    std::atomic<bool> held{false};
    std::atomic<bool> started{false};
    std::atomic<bool> sawStop{false};

private:
    mutable std::mutex m_mutex;
    Result<Warmed> m_answer = Warmed{};
    QStringList m_calls;
};
