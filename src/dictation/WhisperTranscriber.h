#pragma once

#include "dictation/QuorError.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// Turns one audio file into its transcript. Synchronous: may block as long as recognition takes.
class OneShotWhisperTranscriber
{
public:
    virtual ~OneShotWhisperTranscriber() = default;
    virtual Result<QString> transcribe(const QString& audioURL) const = 0;
};

// Runs the blocking transcriber off the main thread and hands the result back.
class WhisperTranscriber
{
public:
    explicit WhisperTranscriber(std::shared_ptr<const OneShotWhisperTranscriber> cliTranscriber);

    // `done` runs on `context`'s thread once the transcription has finished, unless `context`
    // is gone by then. The run itself is never cancelled.
    void transcribe(const QString& audioURL, QObject* context,
                    std::function<void(Result<QString>)> done) const;

private:
    std::shared_ptr<const OneShotWhisperTranscriber> m_cliTranscriber;
};
