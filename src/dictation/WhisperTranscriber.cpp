#include "dictation/WhisperTranscriber.h"

#include "common/DebugLog.h"
#include "common/MainThreadTask.h"

#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

// One transcription; its first answer (the recogniser's, the time limit's or a cancel) wins.
struct WhisperTranscriber::Run
{
    ChildProcessStop stop;
    // Main thread only.
    bool settled = false;
    QPointer<QTimer> timeLimit;

    // True for the first answer only.
    bool settle()
    {
        if (settled)
            return false;
        settled = true;
        if (timeLimit)
            timeLimit->deleteLater();
        return true;
    }
};

std::chrono::milliseconds TranscriptionTimeLimit::forAudioOf(double seconds) const
{
    const double extra = std::max(0.0, seconds) * perAudioSecond * 1000.0;
    return base + std::chrono::milliseconds(std::llround(extra));
}

WhisperTranscriber::WhisperTranscriber(
    std::shared_ptr<const OneShotWhisperTranscriber> cliTranscriber,
    TranscriptionTimeLimit timeLimit)
    : m_cliTranscriber(std::move(cliTranscriber)), m_timeLimit(timeLimit)
{
}

WhisperTranscriber::~WhisperTranscriber()
{
    cancelAll();
}

double WhisperTranscriber::recordingSeconds(const QString& audioFile)
{
    QFile file(audioFile);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const qint64 size = file.size();
    const QByteArray header = file.read(44);
    // Our recorder writes 16 kHz mono 16-bit; another header's byte rate is taken as it says.
    quint32 byteRate = 32000;
    qint64 dataSize = size;
    if (header.size() == 44 && header.startsWith("RIFF") && header.mid(8, 4) == "WAVE") {
        const quint32 declared = qFromLittleEndian<quint32>(header.constData() + 28);
        if (declared > 0)
            byteRate = declared;
        dataSize = size - 44;
    }
    return double(std::max<qint64>(0, dataSize)) / double(byteRate);
}

void WhisperTranscriber::transcribe(const QString& audioFile, QObject* context,
                                    std::function<void(Result<QString>)> done)
{
    auto run = std::make_shared<Run>();
    std::erase_if(m_runs, [](const std::weak_ptr<Run>& r) { return r.expired(); });
    m_runs.push_back(run);
    auto answer = std::make_shared<std::function<void(Result<QString>)>>(std::move(done));

    runInBackground<Result<QString>>(
        context,
        [cli = m_cliTranscriber, audioFile, run] { return cli->transcribe(audioFile, run->stop); },
        [run, answer](Result<QString> result) {
            if (!run->settle())
                return;
            if (*answer)
                (*answer)(std::move(result));
        });

    const std::chrono::milliseconds limit = m_timeLimit.forAudioOf(recordingSeconds(audioFile));
    run->timeLimit = new QTimer(context);
    run->timeLimit->setSingleShot(true);
    run->timeLimit->setTimerType(Qt::CoarseTimer);
    QObject::connect(run->timeLimit, &QTimer::timeout, context, [run, answer, limit] {
        if (!run->settle())
            return;
        DebugLog::write(
            QStringLiteral("transcription time limit of %1 s passed: stopping whisper-cli")
                .arg(double(limit.count()) / 1000.0));
        run->stop.requestStop();
        if (*answer)
            (*answer)(QuorError{QStringLiteral("Transcription took too long")});
    });
    run->timeLimit->start(int(std::min<qint64>(limit.count(), std::numeric_limits<int>::max())));
}

void WhisperTranscriber::cancelAll()
{
    for (const std::weak_ptr<Run>& weak : m_runs) {
        if (const std::shared_ptr<Run> run = weak.lock()) {
            run->settle();
            run->stop.requestStop();
        }
    }
    m_runs.clear();
}

bool WhisperTranscriber::isRunning() const
{
    return std::any_of(m_runs.cbegin(), m_runs.cend(), [](const std::weak_ptr<Run>& weak) {
        const std::shared_ptr<Run> run = weak.lock();
        return run && !run->settled;
    });
}
