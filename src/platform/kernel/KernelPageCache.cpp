#include "platform/kernel/KernelPageCache.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

// From linux/ioprio.h, which older kernel headers lack.
constexpr int kIoprioWhoProcess = 1; // with id 0: the calling thread
constexpr int kIoprioClassShift = 13;
constexpr int kIoprioClassIdle = 3;

QString systemError(const QString& what, const QString& path)
{
    return what + QStringLiteral(" ") + path + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(errno));
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// The thread runs on a shared pool whose next task may start whisper-cli, which would
// inherit the class: the previous one is put back whatever happens.
class IdleIoPriority
{
public:
    IdleIoPriority()
        : m_previous(int(::syscall(SYS_ioprio_get, kIoprioWhoProcess, 0)))
    {
        if (m_previous >= 0)
            ::syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, kIoprioClassIdle << kIoprioClassShift);
    }
    ~IdleIoPriority()
    {
        if (m_previous >= 0)
            ::syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, m_previous);
    }
    IdleIoPriority(const IdleIoPriority&) = delete;
    IdleIoPriority& operator=(const IdleIoPriority&) = delete;

private:
    int m_previous;
};

qint64 residentBytes(int fd, qint64 size)
{
    if (size <= 0)
        return 0;
    void* map = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return -1;
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> pages(size_t((size + page - 1) / page));
    qint64 resident = -1;
    if (::mincore(map, size_t(size), pages.data()) == 0) {
        resident = 0;
        for (size_t i = 0; i < pages.size(); ++i) {
            if (pages[i] & 1)
                resident += std::min<qint64>(page, size - qint64(i) * page);
        }
    }
    ::munmap(map, size_t(size));
    return resident;
}

} // namespace

Result<PageCache::Warmed> KernelPageCache::warm(const QString& path, const std::atomic<bool>& stop)
{
    const FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return QuorError{systemError(QStringLiteral("Could not open"), path)};
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0)
        return QuorError{systemError(QStringLiteral("Could not read"), path)};

    Warmed warmed;
    warmed.fileBytes = info.st_size;
    warmed.cachedBefore = std::max<qint64>(0, residentBytes(fd.get(), info.st_size));
    if (warmed.cachedBefore >= warmed.fileBytes)
        return warmed;

    const IdleIoPriority idle;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<char> buffer(size_t(1) << 20);
    for (;;) {
        if (stop)
            return QuorError{QStringLiteral("Stopped reading ") + path};
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return QuorError{systemError(QStringLiteral("Could not read"), path)};
        }
        warmed.bytesRead += n;
    }
    return warmed;
}

qint64 KernelPageCache::availableMemory()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return 0;
    // /proc files report size 0, so QFile::atEnd() holds from the start: read them whole.
    for (const QByteArray& line : meminfo.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

qint64 KernelPageCache::cachedBytes(const QString& path)
{
    const FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat info = {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        return -1;
    return residentBytes(fd.get(), info.st_size);
}
