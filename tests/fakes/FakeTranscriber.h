#pragma once

#include "dictation/WhisperTranscriber.h"

#include <QStringList>

#include <atomic>
#include <mutex>

// Answers every transcription with a fixed result, from whatever thread it runs on.
class FakeTranscriber : public OneShotWhisperTranscriber
{
public:
    explicit FakeTranscriber(Result<QString> answer = QString()) : m_answer(std::move(answer)) {}

    Result<QString> transcribe(const QString& audioFile, ChildProcessStop&) const override
    {
        std::lock_guard lock(m_mutex);
        m_calls << audioFile;
        return m_answer;
    }

    void setAnswer(Result<QString> answer)
    {
        std::lock_guard lock(m_mutex);
        m_answer = std::move(answer);
    }
    QStringList calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    mutable std::mutex m_mutex;
    Result<QString> m_answer;
    mutable QStringList m_calls;
};
