#pragma once

#include "platform/RecordPermission.h"

#include <QString>

// The record permission as the sound server grants it: granted when the server answers and
// its default source is a real input; denied when it refuses us, or offers no input (only a
// monitor of an output would record the desktop's sound, not the user). Outside a sandbox
// there is no portal to ask, so the state is never undetermined here.
class PulseRecordPermission : public RecordPermission
{
public:
    explicit PulseRecordPermission(QString server = {});

    MicrophonePermissionState state() const override;
    // There is nothing to prompt for outside a sandbox: asks the server afresh and answers
    // at once, on the calling thread.
    void requestAccess(std::function<void(bool granted)> completion) override;

private:
    QString m_server;
};
