#pragma once

#include <QString>

enum class MicrophonePermissionState { Granted, Denied, Undetermined };

// The case name, as log lines write it.
inline QString toString(MicrophonePermissionState state)
{
    switch (state) {
    case MicrophonePermissionState::Granted: return QStringLiteral("granted");
    case MicrophonePermissionState::Denied: return QStringLiteral("denied");
    case MicrophonePermissionState::Undetermined: return QStringLiteral("undetermined");
    }
    return {};
}
