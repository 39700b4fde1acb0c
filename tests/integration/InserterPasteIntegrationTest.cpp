// The clipboard path end to end: a field with no editable text gets the transcript by a real
// paste (XTest Ctrl+V), and the user's clipboard is put back afterwards unless another
// program took the clipboard meanwhile.
#include "FieldApp.h"
#include "dictation/FocusedTextInserter.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiAccessibilityTrust.h"
#include "platform/qt/QtClipboard.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11SelectionReads.h"
#include "platform/x11/XTestSyntheticKeys.h"
#include "support/Wait.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

namespace {

const QByteArray png = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlE"
                                              "QVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");

QByteArray readClipboardElsewhere(const QString& target)
{
    QProcess xclip;
    xclip.start("xclip", {"-o", "-selection", "clipboard", "-t", target});
    if (!xclip.waitForStarted(3000))
        return {};
    // Our own process may be the owner: keep serving it while xclip asks.
    waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 5000);
    return xclip.readAllStandardOutput();
}

void takeClipboardElsewhere(const QByteArray& text)
{
    QProcess xclip;
    xclip.start("xclip", {"-i", "-selection", "clipboard"});
    xclip.waitForStarted(3000);
    xclip.write(text);
    xclip.closeWriteChannel();
    // xclip returns once it owns the clipboard and keeps serving it in the background.
    waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 5000);
}

// The real keys, plus a hook that runs right after the paste was sent.
class ObservedKeys : public SyntheticKeys
{
public:
    explicit ObservedKeys(std::unique_ptr<SyntheticKeys> real) : m_real(std::move(real)) {}
    PasteTarget pasteTarget() override { return m_real->pasteTarget(); }
    bool postPaste(PasteChord chord) override
    {
        const bool ok = m_real->postPaste(chord);
        if (afterPaste)
            afterPaste();
        return ok;
    }
    bool postHotKey(QKeyCombination key, bool down) override
    {
        return m_real->postHotKey(key, down);
    }

    std::function<void()> afterPaste;

private:
    std::unique_ptr<SyntheticKeys> m_real;
};

class InserterPaste : public ::testing::Test
{
protected:
    explicit InserterPaste(const QString& widget = QStringLiteral("paste-only"),
                           FieldApp::Toolkit toolkit = FieldApp::Toolkit::Qt,
                           const QString& text = QStringLiteral("start "))
        : app(toolkit, widget, text)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(app.started());
        const auto x11 = X11Connection::ofApplication();
        ASSERT_TRUE(x11);
        auto keys = std::make_unique<ObservedKeys>(
            std::make_unique<XTestSyntheticKeys>(x11->connection, x11->root));
        observed = keys.get();
        inserter = std::make_unique<FocusedTextInserter>(
            std::make_unique<AtspiAccessibility>(std::make_unique<AtspiAccessibilityTrust>()),
            std::make_unique<QtClipboard>(QGuiApplication::clipboard(),
                                          std::make_unique<X11SelectionReads>(x11->connection)),
            std::move(keys));

        auto* mime = new QMimeData;
        mime->setData("text/plain", "user text");
        mime->setData("image/png", png);
        QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
        spinFor(100);
    }

    Failure insert(const QString& text)
    {
        std::optional<Failure> result;
        inserter->insert(text, [&](Failure failure) { result = std::move(failure); });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 10000)) << "never reported";
        return result.value_or(QuorError{QStringLiteral("never reported")});
    }

    FieldApp app;
    ObservedKeys* observed = nullptr;
    std::unique_ptr<FocusedTextInserter> inserter;
};

TEST_F(InserterPaste, TextArrivesByPasteAndTheUsersClipboardComesBack)
{
    EXPECT_EQ(insert("dictated"), std::nullopt);

    EXPECT_TRUE(app.waitForText("start dictated")) << app.state().text.toStdString();
    EXPECT_EQ(readClipboardElsewhere("text/plain"), "user text");
    EXPECT_EQ(readClipboardElsewhere("image/png"), png);
}

TEST_F(InserterPaste, ClipboardTakenInsideTheWindowKeepsItsNewContents)
{
    observed->afterPaste = [&] {
        // Once the field has pasted, another program copies before the restore.
        waitUntil([&] { return app.state().text == "start dictated"; }, 3000);
        takeClipboardElsewhere("other program");
    };

    EXPECT_EQ(insert("dictated"), std::nullopt);

    EXPECT_EQ(app.state().text, "start dictated");
    EXPECT_EQ(readClipboardElsewhere("UTF8_STRING"), "other program");
}

class InserterPastePassword : public InserterPaste
{
protected:
    InserterPastePassword()
        : InserterPaste(QStringLiteral("password"), FieldApp::Toolkit::Gtk, QStringLiteral("abc"))
    {
    }
};

TEST_F(InserterPastePassword, MaskedFieldGetsThePasteAndKeepsItsRealText)
{
    EXPECT_EQ(insert("hunter2"), std::nullopt);

    EXPECT_TRUE(app.waitForText("abchunter2")) << app.state().text.toStdString();
    EXPECT_EQ(readClipboardElsewhere("text/plain"), "user text");
}

} // namespace
