// Writes each argument as one log line, so tests can start processes with their own
// environment (the log reads it once per process). `--lines COUNT LENGTH` writes COUNT
// numbered lines of LENGTH characters instead; a first argument `--stderr` asks for the
// standard-error copy before writing.
#include "common/DebugLog.h"

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--lines") == 0) {
        const int count = std::atoi(argv[2]);
        const int length = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) {
            const QString number = QString::number(i).rightJustified(8, u'0');
            DebugLog::write(number + QString(qMax(0, length - 8), u'x'));
        }
        return 0;
    }
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--stderr") == 0) {
        DebugLog::copyToStandardError();
        first = 2;
    }
    for (int i = first; i < argc; ++i)
        DebugLog::write(QString::fromUtf8(argv[i]));
    return 0;
}
