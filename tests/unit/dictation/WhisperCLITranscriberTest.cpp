#include "dictation/WhisperCLITranscriber.h"

#include "support/ProcessAlive.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A scratch working directory holding stand-in programs; the real one is restored afterwards.
class ScratchDirectory
{
public:
    ScratchDirectory() : m_previous(QDir::currentPath())
    {
        EXPECT_TRUE(m_dir.isValid());
        QDir::setCurrent(m_dir.path());
    }
    ~ScratchDirectory() { QDir::setCurrent(m_previous); }

    // Relative paths are taken inside the scratch directory.
    QString path(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }

    QString write(const QString& relative, const QByteArray& contents, bool executable = false)
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly)) << file.toStdString();
        out.write(contents);
        out.close();
        auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        if (executable)
            permissions |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
        out.setPermissions(permissions);
        return file;
    }

    // A shell stand-in for whisper-cli.
    QString program(const QString& relative, const QByteArray& body)
    {
        return write(relative, "#!/bin/sh\n" + body + "\n", true);
    }

    QString audio() { return write("audio.wav", "RIFF stand-in recording"); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

const QString kResourceProgram = "res/Whisper/whisper-cli";
const QString kResourceModel = "res/Whisper/ggml-large-v3-turbo.bin";
const QString kStaticProgram = "experiment/vendor/whisper.cpp/build-static/bin/whisper-cli";
const QString kBuildProgram = "experiment/vendor/whisper.cpp/build/bin/whisper-cli";
const QString kDevelopmentModel = "experiment/vendor/whisper.cpp/models/ggml-large-v3-turbo.bin";
const QString kUserModel = "data/Whisper/ggml-large-v3-turbo.bin";
const QString kUserProgram = "data/Whisper/whisper-cli";

// --- What the child's streams and exit status turn into ------------------------------------

struct RunCase
{
    const char* name;
    QByteArray script;
    std::optional<QString> text; // the transcript, or
    QString error;               // the error message
};

void PrintTo(const RunCase& c, std::ostream* os)
{
    *os << c.name;
}

class WhisperCLIRun : public ::testing::TestWithParam<RunCase>
{
};

TEST_P(WhisperCLIRun, TurnsTheChildsStreamsAndStatusIntoTextOrError)
{
    ScratchDirectory scratch;
    scratch.program(kResourceProgram, GetParam().script);
    scratch.write(kResourceModel, "model");
    const WhisperCLITranscriber transcriber(scratch.path("res"));

    const Result<QString> result = transcriber.transcribe(scratch.audio());

    if (GetParam().text) {
        ASSERT_TRUE(result.ok()) << result.error().message.toStdString();
        EXPECT_EQ(result.value(), *GetParam().text);
    } else {
        ASSERT_FALSE(result.ok()) << result.value().toStdString();
        EXPECT_EQ(result.error().message, GetParam().error);
    }
}

const QString kBig(3 * 1024 * 1024, QChar('a'));

INSTANTIATE_TEST_SUITE_P(
    Streams, WhisperCLIRun,
    ::testing::Values(
        RunCase{"ExitOneSilently", "exit 1", {}, "Transcription failed"},
        RunCase{"ExitOneWithDiagnostic",
                "echo 'partial' ; echo 'error: failed to read audio' >&2 ; exit 1",
                {},
                "error: failed to read audio"},
        // An error with no words helps nobody: blank diagnostics count as none.
        RunCase{"ExitOneWithBlankDiagnostic",
                "printf ' \\n\\t \\n' >&2 ; exit 1",
                {},
                "Transcription failed"},
        RunCase{"ExitOneWithUndecodableDiagnostic",
                "printf 'bad \\377 byte\\n' >&2 ; exit 1",
                {},
                QString::fromUtf8("bad \uFFFD byte")},
        RunCase{"KilledBySignal", "echo 'half a sente'; kill -9 $$", {}, "Transcription failed"},
        RunCase{"EmptyOutput", "exit 0", QString(), {}},
        RunCase{"BlanksAroundText", "printf '   hello world\\n'", QString("hello world"), {}},
        RunCase{"LineBreaksInsideKept", "printf ' one\\n two \\n\\n'", QString("one\n two"), {}},
        RunCase{"NonAsciiText",
                "printf ' Grüße, naïve café — 東京\\n'",
                QString::fromUtf8("Grüße, naïve café — 東京"),
                {}},
        RunCase{"DiagnosticIgnoredOnSuccess",
                "echo ' text'; echo 'warning: slow' >&2",
                QString("text"),
                {}},
        // One bad sequence costs one character, not the transcript: a lone Latin-1 byte, a
        // character cut between tokens, and a stray continuation byte.
        RunCase{"UndecodableOutput",
                "printf ' caf\\351 au lait, d\\303 \\351t\\303\\251 \\240ok\\n'",
                QString::fromUtf8("caf\uFFFD au lait, d\uFFFD \uFFFDt\u00e9 \uFFFDok"),
                {}},
        // More than any pipe buffer on both streams before exiting must not stall the run.
        RunCase{"MegabytesOnBothStreams",
                "head -c 3145728 /dev/zero | tr '\\0' 'a' ; "
                "head -c 3145728 /dev/zero | tr '\\0' 'b' >&2",
                kBig,
                {}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Stopping a run -------------------------------------------------------------------------

// A recogniser that never ends, with a helper of its own in its process group; both write
// their process ids.
const QByteArray kHungRecogniser = "sleep 600 & echo $! > helper.pid\n"
                                   "echo $$ > recogniser.pid\n"
                                   "wait\n";

TEST(WhisperCLITranscriber, AStopKillsTheRecogniserAndEverythingItStarted)
{
    ScratchDirectory scratch;
    scratch.program(kResourceProgram, kHungRecogniser);
    scratch.write(kResourceModel, "m");
    const WhisperCLITranscriber transcriber(scratch.path("res"));
    const QString audio = scratch.audio();
    ChildProcessStop stop;
    std::optional<Result<QString>> result;
    std::thread run([&] { result = transcriber.transcribe(audio, stop); });

    ASSERT_TRUE(waitUntil([&] {
        return pidFrom(scratch.path("recogniser.pid")) > 0 &&
               pidFrom(scratch.path("helper.pid")) > 0;
    }));
    const qint64 recogniser = pidFrom(scratch.path("recogniser.pid"));
    const qint64 helper = pidFrom(scratch.path("helper.pid"));
    EXPECT_TRUE(processAlive(recogniser));

    stop.requestStop();
    run.join();

    ASSERT_TRUE(result.has_value());
    ASSERT_FALSE(result->ok());
    EXPECT_EQ(result->error().message, "Transcription was cancelled");
    EXPECT_FALSE(processAlive(recogniser));
    EXPECT_TRUE(waitUntil([&] { return !processAlive(helper); }));
}

TEST(WhisperCLITranscriber, AStopBeforeTheRunStartsRunsNothing)
{
    ScratchDirectory scratch;
    scratch.program(kResourceProgram, "touch ran; echo text");
    scratch.write(kResourceModel, "m");
    ChildProcessStop stop;
    stop.requestStop();

    const Result<QString> result =
        WhisperCLITranscriber(scratch.path("res")).transcribe(scratch.audio(), stop);

    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message, "Transcription was cancelled");
    EXPECT_FALSE(QFile::exists(scratch.path("ran")));
}

// --- Where the program and the model are found ---------------------------------------------

enum class Entry
{
    Program,
    PlainFile,
    Directory
};

struct LookupCase
{
    const char* name;
    bool withResourceDirectory;
    bool withUserDataDirectory;
    std::vector<std::pair<QString, Entry>> entries;
    QString program; // what must run, with
    QString model;   // this model; or, with no program,
    QString error;   // a message that starts with this
};

void PrintTo(const LookupCase& c, std::ostream* os)
{
    *os << c.name;
}

class WhisperCLILookup : public ::testing::TestWithParam<LookupCase>
{
};

TEST_P(WhisperCLILookup, TriesTheCandidatesInOrder)
{
    ScratchDirectory scratch;
    for (const auto& [path, entry] : GetParam().entries) {
        switch (entry) {
        case Entry::Program:
            // Answers with its own path and the model it was given.
            scratch.program(path, "printf '%s %s' \"$0\" \"$2\"");
            break;
        case Entry::PlainFile:
            scratch.write(path, "#!/bin/sh\necho should not run\n");
            break;
        case Entry::Directory:
            QDir().mkpath(scratch.path(path));
            break;
        }
    }
    const WhisperCLITranscriber transcriber(
        GetParam().withResourceDirectory ? scratch.path("res") : QString(),
        GetParam().withUserDataDirectory ? scratch.path("data") : QString());

    const Result<QString> result = transcriber.transcribe(scratch.audio());

    if (GetParam().program.isEmpty()) {
        ASSERT_FALSE(result.ok()) << result.value().toStdString();
        EXPECT_TRUE(result.error().message.startsWith(GetParam().error))
            << result.error().message.toStdString();
    } else {
        ASSERT_TRUE(result.ok()) << result.error().message.toStdString();
        EXPECT_EQ(result.value(),
                  scratch.path(GetParam().program) + " " + scratch.path(GetParam().model));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, WhisperCLILookup,
    ::testing::Values(
        LookupCase{"ResourceDirectoryFirst",
                   true,
                   true,
                   {{kResourceProgram, Entry::Program},
                    {kStaticProgram, Entry::Program},
                    {kResourceModel, Entry::PlainFile},
                    {kUserModel, Entry::PlainFile},
                    {kDevelopmentModel, Entry::PlainFile}},
                   kResourceProgram,
                   kResourceModel,
                   {}},
        LookupCase{"UserDataModelBeforeDevelopmentModel",
                   true,
                   true,
                   {{kResourceProgram, Entry::Program},
                    {kUserModel, Entry::PlainFile},
                    {kDevelopmentModel, Entry::PlainFile}},
                   kResourceProgram,
                   kUserModel,
                   {}},
        LookupCase{"UserDataModelWithoutResourceDirectory",
                   false,
                   true,
                   {{kBuildProgram, Entry::Program}, {kUserModel, Entry::PlainFile}},
                   kBuildProgram,
                   kUserModel,
                   {}},
        // Only the model is the user's to place; a program there is never run.
        LookupCase{"UserDataProgramNeverRun",
                   true,
                   true,
                   {{kUserProgram, Entry::Program}, {kUserModel, Entry::PlainFile}},
                   {},
                   {},
                   "Bundled whisper-cli not found"},
        LookupCase{"BuildStaticBeforeBuild",
                   false,
                   false,
                   {{kStaticProgram, Entry::Program},
                    {kBuildProgram, Entry::Program},
                    {kDevelopmentModel, Entry::PlainFile}},
                   kStaticProgram,
                   kDevelopmentModel,
                   {}},
        LookupCase{"ResourceProgramWithoutRunBitSkipped",
                   true,
                   true,
                   {{kResourceProgram, Entry::PlainFile},
                    {kBuildProgram, Entry::Program},
                    {kResourceModel, Entry::PlainFile}},
                   kBuildProgram,
                   kResourceModel,
                   {}},
        LookupCase{"DirectoriesInPlaceOfFilesSkipped",
                   true,
                   true,
                   {{kResourceProgram, Entry::Directory},
                    {kStaticProgram, Entry::Program},
                    {kResourceModel, Entry::Directory},
                    {kUserModel, Entry::Directory},
                    {kDevelopmentModel, Entry::PlainFile}},
                   kStaticProgram,
                   kDevelopmentModel,
                   {}},
        LookupCase{"ResourceAndUserCandidatesIgnoredWithoutTheirDirectories",
                   false,
                   false,
                   {{kResourceProgram, Entry::Program},
                    {kResourceModel, Entry::PlainFile},
                    {kUserModel, Entry::PlainFile},
                    {kBuildProgram, Entry::Program}},
                   {},
                   {},
                   "Bundled large-v3-turbo model not found"},
        LookupCase{
            "ProgramLookedUpBeforeModel", true, true, {}, {}, {}, "Bundled whisper-cli not found"},
        LookupCase{"OnlyProgramWithoutRunBit",
                   true,
                   true,
                   {{kResourceProgram, Entry::PlainFile}, {kResourceModel, Entry::PlainFile}},
                   {},
                   {},
                   "Bundled whisper-cli not found"},
        LookupCase{"ProgramButNoModel",
                   true,
                   true,
                   {{kResourceProgram, Entry::Program}},
                   {},
                   {},
                   "Bundled large-v3-turbo model not found"}),
    [](const auto& info) { return std::string(info.param.name); });

// The package ships without the model, so this text is what a new user meets first.
TEST(WhisperCLITranscriber, MissingFilesSayWhereTheyGoAndWhatGetsTheModel)
{
    ScratchDirectory scratch;
    const WhisperCLITranscriber transcriber(scratch.path("res"), scratch.path("data"));

    const Result<QString> noProgram = transcriber.transcribe(scratch.audio());
    ASSERT_FALSE(noProgram.ok());
    EXPECT_EQ(noProgram.error().message,
              "Bundled whisper-cli not found (expected at " + scratch.path(kResourceProgram) + ")");

    scratch.program(kResourceProgram, "echo should not run");
    const Result<QString> noModel = transcriber.transcribe(scratch.audio());
    ASSERT_FALSE(noModel.ok());
    EXPECT_EQ(noModel.error().message,
              "Bundled large-v3-turbo model not found. Put ggml-large-v3-turbo.bin into " +
                  scratch.path("data/Whisper") +
                  "/ (run wendlo-fetch-model to download it there).");
}

// --- A chosen model --------------------------------------------------------------------------

struct ChosenModelCase
{
    const char* name;
    QString chosen;    // what the model source answers
    QStringList files; // model files present
    QString model;     // the file that must be used, or
    QString error;     // the whole error, with DATA for the data folder's Whisper folder
};

void PrintTo(const ChosenModelCase& c, std::ostream* os)
{
    *os << c.name;
}

class WhisperCLIChosenModel : public ::testing::TestWithParam<ChosenModelCase>
{
};

TEST_P(WhisperCLIChosenModel, UsesTheChosenModelsFileInTheSameOrder)
{
    const ChosenModelCase& c = GetParam();
    ScratchDirectory scratch;
    scratch.program(kResourceProgram, "printf '%s' \"$2\"");
    for (const QString& file : c.files)
        scratch.write(file, "model");
    WhisperCLITranscriber transcriber(scratch.path("res"), scratch.path("data"));
    const QString chosen = c.chosen;
    transcriber.setModelSource([chosen] { return chosen; });

    const Result<QString> result = transcriber.transcribe(scratch.audio());

    if (!c.model.isEmpty()) {
        ASSERT_TRUE(result.ok()) << result.error().message.toStdString();
        EXPECT_EQ(result.value(), scratch.path(c.model));
    } else {
        ASSERT_FALSE(result.ok()) << result.value().toStdString();
        EXPECT_EQ(result.error().message,
                  QString(c.error).replace("DATA", scratch.path("data/Whisper")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, WhisperCLIChosenModel,
    ::testing::Values(
        ChosenModelCase{"NoneChosenMeansLargeV3Turbo",
                        QString(),
                        {"res/Whisper/ggml-small.bin", kUserModel},
                        kUserModel,
                        {}},
        ChosenModelCase{"ResourceFolderFirst",
                        "small",
                        {"res/Whisper/ggml-small.bin", "data/Whisper/ggml-small.bin"},
                        "res/Whisper/ggml-small.bin",
                        {}},
        ChosenModelCase{"ThenTheDataFolder",
                        "base-q5_1",
                        {kResourceModel, "data/Whisper/ggml-base-q5_1.bin"},
                        "data/Whisper/ggml-base-q5_1.bin",
                        {}},
        ChosenModelCase{"ThenTheDevelopmentFolder",
                        "tiny",
                        {"experiment/vendor/whisper.cpp/models/ggml-tiny.bin"},
                        "experiment/vendor/whisper.cpp/models/ggml-tiny.bin",
                        {}},
        // The default model beside it is not a stand-in for the one the user chose.
        ChosenModelCase{"MissingChosenModelIsNamed",
                        "small",
                        {kResourceModel, kUserModel},
                        {},
                        "Chosen small model not found. Put ggml-small.bin into DATA/ (run "
                        "wendlo-fetch-model small to download it there)."},
        ChosenModelCase{"MissingDefaultKeepsItsText",
                        "large-v3-turbo",
                        {"data/Whisper/ggml-small.bin"},
                        {},
                        "Bundled large-v3-turbo model not found. Put ggml-large-v3-turbo.bin "
                        "into DATA/ (run wendlo-fetch-model to download it there)."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WhisperCLITranscriber, MissingChosenModelWithoutADataFolderNamesTheCommand)
{
    ScratchDirectory scratch;
    const Result<QString> model =
        WhisperCLITranscriber(scratch.path("res"), QString()).modelURL("medium");
    ASSERT_FALSE(model.ok());
    EXPECT_EQ(model.error().message,
              "Chosen medium model not found. Run wendlo-fetch-model medium to download it.");
}

TEST(WhisperCLITranscriber, ListsTheInstalledModelsByNameResourceFolderFirst)
{
    ScratchDirectory scratch;
    scratch.write("res/Whisper/ggml-small.bin", "model");
    scratch.write("res/Whisper/ggml-base.bin", "model");
    scratch.write("data/Whisper/ggml-small.bin", "model");
    scratch.write("data/Whisper/ggml-large-v3-turbo.bin", "model");
    scratch.write("data/Whisper/ggml-tiny.bin.part", "half");
    scratch.write("data/Whisper/ggml-.bin", "no name");
    scratch.write("data/Whisper/notes.txt", "not a model");
    QDir().mkpath(scratch.path("data/Whisper/ggml-folder.bin"));
    QFile::link(scratch.path("gone.bin"), scratch.path("data/Whisper/ggml-broken.bin"));
    QFile::link(scratch.path("res/Whisper/ggml-base.bin"),
                scratch.path("data/Whisper/ggml-linked.bin"));

    EXPECT_EQ(WhisperCLITranscriber(scratch.path("res"), scratch.path("data")).installedModels(),
              QStringList({"base", "small", "large-v3-turbo", "linked"}));
    EXPECT_EQ(WhisperCLITranscriber(QString(), scratch.path("missing")).installedModels(),
              QStringList());
}

TEST(WhisperCLITranscriber, UserDataDirectoryFollowsTheXdgRules)
{
    const struct
    {
        const char* xdgDataHome; // nullptr: unset
        QString expected;
    } cases[] = {
        {"/data/alice", "/data/alice/wendlo"},
        {"/data/alice/", "/data/alice/wendlo"},
        {nullptr, "/home/alice/.local/share/wendlo"},
        {"", "/home/alice/.local/share/wendlo"},
        // Relative values are to be ignored, not taken against the working directory.
        {"data", "/home/alice/.local/share/wendlo"},
    };
    for (const auto& c : cases) {
        QProcessEnvironment environment;
        environment.insert("HOME", "/home/alice");
        if (c.xdgDataHome)
            environment.insert("XDG_DATA_HOME", c.xdgDataHome);
        EXPECT_EQ(WhisperCLITranscriber::userDataDirectory(environment), c.expected)
            << (c.xdgDataHome ? c.xdgDataHome : "(unset)");
    }
}

// --- The command line and bad input ---------------------------------------------------------

TEST(WhisperCLITranscriber, PassesExactlySixArgumentsWhateverThePathsHold)
{
    ScratchDirectory scratch;
    const QString resources = scratch.path("res with space 'single' \"double\" $HOME");
    scratch.program(resources + "/Whisper/whisper-cli", "printf '%s\\n' \"$#\" \"$@\"");
    const QString model = scratch.write(resources + "/Whisper/ggml-large-v3-turbo.bin", "m");
    const QString audio = scratch.write("a b \"c\" 'd' *.wav", "RIFF");

    const Result<QString> result = WhisperCLITranscriber(resources).transcribe(audio);

    ASSERT_TRUE(result.ok()) << result.error().message.toStdString();
    EXPECT_EQ(result.value().split('\n'),
              QStringList({"6", "-m", model, "-f", audio, "-nt", "-np"}));
}

TEST(WhisperCLITranscriber, AppendsTheChosenLanguageAskedAfreshForEachRun)
{
    ScratchDirectory scratch;
    scratch.program(kResourceProgram, "printf '%s\n' \"$@\"");
    const QString model = scratch.write(kResourceModel, "m");
    const QString audio = scratch.audio();
    WhisperCLITranscriber transcriber(scratch.path("res"));
    QString language;
    transcriber.setLanguageSource([&] { return language; });

    const QStringList plain{"-m", model, "-f", audio, "-nt", "-np"};
    for (const QString& code : {QString(), QStringLiteral("de"), QStringLiteral("auto")}) {
        language = code;
        const Result<QString> result = transcriber.transcribe(audio);
        ASSERT_TRUE(result.ok()) << result.error().message.toStdString();
        const QStringList expected = code.isEmpty() ? plain : plain + QStringList{"-l", code};
        EXPECT_EQ(result.value().split('\n'), expected);
        EXPECT_EQ(WhisperCLITranscriber::arguments(model, audio, code), expected);
    }
}

TEST(WhisperCLITranscriber, ReportsTheLaunchFailureInItsOwnWords)
{
    ScratchDirectory scratch;
    scratch.write(kResourceProgram, "#!/nonexistent/interpreter\n", true);
    scratch.write(kResourceModel, "m");

    const Result<QString> result =
        WhisperCLITranscriber(scratch.path("res")).transcribe(scratch.audio());

    ASSERT_FALSE(result.ok());
    EXPECT_FALSE(result.error().message.isEmpty());
    EXPECT_NE(result.error().message, "Transcription failed");
}

TEST(WhisperCLITranscriber, RefusesAMissingOrEmptyRecordingWithoutRunningTheProgram)
{
    ScratchDirectory scratch;
    scratch.program(kResourceProgram, "touch ran; echo text");
    scratch.write(kResourceModel, "m");
    const WhisperCLITranscriber transcriber(scratch.path("res"));
    QDir().mkpath(scratch.path("folder.wav"));

    const struct
    {
        QString audio;
        QString message;
    } cases[] = {
        {scratch.path("missing.wav"), "Recorded audio file not found"},
        {scratch.path("folder.wav"), "Recorded audio file not found"},
        {scratch.write("empty.wav", ""), "Recorded audio file is empty"},
    };
    for (const auto& c : cases) {
        const Result<QString> result = transcriber.transcribe(c.audio);
        ASSERT_FALSE(result.ok()) << c.audio.toStdString();
        EXPECT_EQ(result.error().message, c.message);
    }
    EXPECT_FALSE(QFile::exists(scratch.path("ran")));
}

// Tests live in <build>/tests, whose ../share/wendlo is where the build installs whisper-cli.
TEST(WhisperCLITranscriber, DefaultResourceDirectoryIsTheBuildsResourceDirectory)
{
    EXPECT_EQ(QFileInfo(WhisperCLITranscriber::defaultResourceDirectory()).absoluteFilePath(),
              QFileInfo(QStringLiteral(WENDLO_RESOURCE_DIR)).absoluteFilePath());
}

} // namespace
