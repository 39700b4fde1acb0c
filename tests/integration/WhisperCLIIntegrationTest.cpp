// The real whisper-cli (built by scripts/build-whisper) run through the app's transcriber,
// with tiny generated models that make it print a chosen text whatever the audio says.
#include "dictation/WhisperCLITranscriber.h"
#include "dictation/WhisperTranscriber.h"
#include "support/SilentWav.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <ostream>

namespace {

const QString kWhisperCli = QStringLiteral(WENDLO_WHISPER_CLI);
const QString kModelTool = QStringLiteral(WENDLO_TINY_MODEL_TOOL);
const QString kProgramPath = "experiment/vendor/whisper.cpp/build-static/bin/whisper-cli";
const QString kModelPath = "experiment/vendor/whisper.cpp/models/ggml-large-v3-turbo.bin";

enum class Damage
{
    None,
    CutInHalf,
    CutInVocabulary
};

struct RealCase
{
    const char* name;
    QString modelText;
    Damage damage;
    std::optional<QString> text; // the transcript, or
    QString error;               // the error message
};

void PrintTo(const RealCase& c, std::ostream* os)
{
    *os << c.name;
}

class WhisperCLIIntegration : public ::testing::TestWithParam<RealCase>
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(kWhisperCli).isExecutable())
            GTEST_SKIP() << "whisper-cli not built at " << kWhisperCli.toStdString()
                         << " (run scripts/build-whisper)";
        if (!QFileInfo::exists(kModelTool))
            GTEST_SKIP() << "tiny model tool missing at " << kModelTool.toStdString();
        ASSERT_TRUE(m_dir.isValid());
        m_previous = QDir::currentPath();
        QDir::setCurrent(m_dir.path());

        // Laid out as the development builds below the working directory.
        QDir().mkpath(QFileInfo(kProgramPath).path());
        QDir().mkpath(QFileInfo(kModelPath).path());
        ASSERT_TRUE(QFile::link(kWhisperCli, kProgramPath));
        QFile audio("audio.wav");
        ASSERT_TRUE(audio.open(QIODevice::WriteOnly));
        audio.write(silentWav());
    }

    void TearDown() override
    {
        if (!m_previous.isEmpty())
            QDir::setCurrent(m_previous);
    }

    void makeModel(const QString& text, Damage damage)
    {
        // Generating takes a while; each text is made once and cut as the case needs.
        QByteArray& bytes = s_models[text];
        if (bytes.isEmpty()) {
            QProcess tool;
            tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            tool.start("python3", {kModelTool, kModelPath, "--text", text});
            ASSERT_TRUE(tool.waitForFinished(60000));
            ASSERT_EQ(tool.exitCode(), 0);
            QFile generated(kModelPath);
            ASSERT_TRUE(generated.open(QIODevice::ReadOnly));
            bytes = generated.readAll();
            ASSERT_GT(bytes.size(), 1000000);
        }
        // The vocabulary starts about 64 kB in and runs for about 400 kB.
        qsizetype size = bytes.size();
        if (damage == Damage::CutInHalf)
            size /= 2;
        else if (damage == Damage::CutInVocabulary)
            size = 200000;
        QFile model(kModelPath);
        ASSERT_TRUE(model.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(model.write(bytes.first(size)), size);
    }

private:
    static inline std::map<QString, QByteArray> s_models;
    QTemporaryDir m_dir;
    QString m_previous;
};

TEST_P(WhisperCLIIntegration, TranscribesThroughTheRealProgram)
{
    makeModel(GetParam().modelText, GetParam().damage);
    WhisperTranscriber transcriber(std::make_shared<WhisperCLITranscriber>(QString(), QString()));
    QObject context;
    std::optional<Result<QString>> answer;

    transcriber.transcribe(QDir::current().filePath("audio.wav"), &context,
                           [&](Result<QString> result) { answer = std::move(result); });

    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }, 60000));
    if (GetParam().text) {
        ASSERT_TRUE(answer->ok()) << answer->error().message.toStdString();
        EXPECT_EQ(answer->value(), *GetParam().text);
    } else {
        ASSERT_FALSE(answer->ok()) << answer->value().toStdString();
        EXPECT_EQ(answer->error().message, GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    TinyModels, WhisperCLIIntegration,
    ::testing::Values(
        RealCase{
            "ChosenTextComesBackTrimmed", " some words", Damage::None, QString("some words"), {}},
        RealCase{"NonAsciiText",
                 QString::fromUtf8(" Grüße aus Köln"),
                 Damage::None,
                 QString::fromUtf8("Grüße aus Köln"),
                 {}},
        RealCase{"TruncatedModelGivesTheProgramsDiagnostic",
                 " some words",
                 Damage::CutInHalf,
                 {},
                 "error: failed to initialize whisper context"},
        // whisper-cli exits 0 without text here; the coordinator reports the empty transcript.
        RealCase{"ModelCutInVocabularyGivesNoText",
                 " some words",
                 Damage::CutInVocabulary,
                 QString(),
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
