#include "platform/pulse/WavFileWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <vector>

namespace {

class WavFileWriterTest : public ::testing::Test
{
protected:
    QString path(const char* name) const { return dir.path() + "/" + name; }
    QTemporaryDir dir;
};

TEST_F(WavFileWriterTest, WritesA16kHzMono16BitWavWithTheSamplesGiven)
{
    std::vector<std::int16_t> ramp(4000);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = std::int16_t(i * 8 - 16000);
    auto writer = WavFileWriter::create(path("a.wav"));
    ASSERT_TRUE(writer.ok()) << writer.error().message.toStdString();
    ASSERT_TRUE(writer.value()->write(ramp.data(), ramp.size()));
    ASSERT_TRUE(writer.value()->writeSilence(1000));
    EXPECT_FALSE(writer.value()->close());
    EXPECT_FALSE(writer.value()->close()) << "closing twice is harmless";
    EXPECT_EQ(writer.value()->framesWritten(), 5000);

    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path("a.wav")).constData(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.samplerate, 16000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.frames, 5000);
    std::vector<std::int16_t> back(5000);
    EXPECT_EQ(sf_read_short(file, back.data(), 5000), 5000);
    sf_close(file);
    EXPECT_TRUE(std::equal(ramp.begin(), ramp.end(), back.begin()));
    EXPECT_EQ(back[4500], 0);
    EXPECT_EQ(QFile(path("a.wav")).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
}

TEST_F(WavFileWriterTest, RefusesAnExistingFileOrASymlink)
{
    QFile existing(path("taken.wav"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep me");
    existing.close();
    ASSERT_TRUE(QFile::link(path("target.wav"), path("link.wav")));

    for (const char* name : {"taken.wav", "link.wav"}) {
        const auto writer = WavFileWriter::create(path(name));
        ASSERT_FALSE(writer.ok()) << name;
        EXPECT_TRUE(writer.error().message.startsWith("Could not create recording " + path(name)));
    }
    QFile kept(path("taken.wav"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "keep me");
    EXPECT_FALSE(QFile::exists(path("target.wav")));
}

// A file-size limit stands in for a full disk: writes past it fail the same way.
TEST_F(WavFileWriterTest, AWriteThatDoesNotFitIsReportedAndEndsWriting)
{
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    auto writer = WavFileWriter::create(path("full.wav"));
    ASSERT_TRUE(writer.ok());
    const std::vector<std::int16_t> second(16000, 1000);
    const bool firstWrite = writer.value()->write(second.data(), second.size());
    const bool laterWrite = writer.value()->write(second.data(), 10);
    const Failure closed = writer.value()->close();

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(firstWrite);
    EXPECT_FALSE(laterWrite);
    ASSERT_TRUE(closed);
    EXPECT_TRUE(
        closed->message.startsWith("Could not save the recording " + path("full.wav") + ": "))
        << closed->message.toStdString();
    EXPECT_EQ(writer.value()->failure(), closed);
}

} // namespace
