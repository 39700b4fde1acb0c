#include "platform/kernel/KernelPageCache.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr qint64 kSize = (8 << 20) + 123; // not a whole number of pages

bool dropFromCache(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    const bool ok = fd >= 0 && ::fdatasync(fd) == 0 &&
                    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// Beside the build tree, not in /tmp: a tmpfs keeps everything "in the cache".
class KernelPageCacheTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath("model.bin");
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(QByteArray(kSize, 'w')), kSize);
    }

    QTemporaryDir m_dir{QDir::currentPath() + "/page-cache-XXXXXX"};
    QString m_path;
    std::atomic<bool> m_stop{false};
};

TEST_F(KernelPageCacheTest, ReadsADroppedFileBackAndLeavesTheThreadsIoPriorityAsItWas)
{
    ASSERT_TRUE(dropFromCache(m_path));
    if (KernelPageCache::cachedBytes(m_path) == kSize)
        GTEST_SKIP() << "this file system keeps files in memory; nothing to drop";
    const long priority = ::syscall(SYS_ioprio_get, 1, 0);
    KernelPageCache cache;

    const Result<PageCache::Warmed> warmed = cache.warm(m_path, m_stop);

    ASSERT_TRUE(warmed.ok()) << warmed.error().message.toStdString();
    EXPECT_EQ(warmed.value().fileBytes, kSize);
    EXPECT_LT(warmed.value().cachedBefore, kSize);
    EXPECT_EQ(warmed.value().bytesRead, kSize);
    EXPECT_EQ(KernelPageCache::cachedBytes(m_path), kSize);
    EXPECT_EQ(::syscall(SYS_ioprio_get, 1, 0), priority);

    // All there now: nothing more is read.
    const Result<PageCache::Warmed> again = cache.warm(m_path, m_stop);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.value().cachedBefore, kSize);
    EXPECT_EQ(again.value().bytesRead, 0);
}

TEST_F(KernelPageCacheTest, ASetStopEndsTheReadWithAnError)
{
    ASSERT_TRUE(dropFromCache(m_path));
    if (KernelPageCache::cachedBytes(m_path) == kSize)
        GTEST_SKIP() << "this file system keeps files in memory; nothing to drop";
    m_stop = true;
    const Result<PageCache::Warmed> warmed = KernelPageCache().warm(m_path, m_stop);
    ASSERT_FALSE(warmed.ok());
    EXPECT_EQ(warmed.error().message, "Stopped reading " + m_path);
}

TEST_F(KernelPageCacheTest, AMissingFileIsAnErrorNamingIt)
{
    KernelPageCache cache;
    const Result<PageCache::Warmed> warmed = cache.warm(m_dir.filePath("absent.bin"), m_stop);
    ASSERT_FALSE(warmed.ok());
    EXPECT_EQ(warmed.error().message,
              "Could not open " + m_dir.filePath("absent.bin") + ": No such file or directory");
    EXPECT_EQ(KernelPageCache::cachedBytes(m_dir.filePath("absent.bin")), -1);
}

TEST_F(KernelPageCacheTest, AvailableMemoryComesFromTheKernel)
{
    const qint64 available = KernelPageCache().availableMemory();
    EXPECT_GT(available, 0);
    EXPECT_LT(available, qint64(1) << 50);
}

} // namespace
