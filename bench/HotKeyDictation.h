#pragma once

#include "dictation/DictationCoordinator.h"
#include "dictation/HotKey.h"
#include "platform/x11/XTestSyntheticKeys.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <optional>

// Dictations through the real hot key, timed from its release to "text inserted" (the idle
// written right after transcribing follows that log line at once). Takes over the
// coordinator's state callback.
class HotKeyDictation
{
public:
    HotKeyDictation(DictationCoordinator& coordinator, XTestSyntheticKeys& keys)
        : m_coordinator(coordinator), m_keys(keys)
    {
        m_clock.start();
        coordinator.onStateChange = [this](const DictationState& s) {
            if (s == DictationState::transcribing())
                m_transcribing = true;
            else if (m_transcribing && s == DictationState::idle())
                m_insertedAt = m_clock.nsecsElapsed();
        };
    }

    // Holds the key for `holdMs`, then waits up to `waitMs` for the text: the milliseconds
    // from release to text, or nothing when recording did not start or the text never came
    // (the coordinator's state says why).
    std::optional<double> dictate(int holdMs, int waitMs = 5000)
    {
        m_transcribing = false;
        m_insertedAt = -1;
        m_keys.postHotKey(HotKey::standard().combination(), true);
        if (!waitUntil([&] { return m_coordinator.state() == DictationState::recording(); },
                       5000))
            return std::nullopt;
        spinFor(holdMs);
        const qint64 releasedAt = m_clock.nsecsElapsed();
        m_keys.postHotKey(HotKey::standard().combination(), false);
        // An error ends the wait at once.
        waitUntil([&] { return m_insertedAt >= 0 || m_coordinator.state().isError(); }, waitMs);
        if (m_insertedAt < 0)
            return std::nullopt;
        return (m_insertedAt - releasedAt) / 1e6;
    }

    qint64 elapsedNs() const { return m_clock.nsecsElapsed(); }

private:
    DictationCoordinator& m_coordinator;
    XTestSyntheticKeys& m_keys;
    QElapsedTimer m_clock;
    qint64 m_insertedAt = -1;
    bool m_transcribing = false;
};
