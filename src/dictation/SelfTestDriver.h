#pragma once

#include "platform/PlatformBackends.h"

#include <QObject>
#include <QString>
#include <memory>

class ChildProcessStop;
class DictationCoordinator;

// Dictates a phrase without a user: speaks it into the microphone while holding the hot key
// down through the same path a real key takes, so the coordinator records, transcribes and
// inserts it as for anyone. It neither checks nor logs the transcript. A child of the
// coordinator it drives: once that is gone, the test ends and what it started is stopped.
class SelfTestDriver : public QObject
{
    Q_OBJECT
public:
    // Its value is the phrase; present at all, it also copies the log to standard error.
    static constexpr const char* phraseVariable = "QUOR_SELFTEST_PHRASE";

    // Pauses of the sequence: before the key-down once the prompt exists, before playing so
    // that recording has begun, and before the key-up so that the end of speech is recorded.
    static constexpr int promptToKeyDownMs = 1000;
    static constexpr int keyDownToPlayMs = 750;
    static constexpr int playedToKeyUpMs = 500;

    SelfTestDriver(SelfTestBackends backends, DictationCoordinator* coordinator);
    ~SelfTestDriver() override;

    // Logs "starting self-test" and returns; the test runs from a new main-thread task. Any
    // failure becomes the coordinator's error state.
    void run(const QString& phrase);

private:
    void pressAndPlay(const QString& promptPath);
    void play(const QString& promptPath);
    void postHotKey(bool down);

    DictationCoordinator& m_coordinator;
    std::unique_ptr<SyntheticKeys> m_keys;
    std::shared_ptr<const SpeechPlayback> m_speech;
    // Shared with the background steps, which may outlive us.
    std::shared_ptr<ChildProcessStop> m_stop;
};
