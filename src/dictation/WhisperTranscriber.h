#pragma once

#include "common/ChildProcess.h"
#include "common/QuorError.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

// Turns one audio file into its transcript. Synchronous: may block as long as recognition takes.
class OneShotWhisperTranscriber
{
public:
    virtual ~OneShotWhisperTranscriber() = default;
    // `stop` may be requested from another thread while the run blocks; the run then ends
    // as soon as it can and its answer is dropped.
    virtual Result<QString> transcribe(const QString& audioFile, ChildProcessStop& stop) const = 0;
};

// How long one recogniser run may take: generous, since a slow machine is not a hung program
// (the default model needs about a minute for a short dictation on a busy 2-core laptop).
struct TranscriptionTimeLimit
{
    std::chrono::milliseconds base{180000};
    double perAudioSecond = 10.0;

    std::chrono::milliseconds forAudioOf(double seconds) const;
};

// Runs the blocking transcriber off the main thread and hands the result back; ends runs that
// take too long and those that are cancelled. Main thread.
class WhisperTranscriber
{
public:
    explicit WhisperTranscriber(std::shared_ptr<const OneShotWhisperTranscriber> cliTranscriber,
                                TranscriptionTimeLimit timeLimit = {});
    // Stops every run under way: no recogniser outlives its owner.
    ~WhisperTranscriber();

    // `done` runs on `context`'s thread once the transcription has finished, or with
    // "Transcription took too long" once the time limit for the recording's length has passed,
    // unless `context` is gone or the run was cancelled by then.
    void transcribe(const QString& audioFile, QObject* context,
                    std::function<void(Result<QString>)> done);

    // Stops every run under way; their `done` is never called.
    void cancelAll();
    bool isRunning() const;

    // The length of a 16 kHz mono 16-bit WAV recording in seconds, from its header and size
    // (0 when the file cannot be read).
    static double recordingSeconds(const QString& audioFile);

private:
    struct Run;

    std::shared_ptr<const OneShotWhisperTranscriber> m_cliTranscriber;
    TranscriptionTimeLimit m_timeLimit;
    std::vector<std::weak_ptr<Run>> m_runs;
};
