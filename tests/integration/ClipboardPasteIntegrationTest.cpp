// The clipboard path on a private X display: the real clipboard (QtClipboard) and its read
// watch, the paste with its snapshot and restore, and the XTest chord into a field that
// takes a paste but offers no editable text.
#include "dictation/ClipboardPaste.h"
#include "platform/qt/QtClipboard.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11SelectionReads.h"
#include "platform/x11/XTestSyntheticKeys.h"
#include "support/Wait.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWindow>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '[' << list.join(", ").toStdString() << ']';
}

namespace {

const QString plain = QStringLiteral("text/plain");
const QString png = QStringLiteral("image/png");

QByteArray pngBytes()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class ClipboardPath : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto x11 = X11Connection::ofApplication();
        ASSERT_TRUE(x11) << "needs the xcb platform";
        keys = std::make_unique<XTestSyntheticKeys>(x11->connection, x11->root);
        clipboard = std::make_unique<QtClipboard>(
            QGuiApplication::clipboard(), std::make_unique<X11SelectionReads>(x11->connection));
    }

    void TearDown() override
    {
        if (manager) {
            manager->kill();
            manager->waitForFinished(2000);
        }
        for (const auto& owner : owners) {
            ::kill(pid_t(owner->processId()), SIGCONT);
            owner->kill();
            owner->waitForFinished(2000);
        }
        if (field) {
            field->kill();
            field->waitForFinished(2000);
        }
    }

    // The paste-only field, focused; `resourceName` sets its WM_CLASS instance.
    void startField(const QString& resourceName = QStringLiteral("qt-field"))
    {
        field = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("RESOURCE_NAME", resourceName);
        env.remove("QT_QPA_PLATFORM");
        field->setProcessEnvironment(env);
        field->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        field->start(WENDLO_QT_FIELD, {"--widget", "paste-only", "--out", dir.filePath("out"),
                                       "--keys", dir.filePath("keys")});
        ASSERT_TRUE(waitUntil(
            [&] { return keys->focusedWindowClass().startsWith(resourceName.toUtf8() + '\0'); },
            10000))
            << "the field never took focus";
    }

    QString fieldText() const
    {
        QFile file(dir.filePath("out"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray all = file.readAll();
        return QString::fromUtf8(all.mid(all.indexOf('\n') + 1));
    }

    // The chords the field received, without the presses of the modifier keys themselves.
    QStringList keyLog() const
    {
        QFile file(dir.filePath("keys"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        static const QRegularExpression modifierKey("(^|\\+)(Control|Shift|Alt|Meta)$");
        QStringList chords;
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
            if (!line.isEmpty() && !modifierKey.match(line).hasMatch())
                chords << line;
        }
        return chords;
    }

    // Another program takes the clipboard with `bytes` as `target`; returns once it holds it.
    QProcess* foreignCopy(const QByteArray& bytes, const QString& target)
    {
        const qint64 before = clipboard->changeCount(Selection::Clipboard);
        auto owner = std::make_unique<QProcess>();
        owner->start("xclip", {"-quiet", "-selection", "clipboard", "-t", target, "-i"});
        owner->write(bytes);
        owner->closeWriteChannel();
        QProcess* raw = owner.get();
        owners.push_back(std::move(owner));
        EXPECT_TRUE(waitUntil(
            [&] {
                return clipboard->changeCount(Selection::Clipboard) > before &&
                       read(target) == bytes;
            },
            5000))
            << "xclip did not take the clipboard";
        return raw;
    }

    // A selection as another program reads it (the event loop runs, so we can serve it).
    QByteArray read(const QString& target, const QString& selection = QStringLiteral("clipboard"))
    {
        QProcess reader;
        reader.start("xclip", {"-selection", selection, "-t", target, "-o"});
        EXPECT_TRUE(waitUntil([&] { return reader.state() == QProcess::NotRunning; }, 5000));
        return reader.readAllStandardOutput();
    }

    // The inserter's clipboard path; returns what it reported.
    Failure pasteDictation(const QString& text, ClipboardPaste::Timing timing = {},
                           const std::function<void()>& onceLanded = {})
    {
        std::optional<Failure> result;
        ClipboardPaste paste(*clipboard, *keys, text, timing,
                             [&](Failure failure) { result = std::move(failure); });
        paste.start(false);
        EXPECT_TRUE(waitUntil([&] { return fieldText().endsWith(text); }, 5000))
            << "pasted: " << fieldText().toStdString();
        if (onceLanded)
            onceLanded();
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 8000)) << "never reported";
        return result.value_or(QuorError{QStringLiteral("never reported")});
    }

    // The stand-in clipboard manager, running once it says so.
    void startManager(bool ignoreHint)
    {
        manager = std::make_unique<QProcess>();
        QStringList args{"--log", dir.filePath("manager")};
        if (ignoreHint)
            args << "--ignore-hint";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        manager->setProcessEnvironment(env);
        manager->start(WENDLO_CLIPBOARD_MANAGER, args);
        ASSERT_TRUE(waitUntil([&] { return managerLog().contains("ready"); }, 10000));
    }

    // Qt claims selections with the server time of the last event it saw. A manager that took
    // the clipboard at that same time ignores the claim's SelectionClear and goes on believing
    // it owns; in use the hot key's own key events bring a newer time. A property change on a
    // window of ours brings one here.
    void freshServerTime()
    {
        if (!timeWindow) {
            timeWindow = std::make_unique<QWindow>();
            timeWindow->create();
        }
        timeWindow->setTitle(QString::number(++timeTicks));
        spinFor(100);
    }

    QStringList managerLog() const
    {
        QFile file(dir.filePath("manager"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    std::unique_ptr<XTestSyntheticKeys> keys;
    std::unique_ptr<QtClipboard> clipboard;
    std::unique_ptr<QProcess> field;
    std::unique_ptr<QProcess> manager;
    std::unique_ptr<QWindow> timeWindow;
    int timeTicks = 0;
    std::vector<std::unique_ptr<QProcess>> owners;
};

TEST_F(ClipboardPath, TextAndImageComeBackOnceTheFieldHasReadTheText)
{
    startField();
    const QByteArray image = pngBytes();
    clipboard->writeItems(Selection::Clipboard,
                          {ClipboardItem{{plain, "the user's text"}, {png, image}}});

    EXPECT_EQ(pasteDictation(QStringLiteral("Dictated words.")), std::nullopt)
        << "the field's read of the text was seen";

    EXPECT_EQ(read("UTF8_STRING"), "the user's text");
    EXPECT_EQ(read(png), image);
    EXPECT_EQ(keyLog(), QStringList{"ctrl+V"});
}

TEST_F(ClipboardPath, AnotherProgramsImageComesBack)
{
    startField();
    const QByteArray image = pngBytes();
    foreignCopy(image, png);

    EXPECT_EQ(pasteDictation(QStringLiteral("Hello.")), std::nullopt);

    EXPECT_EQ(read(png), image);
}

TEST_F(ClipboardPath, EmptyClipboardIsEmptyAgain)
{
    startField();
    clipboard->clearContents(Selection::Clipboard);
    EXPECT_EQ(pasteDictation(QStringLiteral("Nothing before.")), std::nullopt);
    EXPECT_TRUE(clipboard->items(Selection::Clipboard).isEmpty());
}

TEST_F(ClipboardPath, CopyByAnotherProgramAfterThePasteStays)
{
    startField();
    clipboard->writeItems(Selection::Clipboard, {ClipboardItem{{plain, "older"}}});
    ClipboardPaste::Timing slowRestore;
    slowRestore.quietMs = 3000;

    EXPECT_EQ(
        pasteDictation(QStringLiteral("Dictated."), slowRestore,
                       [&] { foreignCopy("copied meanwhile", QStringLiteral("UTF8_STRING")); }),
        std::nullopt);

    EXPECT_EQ(read("UTF8_STRING"), "copied meanwhile");
}

TEST_F(ClipboardPath, HeldSuperDoesNotLeakIntoTheChord)
{
    startField();
    QProcess::execute("xdotool", {"keydown", "super"});
    pasteDictation(QStringLiteral("Right after the hot key."));
    QProcess::execute("xdotool", {"keyup", "super"});
    EXPECT_EQ(keyLog(), QStringList{"ctrl+V"});
}

TEST_F(ClipboardPath, TerminalGetsShiftInsertWithBothSelectionsHoldingTheText)
{
    startField(QStringLiteral("kitty"));
    clipboard->writeItems(Selection::Clipboard, {ClipboardItem{{plain, "copied"}}});
    clipboard->writeItems(Selection::Primary, {ClipboardItem{{plain, "selected"}}});
    QByteArray primaryAtPaste;

    EXPECT_EQ(pasteDictation(QStringLiteral("ls"), {},
                             [&] { primaryAtPaste = read("UTF8_STRING", "primary"); }),
              std::nullopt);

    EXPECT_EQ(keyLog(), QStringList{"shift+Ins"});
    EXPECT_EQ(primaryAtPaste, "ls");
    EXPECT_EQ(read("UTF8_STRING"), "copied");
    EXPECT_EQ(read("UTF8_STRING", "primary"), "selected");
}

TEST_F(ClipboardPath, NoApplicationReadingTheTextLeavesItOnTheClipboard)
{
    startField();
    clipboard->writeItems(Selection::Clipboard, {ClipboardItem{{plain, "user's"}}});
    field->kill(); // the focus goes nowhere; the chord reaches no field
    field->waitForFinished(2000);
    std::optional<Failure> result;
    ClipboardPaste::Timing quick;
    quick.readWaitMs = 800;
    ClipboardPaste paste(*clipboard, *keys, "kept", quick,
                         [&](Failure failure) { result = std::move(failure); });
    paste.start(false);

    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 5000));
    ASSERT_TRUE(*result);
    EXPECT_EQ((*result)->message, QString::fromUtf8("Text copied — paste it with Ctrl+V"));
    EXPECT_EQ(read("UTF8_STRING"), "kept");
}

TEST_F(ClipboardPath, ManagerThatHonoursTheHintLeavesTheTranscriptOut)
{
    startField();
    startManager(/*ignoreHint=*/false);
    foreignCopy("the user's", QStringLiteral("UTF8_STRING"));
    ASSERT_TRUE(waitUntil([&] { return managerLog().contains("took the user's"); }, 5000));
    freshServerTime();

    // The restore waits long enough for the manager to have looked at the transcript.
    ClipboardPaste::Timing slowRestore;
    slowRestore.quietMs = 1500;
    EXPECT_EQ(pasteDictation(QStringLiteral("Secret words."), slowRestore), std::nullopt);

    EXPECT_TRUE(waitUntil([&] { return read("UTF8_STRING") == "the user's"; }, 3000));
    EXPECT_TRUE(managerLog().contains("secret")) << managerLog().join('|').toStdString();
    EXPECT_FALSE(managerLog().contains("took Secret words."));
}

TEST_F(ClipboardPath, ManagerThatTakesTheTranscriptOverStillGivesTheUsersClipboardBack)
{
    startField();
    startManager(/*ignoreHint=*/true);
    foreignCopy("the user's", QStringLiteral("UTF8_STRING"));
    ASSERT_TRUE(waitUntil([&] { return managerLog().contains("took the user's"); }, 5000));
    freshServerTime();
    // The manager takes the transcript over before the chord and holds it until the restore.
    ClipboardPaste::Timing slow;
    slow.settleMs = 1000;
    slow.quietMs = 1000;

    EXPECT_EQ(pasteDictation(QStringLiteral("Taken over."), slow), std::nullopt);

    EXPECT_TRUE(managerLog().contains("took Taken over.")) << managerLog().join('|').toStdString();
    EXPECT_TRUE(waitUntil([&] { return read("UTF8_STRING") == "the user's"; }, 3000))
        << read("UTF8_STRING").toStdString();
}

TEST_F(ClipboardPath, OwnerThatNeverAnswersGivesUpWithinBoundedTime)
{
    QProcess* owner = foreignCopy("frozen", QStringLiteral("UTF8_STRING"));
    const QList<ClipboardItem> readable = clipboard->items(Selection::Clipboard);
    ASSERT_EQ(readable.size(), 1);
    EXPECT_EQ(readable.first().value(plain), "frozen");

    ::kill(pid_t(owner->processId()), SIGSTOP);
    // Qt gives up after its 5 s selection timeout, and no further format is asked for; the
    // test's own timeout catches a hang. Nothing readable means nothing to restore.
    for (const ClipboardItem& item : clipboard->items(Selection::Clipboard))
        EXPECT_TRUE(item.isEmpty());
}

} // namespace
