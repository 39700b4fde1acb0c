#pragma once

#include "fakes/FakeTranscriber.h"

#include <condition_variable>
#include <memory>
#include <mutex>

// Holds every transcription until the test opens the gate, then answers as `answers` does.
class GatedTranscriber : public OneShotWhisperTranscriber
{
public:
    explicit GatedTranscriber(std::shared_ptr<FakeTranscriber> answers)
        : m_answers(std::move(answers))
    {
    }
    Result<QString> transcribe(const QString& audioFile, ChildProcessStop& stop) const override
    {
        std::unique_lock lock(m_mutex);
        m_opened.wait(lock, [this] { return m_open; });
        return m_answers->transcribe(audioFile, stop);
    }
    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }

private:
    std::shared_ptr<FakeTranscriber> m_answers;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_opened;
    bool m_open = false;
};
