#include "common/DebugLog.h"

#include "common/PrivateTempDir.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DebugLog {
namespace {

// The default log is written without being asked for, so it is kept small: past this size it
// is moved to "QuorDictation.log.1" (replacing the one before) and starts afresh, and no
// line may be longer than that.
constexpr qint64 defaultLogCapBytes = 1024 * 1024;
constexpr qsizetype defaultLogLineBytes = 16 * 1024;

struct Settings
{
    bool stderrEnabled = false;
    // Without it, the default log in the private folder.
    bool debugLogRequested = false;
    QString debugLogPath;
};

// Read once, on first use; later changes to the environment are not seen.
const Settings& settings()
{
    static const Settings value = [] {
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        Settings s;
        s.stderrEnabled = env.value(QStringLiteral("QUOR_LOG_STDERR")) == QLatin1String("1");
        s.debugLogRequested = env.contains(QStringLiteral("QUOR_DEBUG_LOG"));
        s.debugLogPath = env.value(QStringLiteral("QUOR_DEBUG_LOG"));
        return s;
    }();
    return value;
}

std::atomic<bool> stderrRequested{false};

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

// Opened without following links, and used only when it is a regular file of our own.
int openOwnFile(const QByteArray& path)
{
    const int fd =
        ::open(path.constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

QByteArray cutToLength(const QByteArray& line)
{
    if (line.size() <= defaultLogLineBytes)
        return line;
    qsizetype end = defaultLogLineBytes - 64;
    while (end > 0 && (quint8(line.at(end)) & 0xC0) == 0x80)
        --end; // never split a UTF-8 sequence
    return line.left(end) + "… (" + QByteArray::number(line.size() - end - 1) + " bytes cut)\n";
}

// Appends to the capped default log. Processes share it: the check, the rotation and the
// write happen under an exclusive lock on the file, and a file another process has just
// rotated away is left for the new one.
void appendToDefaultLog(const QByteArray& line)
{
    const Result<QString> folder = PrivateTempDir::ensureAppFolder();
    if (!folder)
        return; // never anywhere less private
    const QByteArray path =
        QFile::encodeName(folder.value() + QStringLiteral("/QuorDictation.log"));
    const QByteArray bytes = cutToLength(line);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = openOwnFile(path);
        if (fd < 0)
            return;
        ::flock(fd, LOCK_EX);
        struct stat opened
        {
        }, current{};
        if (::fstat(fd, &opened) != 0 || ::lstat(path.constData(), &current) != 0 ||
            opened.st_ino != current.st_ino || opened.st_dev != current.st_dev) {
            ::close(fd);
            continue;
        }
        if (opened.st_size > 0 && opened.st_size + bytes.size() > defaultLogCapBytes) {
            ::rename(path.constData(), (path + ".1").constData());
            ::close(fd);
            continue;
        }
        writeAll(fd, bytes);
        ::close(fd);
        return;
    }
}

} // namespace

bool isDebugLogOn()
{
    return settings().debugLogRequested;
}

void copyToStandardError()
{
    stderrRequested = true;
}

void write(const QString& message)
{
    const QByteArray line = (QStringLiteral("[Quor] ") + message + u'\n').toUtf8();
    const Settings& s = settings();

    // Serialised so that two threads' lines stay whole on standard error too.
    static std::mutex mutex;
    std::lock_guard lock(mutex);

    if (s.stderrEnabled || stderrRequested)
        writeAll(STDERR_FILENO, line);

    if (!s.debugLogRequested) {
        appendToDefaultLog(line);
        return;
    }
    // The debug log is written as asked: wherever it points, whole and unbounded.
    QDir().mkpath(QFileInfo(s.debugLogPath).absolutePath());
    // Created private: the log holds what the user said. Non-blocking, so a FIFO without a
    // reader at the log's path cannot stall the caller.
    const int fd = ::open(QFile::encodeName(s.debugLogPath).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    writeAll(fd, line);
    ::close(fd);
}

} // namespace DebugLog
