#include "common/DebugLog.h"

#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace {

struct WriterRun
{
    QByteArray standardError;
};

class DebugLogTest : public ::testing::Test
{
protected:
    // Runs the writer with exactly `env` (plus a private runtime folder) and `messages`.
    WriterRun run(const QStringList& messages, const QStringList& env = {})
    {
        QProcess process;
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        for (const QString& entry : env)
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(DEBUG_LOG_WRITER), messages);
        EXPECT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 0);
        return {process.readAllStandardError()};
    }
    QByteArray read(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString logIn(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

TEST_F(DebugLogTest, OneLetterIsNineBytesInFileAndOnStandardError)
{
    const QString log = logIn(QStringLiteral("log.txt"));
    const WriterRun r = run({"x"}, {"QUOR_DEBUG_LOG=" + log, "QUOR_LOG_STDERR=1"});
    EXPECT_EQ(read(log), QByteArray("[Quor] x\n"));
    EXPECT_EQ(r.standardError, QByteArray("[Quor] x\n"));
}

TEST_F(DebugLogTest, StandardErrorSwitches)
{
    const std::pair<QStringList, bool> cases[] = {
        {{}, false},
        {{"QUOR_LOG_STDERR=1"}, true},
        {{"QUOR_LOG_STDERR=true"}, false},
        {{"QUOR_LOG_STDERR=0"}, false},
        {{"QUOR_LOG_STDERR="}, false},
        {{"QUOR_LOG_STDERR= 1"}, false},
        // The self-test's entry point asks for the copy; the log itself does not look.
        {{"QUOR_SELFTEST_PHRASE=hello there"}, false},
    };
    for (const auto& [env, enabled] : cases) {
        SCOPED_TRACE(env.join(' ').toStdString());
        const WriterRun r =
            run({"line"}, env + QStringList{"QUOR_DEBUG_LOG=" + logIn("switch.log")});
        EXPECT_EQ(r.standardError, enabled ? QByteArray("[Quor] line\n") : QByteArray());
    }
}

TEST_F(DebugLogTest, AskedForStandardErrorItCopiesWhateverTheEnvironmentSays)
{
    const QString log = logIn(QStringLiteral("asked.log"));
    const WriterRun r =
        run({"--stderr", "one", "two"}, {"QUOR_DEBUG_LOG=" + log, "QUOR_LOG_STDERR=0"});
    EXPECT_EQ(r.standardError, QByteArray("[Quor] one\n[Quor] two\n"));
    EXPECT_EQ(read(log), QByteArray("[Quor] one\n[Quor] two\n"));
}

TEST_F(DebugLogTest, DefaultFileIsPrivateInThePrivateFolder)
{
    run({"a"});
    const QString log = logIn(QStringLiteral("QuorDictation/QuorDictation.log"));
    EXPECT_EQ(read(log), QByteArray("[Quor] a\n"));
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(log).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(DebugLogTest, DefaultFileThatIsASymlinkIsNotFollowed)
{
    const QString target = logIn(QStringLiteral("elsewhere.txt"));
    ASSERT_TRUE(QDir().mkpath(logIn(QStringLiteral("QuorDictation"))));
    ASSERT_TRUE(QFile::link(target, logIn(QStringLiteral("QuorDictation/QuorDictation.log"))));
    run({"secret"});
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(DebugLogTest, CreatesParentsAndAppendsAcrossProcesses)
{
    const QString log = logIn(QStringLiteral("a/b/c/dictation.log"));
    run({"first", "two\nlines"}, {"QUOR_DEBUG_LOG=" + log});
    run({"second"}, {"QUOR_DEBUG_LOG=" + log});
    EXPECT_EQ(read(log), QByteArray("[Quor] first\n[Quor] two\nlines\n[Quor] second\n"));
}

TEST_F(DebugLogTest, UnwritableLocationIsSilent)
{
    const QString log = logIn(QStringLiteral("file/inside-a-file.log"));
    QFile blocker(logIn(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const WriterRun r = run({"lost"}, {"QUOR_DEBUG_LOG=" + log, "QUOR_LOG_STDERR=1"});
    EXPECT_EQ(r.standardError, QByteArray("[Quor] lost\n")) << "standard error comes first";
    EXPECT_FALSE(QFile::exists(log));
}

// The default log is written unasked, so it stays small; the debug log is written as asked.
TEST_F(DebugLogTest, TheDefaultLogIsCappedAndRotatedOnceTheDebugLogIsNot)
{
    // 3,000 lines of about 1 kB: three times the cap.
    run({"--lines", "3000", "1000"});
    const QString log = logIn(QStringLiteral("QuorDictation/QuorDictation.log"));
    const QByteArray current = read(log);
    const QByteArray previous = read(log + ".1");
    EXPECT_LE(current.size(), 1024 * 1024);
    EXPECT_LE(previous.size(), 1024 * 1024);
    EXPECT_GT(previous.size(), 1000 * 1000) << "rotated when full, not before";
    EXPECT_FALSE(QFile::exists(log + ".2"));
    EXPECT_TRUE(current.endsWith("[Quor] 00002999" + QByteArray(992, 'x') + "\n"));
    // Nothing lost at the seam: the rotated file ends right before the current one begins.
    const int firstCurrent = current.mid(7, 8).toInt();
    const qsizetype lastStart = previous.lastIndexOf("[Quor] ");
    EXPECT_EQ(previous.mid(lastStart + 7, 8).toInt(), firstCurrent - 1);

    const QString debug = logIn(QStringLiteral("debug.log"));
    run({"--lines", "3000", "1000"}, {"QUOR_DEBUG_LOG=" + debug});
    EXPECT_EQ(read(debug).size(), 3000 * 1008);
    EXPECT_FALSE(QFile::exists(debug + ".1"));
}

TEST_F(DebugLogTest, AHugeLineIsCutInTheDefaultLogOnly)
{
    const QString huge = QString(50000, u'é'); // 100 kB of UTF-8
    run({huge});
    const QByteArray cut = read(logIn(QStringLiteral("QuorDictation/QuorDictation.log")));
    EXPECT_LT(cut.size(), 20 * 1024);
    EXPECT_TRUE(cut.startsWith("[Quor] \xc3\xa9\xc3\xa9"));
    EXPECT_TRUE(cut.endsWith(" bytes cut)\n")) << cut.right(40).toStdString();
    EXPECT_EQ(QString::fromUtf8(cut).toUtf8(), cut) << "no character split";

    const QString debug = logIn(QStringLiteral("debug.log"));
    run({huge}, {"QUOR_DEBUG_LOG=" + debug});
    EXPECT_EQ(read(debug), "[Quor] " + huge.toUtf8() + "\n");
}

TEST(DebugLogThreads, LinesFromTwoThreadsStayWhole)
{
    const QString log = qEnvironmentVariable("QUOR_DEBUG_LOG");
    QFile::remove(log);
    const auto writeMany = [](char letter) {
        const QString message(300, QLatin1Char(letter));
        for (int i = 0; i < 500; ++i)
            DebugLog::write(message);
    };
    std::thread a(writeMany, 'a');
    std::thread b(writeMany, 'b');
    a.join();
    b.join();

    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 1001); // the last piece is empty
    for (qsizetype i = 0; i < 1000; ++i) {
        const QByteArray& line = lines.at(i);
        ASSERT_EQ(line.size(), 307) << i;
        ASSERT_TRUE(line == "[Quor] " + QByteArray(300, 'a') ||
                    line == "[Quor] " + QByteArray(300, 'b'))
            << i;
    }
}

} // namespace
