#include "dictation/DebugLog.h"

#include "dictation/PrivateTempDir.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace DebugLog {
namespace {

struct Settings
{
    bool stderrEnabled = false;
    QString filePath;
};

// Read once, on first use; later changes to the environment are not seen.
const Settings& settings()
{
    static const Settings value = [] {
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        Settings s;
        s.stderrEnabled = env.contains(QStringLiteral("QUOR_SELFTEST_PHRASE")) ||
                          env.value(QStringLiteral("QUOR_LOG_STDERR")) == QLatin1String("1");
        s.filePath = env.contains(QStringLiteral("QUOR_DEBUG_LOG"))
                         ? env.value(QStringLiteral("QUOR_DEBUG_LOG"))
                         : PrivateTempDir::base() + QStringLiteral("/QuorDictation.log");
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
    const QByteArray line = QStringLiteral("[Quor] %1\n").arg(message).toUtf8();
    const Settings& s = settings();

    // Serialised so that two threads' lines stay whole on standard error too.
    static std::mutex mutex;
    std::lock_guard lock(mutex);

    if (s.stderrEnabled)
        writeAll(STDERR_FILENO, line);

    QDir().mkpath(QFileInfo(s.filePath).absolutePath());
    const QByteArray path = QFile::encodeName(s.filePath);
    // Created private: the log holds what the user said.
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    writeAll(fd, line);
    ::close(fd);
}

} // namespace DebugLog
