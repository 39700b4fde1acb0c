#pragma once

#include "platform/RecordPermission.h"

#include <QString>
#include <memory>

// The record permission as the sound server grants it: granted when the server answers and
// its default source is a real input; denied when it refuses us, is not there, or offers no
// input (only a monitor of an output would record the desktop's sound, not the user).
//
// The answer is cached: a connection of its own, on a thread of its own, follows the server's
// events (the server appearing or vanishing, sources and the default source changing), so
// reading the state never touches the server. Until the server's first answer the state is
// undetermined; outside a sandbox there is no portal to ask, so that is the only time it is.
class PulseRecordPermission : public RecordPermission
{
public:
    // `server` empty: the session's server. Waits up to `firstAnswerMs` for the server's
    // first answer, so that the state is known from the start on a healthy desktop.
    explicit PulseRecordPermission(QString server = {}, int firstAnswerMs = 300);
    ~PulseRecordPermission() override;

    MicrophonePermissionState state() const override;
    // Nothing to prompt for: answers from the cached state, on the calling thread; before the
    // server's first answer, from the monitor's thread once it comes (or is given up on).
    void requestAccess(std::function<void(bool granted)> completion) override;

private:
    class Monitor;
    std::unique_ptr<Monitor> m_monitor;
};
