// The remote-desktop portal's keyboard under a real compositor (headless sway): the stand-in
// portal passes each key on through wtype, so a native GTK field without editable accessible
// text receives what the inserter sends: the text typed where the clipboard is kept from us
// (the user's clipboard untouched), and the paste chord where it is not.
#include "FieldApp.h"
#include "RemoteDesktopPortal.h"
#include "SessionApp.h"
#include "SwaySession.h"
#include "dictation/FocusedTextInserter.h"
#include "platform/UnavailableBackends.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiAccessibilityTrust.h"
#include "platform/portal/RemoteDesktopKeyboard.h"
#include "platform/wayland/DataControlClipboard.h"
#include "support/QtPrinters.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray runElsewhere(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(3000))
        return "<did not start>";
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, 5000);
    return process.readAllStandardOutput();
}

class RemoteDesktopTyping : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = SwaySession::missing())
            GTEST_SKIP() << missing->toStdString();
        const QString wtype = QStandardPaths::findExecutable("wtype");
        ASSERT_FALSE(wtype.isEmpty());
        portal = std::make_unique<RemoteDesktopPortal>(QStringList{"--wtype", wtype});
        ASSERT_TRUE(portal->started());
        // A GTK field without its accessibility bridge: no editable text, so the keys must do it.
        qputenv("NO_AT_BRIDGE", "1");
        field = std::make_unique<FieldApp>(FieldApp::Toolkit::Gtk, "line", "start ");
        qunsetenv("NO_AT_BRIDGE");
        ASSERT_TRUE(field->started());
        ASSERT_TRUE(waitUntil([] { return SwaySession::focusedAppId() == "gtk-field.py"; }, 10000))
            << SwaySession::focusedAppId().toStdString();
        runElsewhere("wl-copy", {"user text"});
    }

    void makeInserter(std::unique_ptr<ClipboardBackend> clipboard)
    {
        auto keys = std::make_unique<RemoteDesktopKeyboard>(QDBusConnection::sessionBus(),
                                                            KeyboardTokenStore{});
        keys->start();
        RemoteDesktopKeyboard* k = keys.get();
        ASSERT_TRUE(
            waitUntil([k] { return k->state() == RemoteDesktopKeyboard::State::Ready; }, 5000));
        inserter = std::make_unique<FocusedTextInserter>(
            std::make_unique<AtspiAccessibility>(std::make_unique<AtspiAccessibilityTrust>()),
            std::move(clipboard), std::move(keys));
    }

    Failure insert(const QString& text)
    {
        std::optional<Failure> result;
        inserter->insert(text, [&](Failure failure) { result = std::move(failure); });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 10000)) << "never reported";
        return result.value_or(QuorError{QStringLiteral("never reported")});
    }

    std::unique_ptr<RemoteDesktopPortal> portal;
    std::unique_ptr<FieldApp> field;
    std::unique_ptr<FocusedTextInserter> inserter;
};

TEST_F(RemoteDesktopTyping, TextIsTypedWhereTheClipboardIsKeptFromUs)
{
    makeInserter(std::make_unique<UnavailableClipboard>(
        QStringLiteral("this desktop lets no background application use the clipboard")));
    const QString text = QString::fromUtf8("Grüße, 5 € (typed)");
    EXPECT_EQ(insert(text), std::nullopt);
    EXPECT_TRUE(field->waitForText("start " + text)) << field->state().text.toStdString();
    EXPECT_EQ(runElsewhere("wl-paste", {"--no-newline"}), "user text");
    EXPECT_TRUE(portal->calls().filter("Keysym 0xffe3").isEmpty()) << "no paste chord was sent";
}

TEST_F(RemoteDesktopTyping, PasteChordGoesThroughThePortalWhereTheClipboardIsOurs)
{
    QString why;
    std::unique_ptr<DataControlClipboard> clipboard = DataControlClipboard::connect(&why);
    ASSERT_TRUE(clipboard) << why.toStdString();
    makeInserter(std::move(clipboard));
    EXPECT_EQ(insert("pasted"), std::nullopt);
    EXPECT_TRUE(field->waitForText("start pasted")) << field->state().text.toStdString();
    EXPECT_EQ(portal->keys().first(), "Keysym 0xffe3 1");
    EXPECT_TRUE(
        waitUntil([] { return runElsewhere("wl-paste", {"--no-newline"}) == "user text"; }, 5000))
        << "the user's clipboard came back";
}

// The app as a user starts it on a desktop without a virtual keyboard (here: no wtype on its
// PATH): the first start asks, the second restores with the token the first one kept.
TEST(RemoteDesktopConsent, AppAsksOnceAndRestoresOnItsNextStart)
{
    if (const std::optional<QString> missing = SwaySession::missing())
        GTEST_SKIP() << missing->toStdString();
    RemoteDesktopPortal portal;
    ASSERT_TRUE(portal.started());
    QTemporaryDir emptyPath;
    SessionApp app(WENDLO_EXECUTABLE);
    app.extraEnvironment = {"PATH=" + emptyPath.path()};
    for (const int run : {1, 2}) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(app.start()) << app.diagnostics().toStdString();
        // One log for both starts.
        EXPECT_TRUE(waitUntil(
            [&] { return app.lineCount("remote-desktop keyboard: granted") == run; }, 10000))
            << app.diagnostics().toStdString();
        app.stop();
    }
    EXPECT_EQ(portal.calls().filter(QRegularExpression("^(SelectDevices|Start)")),
              (QStringList{"SelectDevices types=1 persist_mode=2 restore_token=", "Start dialog",
                           "SelectDevices types=1 persist_mode=2 restore_token=token-1",
                           "Start restored"}));
}

} // namespace
