// The clipboard path on a private X display: the real clipboard (QtClipboard), the snapshot,
// and the XTest paste into a field that takes Ctrl+V but offers no editable text.
#include "dictation/PasteboardSnapshot.h"
#include "platform/qt/QtClipboard.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/XTestSyntheticKeys.h"
#include "support/Wait.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
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

class ClipboardPaste : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto x11 = X11Connection::ofApplication();
        ASSERT_TRUE(x11) << "needs the xcb platform";
        keys = std::make_unique<XTestSyntheticKeys>(x11->connection, x11->root);
        clipboard = std::make_unique<QtClipboard>(QGuiApplication::clipboard());
    }

    void TearDown() override
    {
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
        const qint64 before = clipboard->changeCount();
        auto owner = std::make_unique<QProcess>();
        owner->start("xclip", {"-quiet", "-selection", "clipboard", "-t", target, "-i"});
        owner->write(bytes);
        owner->closeWriteChannel();
        QProcess* raw = owner.get();
        owners.push_back(std::move(owner));
        EXPECT_TRUE(waitUntil(
            [&] { return clipboard->changeCount() > before && read(target) == bytes; }, 5000))
            << "xclip did not take the clipboard";
        return raw;
    }

    // The clipboard as another program reads it (the event loop runs, so we can serve it).
    QByteArray read(const QString& target)
    {
        QProcess reader;
        reader.start("xclip", {"-selection", "clipboard", "-t", target, "-o"});
        EXPECT_TRUE(waitUntil([&] { return reader.state() == QProcess::NotRunning; }, 5000));
        return reader.readAllStandardOutput();
    }

    // The inserter's clipboard path, with the restore once the paste has landed.
    void pasteDictation(const QString& text, const std::function<void()>& beforeRestore = {})
    {
        const PasteboardSnapshot snapshot(*clipboard);
        clipboard->clearContents();
        clipboard->setString(text);
        const qint64 ownWrites = clipboard->changeCount() - snapshot.originalChangeCount();
        EXPECT_TRUE(ownWrites == 1 || ownWrites == 2) << ownWrites;
        ASSERT_TRUE(keys->postPaste());
        ASSERT_TRUE(waitUntil([&] { return fieldText().endsWith(text); }, 5000))
            << "pasted: " << fieldText().toStdString();
        if (beforeRestore)
            beforeRestore();
        snapshot.restoreIfSafe(*clipboard);
    }

    QTemporaryDir dir;
    std::unique_ptr<XTestSyntheticKeys> keys;
    std::unique_ptr<QtClipboard> clipboard;
    std::unique_ptr<QProcess> field;
    std::vector<std::unique_ptr<QProcess>> owners;
};

TEST_F(ClipboardPaste, TextAndImageComeBackAfterThePaste)
{
    startField();
    const QByteArray image = pngBytes();
    clipboard->writeItems({ClipboardItem{{plain, "the user's text"}, {png, image}}});

    pasteDictation(QStringLiteral("Dictated words."));

    EXPECT_EQ(read("UTF8_STRING"), "the user's text");
    EXPECT_EQ(read(png), image);
    EXPECT_EQ(keyLog(), QStringList{"ctrl+V"});
}

TEST_F(ClipboardPaste, AnotherProgramsImageComesBack)
{
    startField();
    const QByteArray image = pngBytes();
    foreignCopy(image, png);

    pasteDictation(QStringLiteral("Hello."));

    EXPECT_EQ(read(png), image);
}

TEST_F(ClipboardPaste, EmptyClipboardIsEmptyAgain)
{
    startField();
    clipboard->clearContents();
    pasteDictation(QStringLiteral("Nothing before."));
    EXPECT_TRUE(clipboard->items().isEmpty());
}

TEST_F(ClipboardPaste, CopyByAnotherProgramInsideTheWindowStays)
{
    startField();
    clipboard->writeItems({ClipboardItem{{plain, "older"}}});

    pasteDictation(QStringLiteral("Dictated."),
                   [&] { foreignCopy("copied meanwhile", QStringLiteral("UTF8_STRING")); });

    EXPECT_EQ(read("UTF8_STRING"), "copied meanwhile");
}

TEST_F(ClipboardPaste, HeldSuperDoesNotLeakIntoTheChord)
{
    startField();
    QProcess::execute("xdotool", {"keydown", "super"});
    pasteDictation(QStringLiteral("Right after the hot key."));
    QProcess::execute("xdotool", {"keyup", "super"});
    EXPECT_EQ(keyLog(), QStringList{"ctrl+V"});
}

TEST_F(ClipboardPaste, TerminalGetsCtrlShiftV)
{
    startField(QStringLiteral("kitty"));
    const PasteboardSnapshot snapshot(*clipboard);
    clipboard->setString(QStringLiteral("ls"));
    ASSERT_TRUE(keys->postPaste());
    ASSERT_TRUE(waitUntil([&] { return !keyLog().isEmpty(); }, 5000));
    EXPECT_EQ(keyLog(), QStringList{"ctrl+shift+V"});
    snapshot.restoreIfSafe(*clipboard);
}

TEST_F(ClipboardPaste, OwnerThatNeverAnswersGivesUpWithinBoundedTime)
{
    QProcess* owner = foreignCopy("frozen", QStringLiteral("UTF8_STRING"));
    const QList<ClipboardItem> readable = clipboard->items();
    ASSERT_EQ(readable.size(), 1);
    EXPECT_EQ(readable.first().value(plain), "frozen");

    ::kill(pid_t(owner->processId()), SIGSTOP);
    // Qt gives up after its 5 s selection timeout, and no further format is asked for; the
    // test's own timeout catches a hang. Nothing readable means nothing to restore.
    for (const ClipboardItem& item : clipboard->items())
        EXPECT_TRUE(item.isEmpty());
}

} // namespace
