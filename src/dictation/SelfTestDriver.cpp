#include "dictation/SelfTestDriver.h"

#include "common/ChildProcess.h"
#include "common/DebugLog.h"
#include "common/MainThreadTask.h"
#include "dictation/DictationCoordinator.h"

SelfTestDriver::SelfTestDriver(SelfTestBackends backends, DictationCoordinator* coordinator)
    : QObject(coordinator), m_coordinator(*coordinator), m_keys(std::move(backends.keys)),
      m_speech(std::move(backends.speech)), m_stop(std::make_shared<ChildProcessStop>())
{
}

SelfTestDriver::~SelfTestDriver()
{
    // Nothing the test started may outlive the pipeline it drives.
    m_stop->requestStop();
}

void SelfTestDriver::run(const QString& phrase)
{
    DebugLog::write(QStringLiteral("starting self-test"));
    postTask(this, [this, phrase] {
        DebugLog::write(QStringLiteral("building self-test prompt audio"));
        runInBackground<Result<QString>>(
            this,
            [phrase, speech = m_speech, stop = m_stop] {
                return speech->makePrompt(phrase, *stop);
            },
            [this](Result<QString> prompt) {
                if (!prompt) {
                    m_coordinator.setError(prompt.error().localizedDescription());
                    return;
                }
                postDelayed(this, promptToKeyDownMs,
                            [this, path = prompt.value()] { pressAndPlay(path); });
            });
    });
}

void SelfTestDriver::pressAndPlay(const QString& promptPath)
{
    postHotKey(true);
    postDelayed(this, keyDownToPlayMs, [this, promptPath] { play(promptPath); });
}

void SelfTestDriver::play(const QString& promptPath)
{
    DebugLog::write(QStringLiteral("playing self-test prompt audio"));
    runInBackground<Failure>(
        this,
        [promptPath, speech = m_speech, stop = m_stop] {
            return speech->playPrompt(promptPath, *stop);
        },
        [this](Failure failure) {
            // A failed playback leaves the key down: the recording it started is not stopped.
            if (failure) {
                m_coordinator.setError(failure->localizedDescription());
                return;
            }
            postDelayed(this, playedToKeyUpMs, [this] { postHotKey(false); });
        });
}

void SelfTestDriver::postHotKey(bool down)
{
    // An event that cannot be made is skipped: the test goes on.
    m_keys->postHotKey(m_coordinator.hotKey().combination(), down);
}
