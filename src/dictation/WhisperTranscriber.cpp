#include "dictation/WhisperTranscriber.h"

#include "dictation/MainThreadTask.h"

#include <utility>

WhisperTranscriber::WhisperTranscriber(
    std::shared_ptr<const OneShotWhisperTranscriber> cliTranscriber)
    : m_cliTranscriber(std::move(cliTranscriber))
{
}

void WhisperTranscriber::transcribe(const QString& audioURL, QObject* context,
                                    std::function<void(Result<QString>)> done) const
{
    runInBackground<Result<QString>>(
        context, [cli = m_cliTranscriber, audioURL] { return cli->transcribe(audioURL); },
        [done = std::move(done)](Result<QString> answer) {
            if (done)
                done(std::move(answer));
        });
}
