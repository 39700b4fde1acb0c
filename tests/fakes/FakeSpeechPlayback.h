#pragma once

#include "common/ChildProcess.h"
#include "platform/SpeechPlayback.h"

#include <QStringList>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

// Speaks nothing: records what it was asked, fails as told, and can play until stopped (a
// player that never ends). Set the control face before the run; read it from the test.
class FakeSpeechPlayback : public SpeechPlayback
{
public:
    Result<QString> makePrompt(const QString& phrase, ChildProcessStop&) const override
    {
        std::lock_guard lock(m_mutex);
        m_calls << "make:" + phrase;
        if (promptFailure)
            return *promptFailure;
        return promptPath;
    }
    Failure playPrompt(const QString& path, ChildProcessStop& stop) const override
    {
        {
            std::lock_guard lock(m_mutex);
            m_calls << "play:" + path;
        }
        if (playsUntilStopped) {
            playing = true;
            while (!stop.stopRequested())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            playing = false;
            return QuorError{QStringLiteral("stopped")};
        }
        return playFailure;
    }

    QStringList calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

    QString promptPath = QStringLiteral("/run/fake/self-test-prompt.wav");
    std::optional<QuorError> promptFailure;
    Failure playFailure;
    bool playsUntilStopped = false;
    mutable std::atomic<bool> playing{false};

private:
    mutable std::mutex m_mutex;
    mutable QStringList m_calls;
};
