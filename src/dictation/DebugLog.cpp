#include "dictation/DebugLog.h"

#include "dictation/PrivateTempDir.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace DebugLog {
namespace {

struct Settings
{
    bool stderrEnabled = false;
    QString filePath;
    // The default file sits in a shared temporary folder when no runtime folder exists:
    // only a regular file of our own is written there, never one planted by someone else.
    bool mustBeOwnFile = false;
};

// Read once, on first use; later changes to the environment are not seen.
const Settings& settings()
{
    static const Settings value = [] {
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        Settings s;
        s.stderrEnabled = env.contains(QStringLiteral("QUOR_SELFTEST_PHRASE")) ||
                          env.value(QStringLiteral("QUOR_LOG_STDERR")) == QLatin1String("1");
        s.mustBeOwnFile = !env.contains(QStringLiteral("QUOR_DEBUG_LOG"));
        s.filePath = s.mustBeOwnFile ? PrivateTempDir::base() + QStringLiteral("/QuorDictation.log")
                                     : env.value(QStringLiteral("QUOR_DEBUG_LOG"));
        return s;
    }();
    return value;
}

// One write(2) per line: with O_APPEND, lines from threads and processes never interleave.
void writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

} // namespace

void write(const QString& message)
{
    const QByteArray line = (QStringLiteral("[Quor] ") + message + u'\n').toUtf8();
    const Settings& s = settings();

    // Serialised so that two threads' lines stay whole on standard error too.
    static std::mutex mutex;
    std::lock_guard lock(mutex);

    if (s.stderrEnabled)
        writeAll(STDERR_FILENO, line);

    QDir().mkpath(QFileInfo(s.filePath).absolutePath());
    const QByteArray path = QFile::encodeName(s.filePath);
    // Created private: the log holds what the user said. Non-blocking, so a FIFO without a
    // reader at the log's path cannot stall the caller.
    int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK;
    if (s.mustBeOwnFile)
        flags |= O_NOFOLLOW;
    const int fd = ::open(path.constData(), flags, 0600);
    if (fd < 0)
        return;
    struct stat info
    {
    };
    const bool ours =
        ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
    if (!s.mustBeOwnFile || ours)
        writeAll(fd, line);
    ::close(fd);
}

} // namespace DebugLog
