#pragma once

#include "platform/AudioCaptureBackend.h"

#include <QFile>
#include <QStringList>

#include <memory>

// A recording that writes a small file on stop and logs what was asked of it.
class FakeAudioRecording : public AudioRecording
{
public:
    struct Script
    {
        bool prepareOk = true;
        bool recordOk = true;
        Failure failure; // what failure() reports once stopped (a full disk, say)
    };
    struct Log
    {
        QStringList calls; // "prepare", "record", "recordFor:0.2", "stop", "destroyed" per path
    };

    FakeAudioRecording(QString path, Script script, std::shared_ptr<Log> log)
        : m_path(std::move(path)), m_script(script), m_log(std::move(log))
    {
    }
    ~FakeAudioRecording() override { m_log->calls << "destroyed " + m_path; }

    bool prepareToRecord() override
    {
        m_log->calls << "prepare " + m_path;
        return m_script.prepareOk;
    }
    bool record() override
    {
        m_log->calls << "record " + m_path;
        return m_script.recordOk;
    }
    bool recordForDuration(double seconds) override
    {
        m_log->calls << QStringLiteral("recordFor:%1 ").arg(seconds) + m_path;
        return m_script.recordOk;
    }
    void stop() override
    {
        m_log->calls << "stop " + m_path;
        m_stopped = true;
    }
    QString url() const override { return m_path; }
    Failure failure() const override { return m_stopped ? m_script.failure : std::nullopt; }

private:
    QString m_path;
    Script m_script;
    std::shared_ptr<Log> m_log;
    bool m_stopped = false;
};

// Control face: choose what the next recordings do, read back every call.
class FakeAudioCapture : public AudioCaptureBackend
{
public:
    Result<std::unique_ptr<AudioRecording>> makeRecording(const QString& path) override
    {
        madePaths << path;
        if (refusal)
            return *refusal;
        return std::unique_ptr<AudioRecording>(
            std::make_unique<FakeAudioRecording>(path, next, log));
    }

    std::optional<QuorError> refusal;
    FakeAudioRecording::Script next;
    QStringList madePaths;
    std::shared_ptr<FakeAudioRecording::Log> log = std::make_shared<FakeAudioRecording::Log>();
};
