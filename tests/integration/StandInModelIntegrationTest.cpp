// Stand-ins of the published whisper models (tests/tools/make-whisper-model.py) load in the
// real whisper-cli and print the text they are steered to. The encoder runs on a short audio
// context here: the full 30-second window only adds time (bench/recogniser-cost runs it).
// The large-v3-turbo shapes (0.6-1.6 GB) run only with WENDLO_LARGE_MODEL_TESTS=1.
#include "support/SilentWav.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

const QString kWhisperCli = QStringLiteral(WENDLO_WHISPER_CLI);
const QString kModelTool = QStringLiteral(WENDLO_MODEL_TOOL);

struct ShapeCase
{
    const char* model; // a published model name
    const char* text;  // what the stand-in is steered to print
    bool large;
};

void PrintTo(const ShapeCase& c, std::ostream* os)
{
    *os << c.model;
}

QByteArray runTool(const QStringList& arguments, int* exitCode)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start("python3", QStringList{kModelTool} + arguments);
    *exitCode = tool.waitForFinished(300000) && tool.exitStatus() == QProcess::NormalExit
                    ? tool.exitCode()
                    : -1;
    return tool.readAllStandardOutput();
}

class StandInModelIntegration : public ::testing::TestWithParam<ShapeCase>
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(kWhisperCli).isExecutable())
            GTEST_SKIP() << "whisper-cli not built at " << kWhisperCli.toStdString()
                         << " (run scripts/build-whisper)";
        if (GetParam().large && qEnvironmentVariableIsEmpty("WENDLO_LARGE_MODEL_TESTS"))
            GTEST_SKIP() << GetParam().model
                         << " is large; set WENDLO_LARGE_MODEL_TESTS=1 to include it";
        ASSERT_TRUE(m_dir.isValid());
    }

    QTemporaryDir m_dir;
};

TEST_P(StandInModelIntegration, LoadsAndPrintsItsText)
{
    const ShapeCase& c = GetParam();
    int status = 0;
    const qint64 size = runTool({c.model, "--size"}, &status).trimmed().toLongLong();
    ASSERT_EQ(status, 0);
    ASSERT_GT(size, 0);
    const qint64 free = QStorageInfo(m_dir.path()).bytesAvailable();
    if (free < size + (256 << 20))
        GTEST_SKIP() << c.model << " needs " << size / (1 << 20) << " MiB, " << free / (1 << 20)
                     << " MiB free in " << m_dir.path().toStdString();

    const QString model = m_dir.filePath(QString(c.model) + ".bin");
    runTool({c.model, model, "--text", QString::fromUtf8(c.text)}, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(QFileInfo(model).size(), size);
    QFile audio(m_dir.filePath("audio.wav"));
    ASSERT_TRUE(audio.open(QIODevice::WriteOnly));
    audio.write(silentWav(3 * 16000));
    audio.close();

    QProcess cli;
    cli.start(kWhisperCli, {"-m", model, "-f", audio.fileName(), "-nt", "-np", "-ac", "64"});
    ASSERT_TRUE(cli.waitForFinished(300000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    ASSERT_EQ(cli.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(QString::fromUtf8(cli.readAllStandardOutput()).trimmed(),
              QString::fromUtf8(c.text).trimmed());
}

INSTANTIATE_TEST_SUITE_P(
    PublishedShapes, StandInModelIntegration,
    ::testing::Values(ShapeCase{"tiny", " hello", false},
                      ShapeCase{"base", " i think i'm done", false},
                      ShapeCase{"small", " Grüße aus Köln, sagte sie.", false},
                      ShapeCase{"tiny-q5_0", " one two three", false},
                      ShapeCase{"tiny-q5_1", " one two three", false},
                      ShapeCase{"tiny-q8_0", " one two three", false},
                      ShapeCase{"large-v3-turbo", " i think i'm done", true},
                      ShapeCase{"large-v3-turbo-q5_0", " i think i'm done", true},
                      ShapeCase{"large-v3-turbo-q8_0", " i think i'm done", true}),
    [](const auto& info) {
        return QString(info.param.model).replace('-', '_').replace('.', '_').toStdString();
    });

} // namespace
