// The preview mode of the real app: environment variables choose the onboarding step or the
// pill's mode; the app writes its PNG snapshots into the export directory and quits.
#include "support/DebugLogLines.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <ostream>

namespace {

const QString kWendlo = QStringLiteral(WENDLO_EXECUTABLE);

// In variable values, %DIR% stands for the absolute export directory (which does not exist
// yet: the app must create it, intermediate directories included), and %BLOCKED% for one
// that cannot be created (a plain file is in its way).
struct PreviewCase
{
    const char* name;
    std::map<QString, QString> env;
    QString exportDir;    // where the files must land, relative to the run's home
    QStringList files;    // exactly these PNGs, nothing else
    QStringList logLines; // in this order, whole lines (a prefix if ending in a space)
    bool endsByItself;
};

void PrintTo(const PreviewCase& c, std::ostream* os)
{
    *os << c.name;
}

bool isPill(const QString& file)
{
    return file == "recording.png" || file == "collapse.png" || file == "transcribing.png";
}

class PreviewExport : public ::testing::TestWithParam<PreviewCase>
{
protected:
    QString exportPath() const { return m_home.filePath(GetParam().exportDir); }

    QString expand(QString value) const
    {
        return value.replace("%DIR%", m_home.filePath("out/deeper/still"))
            .replace("%BLOCKED%", m_home.filePath("blocker/out"));
    }

    void runApp()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : env.keys()) {
            if (name.startsWith("QUOR_"))
                env.remove(name);
        }
        env.remove("QT_QPA_PLATFORM");
        QFile blocker(m_home.filePath("blocker"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        QDir().mkpath(m_home.filePath("runtime"));
        QFile::setPermissions(m_home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("XDG_RUNTIME_DIR", m_home.filePath("runtime"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("QUOR_DEBUG_LOG", m_home.filePath("wendlo.log"));
        for (const auto& [name, value] : GetParam().env)
            env.insert(name, expand(value));
        m_app.setProcessEnvironment(env);
        m_app.setWorkingDirectory(m_home.path());
        m_app.setProcessChannelMode(QProcess::MergedChannels);
        m_app.start(kWendlo, {});
        ASSERT_TRUE(m_app.waitForStarted(5000));
    }

    QStringList logLines() const { return debugLogMessages(m_home.filePath("wendlo.log")); }

    void TearDown() override
    {
        m_app.kill();
        m_app.waitForFinished(5000);
    }

    QTemporaryDir m_home;
    QProcess m_app;
};

TEST_P(PreviewExport, ShowsTheChosenPieceWritesItsPicturesAndQuits)
{
    const PreviewCase& c = GetParam();
    runApp();
    if (c.endsByItself) {
        ASSERT_TRUE(m_app.waitForFinished(20000)) << "the preview did not end by itself";
        EXPECT_EQ(m_app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_app.exitCode(), 0) << m_app.readAll().toStdString();
    } else {
        // Without an export directory the overlay preview stays up until the user quits.
        EXPECT_FALSE(m_app.waitForFinished(2500)) << m_app.readAll().toStdString();
    }

    QStringList expected = c.files;
    expected.sort();
    const QStringList written = QDir(exportPath()).entryList({"*.png"}, QDir::Files, QDir::Name);
    EXPECT_EQ(written, expected) << "in " << exportPath().toStdString();

    for (const QString& file : written) {
        const QImage image(QDir(exportPath()).filePath(file));
        ASSERT_FALSE(image.isNull()) << file.toStdString();
        const QPoint corners[] = {{0, 0},
                                  {image.width() - 1, 0},
                                  {0, image.height() - 1},
                                  {image.width() - 1, image.height() - 1}};
        const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
        if (isPill(file)) {
            EXPECT_EQ(image.size(), QSize(200, 52)) << file.toStdString();
            for (const QPoint& p : corners)
                EXPECT_EQ(image.pixelColor(p).alpha(), 0) << file.toStdString() << " corner";
            EXPECT_EQ(centre.alpha(), 255) << file.toStdString();
        } else {
            EXPECT_EQ(image.size(), QSize(860, 700)) << file.toStdString();
            for (const QPoint& p : corners) {
                const QColor colour = image.pixelColor(p);
                EXPECT_EQ(colour.alpha(), 255) << file.toStdString();
                EXPECT_LT(qMax(colour.red(), qMax(colour.green(), colour.blue())), 48)
                    << file.toStdString() << " backdrop is not dark";
            }
        }
    }
    if (written.contains("recording.png") && written.contains("transcribing.png")) {
        EXPECT_TRUE(QImage(QDir(exportPath()).filePath("recording.png")) !=
                    QImage(QDir(exportPath()).filePath("transcribing.png")))
            << "the pill did not change to transcribing";
    }

    const QStringList lines = logLines();
    qsizetype at = 0;
    for (const QString& want : c.logLines) {
        const QString line = expand(want);
        const bool prefix = line.endsWith(' ');
        while (at < lines.size() && !(prefix ? lines[at].startsWith(line) : lines[at] == line))
            ++at;
        ASSERT_LT(at, lines.size())
            << "missing or out of order: " << line.toStdString() << "\nlog:\n"
            << lines.join('\n').toStdString();
        ++at;
    }
    // A preview runs nothing of the pipeline: no coordinator start, no self-test.
    for (const QString& line : lines) {
        EXPECT_FALSE(line.startsWith("state=")) << line.toStdString();
        EXPECT_NE(line, "starting self-test");
    }
}

const QString kStep = "QUOR_ONBOARDING_PREVIEW_STEP";
const QString kMode = "QUOR_OVERLAY_PREVIEW_MODE";
const QString kOnboardingDir = "QUOR_ONBOARDING_EXPORT_DIR";
const QString kOverlayDir = "QUOR_OVERLAY_EXPORT_DIR";
const QString kOut = "out/deeper/still";

INSTANTIATE_TEST_SUITE_P(
    Variables, PreviewExport,
    ::testing::Values(
        PreviewCase{"StepInMixedCaseWithBlanks",
                    {{kStep, "  Practice\n"},
                     {kOnboardingDir, "%DIR%"},
                     {"QUOR_SELFTEST_PHRASE", "not in a preview"}},
                    kOut,
                    {"practice.png"},
                    {"onboarding preview step=practice",
                     "onboarding preview export=%DIR%/practice.png",
                     "onboarding snapshot wrote practice.png"},
                    true},
        PreviewCase{"BothPreviewsSetShowsOnlyTheOnboarding",
                    {{kStep, "ready"}, {kMode, "recording"}, {kOverlayDir, "%DIR%"}},
                    kOut,
                    {"ready.png"},
                    {"onboarding preview step=ready", "onboarding snapshot wrote ready.png"},
                    true},
        PreviewCase{
            "OnboardingWithoutExportDirectoryQuits",
            {{kStep, "welcome"}},
            kOut,
            {},
            {"onboarding preview step=welcome", "onboarding preview missing export directory"},
            true},
        PreviewCase{"BlankStepAndCycleInCapitalsUseTheOnboardingExportDir",
                    {{kStep, "   "}, {kMode, "CYCLE"}, {kOnboardingDir, " %DIR% "}},
                    kOut,
                    {"recording.png", "collapse.png", "transcribing.png"},
                    {},
                    true},
        PreviewCase{
            "UnknownStepFallsBackToTheOverlayWithARelativeDir",
            {{kStep, "settings"}, {kMode, " Transcribing\t\n"}, {kOverlayDir, "  rel/out \n"}},
            "rel/out",
            {"collapse.png", "transcribing.png"},
            {},
            true},
        PreviewCase{"RecordingOverlay",
                    {{kMode, "recording"}, {kOverlayDir, "%DIR%"}},
                    kOut,
                    {"recording.png"},
                    {},
                    true},
        PreviewCase{
            "OnboardingSnapshotFailureIsLoggedAndStillQuits",
            {{kStep, "microphone"}, {kOnboardingDir, "%BLOCKED%"}},
            "blocker/out",
            {},
            {"onboarding preview export=%BLOCKED%/microphone.png", "onboarding snapshot failed: "},
            true},
        PreviewCase{"OverlaySnapshotFailureIsLoggedAndStillQuits",
                    {{kMode, "recording"}, {kOverlayDir, "%BLOCKED%"}},
                    "blocker/out",
                    {},
                    {"preview snapshot failed: "},
                    true},
        PreviewCase{"BlankOnboardingExportDirHidesTheOverlayOne",
                    {{kMode, "recording"}, {kOnboardingDir, " \n"}, {kOverlayDir, "%DIR%"}},
                    kOut,
                    {},
                    {},
                    false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
