#include "dictation/ModelPrefetcher.h"

#include "fakes/FakePageCache.h"
#include "support/DebugLogLines.h"
#include "support/Wait.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

class ModelPrefetcherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_model = m_dir.filePath("model.bin");
        QFile file(m_model);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1 << 20, 'm'));
        QFile::remove(qEnvironmentVariable("QUOR_DEBUG_LOG"));
    }

    std::unique_ptr<ModelPrefetcher> make(std::optional<QString> model)
    {
        auto locate = [model]() -> Result<QString> {
            if (model)
                return *model;
            return QuorError{"Bundled large-v3-turbo model not found"};
        };
        auto prefetcher = std::make_unique<ModelPrefetcher>(locate, m_cache);
        prefetcher->onFinished = [this](const Result<PageCache::Warmed>& r) { m_reports.push_back(r); };
        return prefetcher;
    }

    QStringList log() const { return debugLogMessages(qEnvironmentVariable("QUOR_DEBUG_LOG")); }

    QTemporaryDir m_dir;
    QString m_model;
    std::shared_ptr<FakePageCache> m_cache = std::make_shared<FakePageCache>();
    std::vector<Result<PageCache::Warmed>> m_reports;
};

TEST_F(ModelPrefetcherTest, WarmsTheLocatedModelInTheBackgroundAndLogsWhatItRead)
{
    m_cache->setAnswer(PageCache::Warmed{1 << 20, 0, 1 << 20});
    auto prefetcher = make(m_model);

    prefetcher->prefetch();
    EXPECT_TRUE(prefetcher->isRunning());
    ASSERT_TRUE(waitUntil([&] { return !m_reports.empty(); }));

    EXPECT_FALSE(prefetcher->isRunning());
    EXPECT_EQ(m_cache->calls(), QStringList{m_model});
    ASSERT_TRUE(m_reports[0].ok());
    EXPECT_EQ(m_reports[0].value().bytesRead, 1 << 20);
    const QStringList lines = log();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "model prefetch started " + m_model);
    EXPECT_TRUE(lines[1].startsWith("model prefetch read 1 MB of 1 MB in ")) << lines[1].toStdString();
}

TEST_F(ModelPrefetcherTest, WithoutAModelNothingIsReadAndTheReasonIsLogged)
{
    auto prefetcher = make(std::nullopt);

    prefetcher->prefetch();
    spinFor(50);

    EXPECT_FALSE(prefetcher->isRunning());
    EXPECT_TRUE(m_cache->calls().isEmpty());
    EXPECT_TRUE(m_reports.empty());
    EXPECT_EQ(log(), QStringList{"model prefetch skipped: Bundled large-v3-turbo model not found"});
}

TEST_F(ModelPrefetcherTest, AModelOfMoreThanHalfTheFreeMemoryIsNotRead)
{
    struct Case
    {
        qint64 available;
        bool read;
    };
    // 0: the kernel did not say; reading is the better guess.
    for (const Case c : {Case{(2 << 20) - 1, false}, Case{2 << 20, true}, Case{0, true}}) {
        SCOPED_TRACE(c.available);
        m_reports.clear();
        const qsizetype before = m_cache->calls().size();
        m_cache->available = c.available;
        auto prefetcher = make(m_model);

        prefetcher->prefetch();
        ASSERT_TRUE(waitUntil([&] { return !m_reports.empty(); }));

        EXPECT_EQ(m_cache->calls().size() - before, c.read ? 1 : 0);
        EXPECT_EQ(m_reports[0].ok(), c.read);
        if (!c.read) {
            EXPECT_EQ(log().last(), "model prefetch skipped: the model (1 MB) would take more "
                                    "than half the free memory (2 MB)");
        }
    }
}

TEST_F(ModelPrefetcherTest, APrefetchWhileOneRunsIsDroppedAndALaterOneReadsAgain)
{
    m_cache->held = true;
    auto prefetcher = make(m_model);

    prefetcher->prefetch();
    ASSERT_TRUE(waitUntil([&] { return m_cache->started.load(); }));
    prefetcher->prefetch();
    m_cache->held = false;
    ASSERT_TRUE(waitUntil([&] { return !m_reports.empty(); }));
    spinFor(50);
    EXPECT_EQ(m_cache->calls().size(), 1);

    prefetcher->prefetch(); // after a resume, say: the cache may have been emptied meanwhile
    ASSERT_TRUE(waitUntil([&] { return m_reports.size() == 2; }));
    EXPECT_EQ(m_cache->calls().size(), 2);
}

TEST_F(ModelPrefetcherTest, AReadThatFailsIsLoggedAndThePrefetchersEndStopsARead)
{
    m_cache->setAnswer(QuorError{"Could not open " + m_model + ": Permission denied"});
    auto prefetcher = make(m_model);
    prefetcher->prefetch();
    ASSERT_TRUE(waitUntil([&] { return !m_reports.empty(); }));
    EXPECT_FALSE(m_reports[0].ok());
    EXPECT_EQ(log().last(), "model prefetch skipped: Could not open " + m_model + ": Permission denied");

    m_reports.clear();
    m_cache->held = true;
    m_cache->started = false;
    prefetcher->prefetch();
    ASSERT_TRUE(waitUntil([&] { return m_cache->started.load(); }));
    prefetcher.reset(); // returns only once the read has seen the stop
    EXPECT_TRUE(m_cache->sawStop.load());
    spinFor(50);
    EXPECT_TRUE(m_reports.empty());
}

} // namespace
