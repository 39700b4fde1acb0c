#include "common/PrivateTempDir.h"

#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Chooses the base through the environment, as a session without a runtime folder has it.
class PrivateTempDirTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR", "XDG_CACHE_HOME"})
            m_saved.append({name, qgetenv(name)});
        ASSERT_TRUE(m_dir.isValid());
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache()));
    }
    void TearDown() override
    {
        for (const auto& [name, value] : m_saved)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }

    // A base like /tmp: everyone may create entries in it.
    QString sharedBase() const
    {
        const QString path = m_dir.filePath("tmp");
        QDir().mkpath(path);
        ::chmod(QFile::encodeName(path).constData(), 01777);
        return path;
    }
    QString cache() const { return m_dir.filePath("cache"); }
    static QString perUser() { return "QuorDictation-" + QString::number(::geteuid()); }
    static void giveAway(const QString& path)
    {
        ASSERT_TRUE(QDir().mkpath(path));
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    }

    QTemporaryDir m_dir;
    QList<std::pair<const char*, QByteArray>> m_saved;
};

TEST_F(PrivateTempDirTest, APrivateBaseKeepsThePlainName)
{
    const QString runtime = m_dir.filePath("runtime");
    QDir().mkpath(runtime);
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    EXPECT_EQ(PrivateTempDir::ensureFolder("QuorDictation").value(), runtime + "/QuorDictation");
}

TEST_F(PrivateTempDirTest, ASharedBaseGetsAPerUserName)
{
    qputenv("TMPDIR", QFile::encodeName(sharedBase()));
    const Result<QString> folder = PrivateTempDir::ensureFolder("QuorDictation");
    ASSERT_TRUE(folder.ok()) << folder.error().message.toStdString();
    EXPECT_EQ(folder.value(), sharedBase() + "/" + perUser());
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(folder.value()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(PrivateTempDirTest, AnotherUsersFolderInTheSharedBaseDoesNotStandInTheWay)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "handing a folder to another user needs root";
    qputenv("TMPDIR", QFile::encodeName(sharedBase()));
    giveAway(sharedBase() + "/QuorDictation");
    Result<QString> folder = PrivateTempDir::ensureFolder("QuorDictation");
    ASSERT_TRUE(folder.ok()) << folder.error().message.toStdString();
    EXPECT_EQ(folder.value(), sharedBase() + "/" + perUser());

    // Even the per-user name taken: the user's own cache, where nobody else can write.
    QDir(folder.value()).removeRecursively();
    giveAway(sharedBase() + "/" + perUser());
    folder = PrivateTempDir::ensureFolder("QuorDictation");
    ASSERT_TRUE(folder.ok()) << folder.error().message.toStdString();
    EXPECT_EQ(folder.value(), cache() + "/QuorDictation");

    // A link planted under the per-user name is no way in either.
    QDir(sharedBase() + "/" + perUser()).removeRecursively();
    ASSERT_TRUE(QFile::link(m_dir.filePath("elsewhere"), sharedBase() + "/" + perUser()));
    EXPECT_EQ(PrivateTempDir::ensureFolder("QuorDictation").value(), cache() + "/QuorDictation");
}

} // namespace
