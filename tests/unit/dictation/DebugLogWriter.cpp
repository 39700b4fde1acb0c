// Writes each argument as one log line, so tests can start processes with their own
// environment (the log reads it once per process).
#include "dictation/DebugLog.h"

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        DebugLog::write(QString::fromUtf8(argv[i]));
    return 0;
}
