#pragma once

#include <QString>

// The one diagnostic output: "[Quor] " + message + "\n" appended to the log file and, when
// enabled by `QUOR_LOG_STDERR`="1" or asked for below, to standard error. Safe to call from
// any thread.
namespace DebugLog {

void write(const QString& message);

// A boolean as log lines write it: "true" or "false".
inline QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// Whether the user asked for the debug log (`QUOR_DEBUG_LOG`); diagnosis material such as
// recordings is then kept.
bool isDebugLogOn();

// Copies every later line to standard error too, whatever the environment says; for runs that
// are watched from a terminal or a script. Any thread.
void copyToStandardError();

} // namespace DebugLog
