#pragma once

#include "platform/AudioCaptureBackend.h"

#include <QFile>
#include <QHash>
#include <QStringList>
#include <functional>
#include <memory>

// A recording that makes its (empty) file when prepared and logs what was asked of it.
class FakeAudioRecording : public AudioRecording
{
public:
    enum class FirstSamples
    {
        AtOnce, // reported from inside record(), as a fast server might
        Never,  // until the test calls FakeAudioCapture::deliver
        Fail,   // the capture ends before any sample, from inside record()
    };
    struct Script
    {
        bool prepareOk = true;
        bool recordOk = true;
        FirstSamples firstSamples = FirstSamples::AtOnce;
        Failure failure; // what failure() reports once stopped (a full disk, say)
        std::optional<qint64> recordedMs; // what recordedMs() reports
    };
    struct Log
    {
        QStringList calls; // "prepare", "record", "stop", "destroyed" per path
        QHash<QString, std::function<void(bool)>> waitingForSamples; // by path
    };

    FakeAudioRecording(QString path, Script script, std::shared_ptr<Log> log)
        : m_path(std::move(path)), m_script(script), m_log(std::move(log))
    {
    }
    ~FakeAudioRecording() override
    {
        m_log->waitingForSamples.remove(m_path);
        m_log->calls << "destroyed " + m_path;
    }

    bool prepareToRecord() override
    {
        m_log->calls << "prepare " + m_path;
        if (!m_script.prepareOk)
            return false;
        QFile file(m_path);
        return file.open(QIODevice::WriteOnly);
    }
    bool record(std::function<void(bool)> onStarted) override
    {
        m_log->calls << "record " + m_path;
        if (!m_script.recordOk)
            return false;
        switch (m_script.firstSamples) {
        case FirstSamples::AtOnce:
            onStarted(true);
            break;
        case FirstSamples::Fail:
            onStarted(false);
            break;
        case FirstSamples::Never:
            m_log->waitingForSamples.insert(m_path, std::move(onStarted));
        }
        return true;
    }
    void stop() override
    {
        m_log->calls << "stop " + m_path;
        m_log->waitingForSamples.remove(m_path);
        m_stopped = true;
    }
    QString path() const override { return m_path; }
    Failure failure() const override { return m_stopped ? m_script.failure : std::nullopt; }
    std::optional<qint64> recordedMs() const override { return m_script.recordedMs; }

private:
    QString m_path;
    Script m_script;
    std::shared_ptr<Log> m_log;
    bool m_stopped = false;
};

// Control face: choose what the next recordings do, read back every call, and deliver the
// first samples of captures that wait for them.
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

    // Reports the first samples (or the capture's end) of the recording at `path`; false when
    // none is waiting there.
    bool deliver(const QString& path, bool capturing)
    {
        auto onStarted = log->waitingForSamples.take(path);
        if (!onStarted)
            return false;
        onStarted(capturing);
        return true;
    }
    // Recordings made and not yet destroyed.
    int openCount() const
    {
        return int(log->calls.filter("prepare ").size() - log->calls.filter("destroyed ").size());
    }

    std::optional<QuorError> refusal;
    FakeAudioRecording::Script next;
    QStringList madePaths;
    std::shared_ptr<FakeAudioRecording::Log> log = std::make_shared<FakeAudioRecording::Log>();
};
