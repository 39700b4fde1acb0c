// The hot key through the desktop portal's GlobalShortcuts interface, against a stand-in portal
// on the private session bus (apps/shortcuts-portal.py): its Activated and Deactivated drive a
// real dictation into a real Qt field through AT-SPI; a refused binding is an error that says
// what to do.
#include "dictation/DictationBackends.h"
#include "dictation/DictationCoordinator.h"
#include "integration/FieldApp.h"
#include "platform/PlatformFactory.h"
#include "platform/shortcuts/PortalGlobalShortcuts.h"
#include "support/QtPrinters.h"
#include "support/Wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");

class FixedTranscriber : public OneShotWhisperTranscriber
{
public:
    Result<QString> transcribe(const QString&, ChildProcessStop&) const override
    {
        return QStringLiteral("hello from the portal");
    }
};

// The stand-in portal, owning the portal's name for as long as it lives.
class StandInPortal
{
public:
    explicit StandInPortal(const QStringList& arguments = {})
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start("/usr/bin/python3", QStringList{WENDLO_SHORTCUTS_PORTAL} + arguments);
    }
    ~StandInPortal()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
        // The name must be gone before the next test asks for the portal.
        waitUntil([] { return !owned(); }, 5000);
    }

    static bool owned()
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(portalService);
    }
    bool started() { return m_process.waitForStarted(5000) && waitUntil(owned, 10000); }

    bool call(const QString& method, const QVariantList& arguments = {})
    {
        QDBusInterface control(portalService, "/org/freedesktop/portal/desktop",
                               "org.wendlo.test.ShortcutsPortal");
        return control.callWithArgumentList(QDBus::Block, method, arguments).type() ==
               QDBusMessage::ReplyMessage;
    }
    QStringList calls()
    {
        QDBusInterface control(portalService, "/org/freedesktop/portal/desktop",
                               "org.wendlo.test.ShortcutsPortal");
        const QDBusReply<QStringList> reply = control.call("Calls");
        return reply.isValid() ? reply.value() : QStringList{"(no answer)"};
    }
    bool hasCall(const QString& prefix)
    {
        return waitUntil(
            [&] { return !calls().filter(QRegularExpression("^" + prefix)).isEmpty(); }, 5000);
    }

private:
    QProcess m_process;
};

class PortalHotKeyIntegrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "needs the private desktop's session bus";
    }

    void make()
    {
        auto backends = DictationBackends::withDesktop(PlatformFactory::makePlatformBackends());
        backends.hotKey = std::make_unique<PortalGlobalShortcuts>(QDBusConnection::sessionBus(),
                                                                  Compositor::Other, "wendlo");
        backends.transcriber = std::make_shared<FixedTranscriber>();
        coordinator = std::make_unique<DictationCoordinator>(std::move(backends));
        coordinator->onStateChange = [this](const DictationState& s) { published << s.label(); };
        coordinator->start();
    }

    QStringList published;
    std::unique_ptr<DictationCoordinator> coordinator;
};

// (No portal at all is the sway session's case, which its own test covers: asking here could
// start a real portal installed on the machine, which would then hold the name.)
TEST_F(PortalHotKeyIntegrationTest, AskingForThePortalFindsOnlyAPortalThatOffersShortcuts)
{
    {
        StandInPortal portal({"--version", "0"});
        ASSERT_TRUE(portal.started());
        EXPECT_FALSE(PortalGlobalShortcuts::isOffered(QDBusConnection::sessionBus(), 3000));
    }
    StandInPortal portal;
    ASSERT_TRUE(portal.started());
    EXPECT_TRUE(PortalGlobalShortcuts::isOffered(QDBusConnection::sessionBus(), 3000));
}

TEST_F(PortalHotKeyIntegrationTest, APressAndAReleaseFromThePortalDictateIntoTheField)
{
    StandInPortal portal;
    ASSERT_TRUE(portal.started());
    FieldApp field(FieldApp::Toolkit::Qt, "line", "");
    ASSERT_TRUE(field.started());
    make();
    ASSERT_TRUE(portal.hasCall("BindShortcuts dictate LOGO\\+d Dictate with Wendlo"))
        << portal.calls().join('\n').toStdString();
    spinFor(200); // the Response reaches the back end
    EXPECT_FALSE(coordinator->hotKeyProblem());

    ASSERT_TRUE(portal.call("Press"));
    ASSERT_TRUE(waitUntil([&] { return coordinator->state().isRecording(); }, 5000))
        << published.join(", ").toStdString();
    // A second Activated while held (a repeat) is not a second press.
    ASSERT_TRUE(portal.call("Press"));
    spinFor(600);
    ASSERT_TRUE(portal.call("Release"));
    EXPECT_TRUE(field.waitForText("Hello from the portal.", 10000))
        << field.state().text.toStdString() << " / " << published.join(", ").toStdString();
    EXPECT_TRUE(waitUntil([&] { return coordinator->state().isIdle(); }, 5000));
    EXPECT_EQ(published.filter("Recording").size(), 1) << published.join(", ").toStdString();

    // A new key gets a session of its own; the old one is closed.
    ASSERT_FALSE(coordinator->changeHotKey(HotKey::parse("Ctrl+Alt+Space").value()));
    EXPECT_TRUE(portal.hasCall("BindShortcuts dictate CTRL\\+ALT\\+space"))
        << portal.calls().join('\n').toStdString();
    EXPECT_TRUE(portal.calls().contains("Close")) << portal.calls().join('\n').toStdString();
}

// The user picks another trigger in the portal's dialog (the binding's answer) or later in the
// desktop's settings (ShortcutsChanged): the texts name it; the hot key stays what is asked.
TEST_F(PortalHotKeyIntegrationTest, TheTriggerTheUserChoseInTheDesktopIsTheOneNamed)
{
    StandInPortal portal;
    ASSERT_TRUE(portal.started());
    ASSERT_TRUE(portal.call("ChooseTrigger", {"Ctrl+Alt+K"}));
    make();
    ASSERT_TRUE(waitUntil([&] { return coordinator->hotKeyText() == "Ctrl+Alt+K"; }, 5000))
        << coordinator->hotKeyText().toStdString();
    EXPECT_EQ(coordinator->hotKey(), HotKey::standard());
    EXPECT_FALSE(coordinator->hotKeyProblem());

    int changes = 0;
    coordinator->onHotKeyStatusChange = [&] { ++changes; };
    ASSERT_TRUE(portal.call("ChooseTrigger", {"Ctrl+Shift+F5"}));
    ASSERT_TRUE(waitUntil([&] { return coordinator->hotKeyText() == "Ctrl+Shift+F5"; }, 5000))
        << coordinator->hotKeyText().toStdString();
    EXPECT_EQ(changes, 1);
    // Back to the trigger asked for: the key's own name again.
    ASSERT_TRUE(portal.call("ChooseTrigger", {""}));
    ASSERT_TRUE(waitUntil([&] { return coordinator->hotKeyText() == "Super + D"; }, 5000))
        << coordinator->hotKeyText().toStdString();
    EXPECT_EQ(portal.calls().filter("BindShortcuts").size(), 1)
        << portal.calls().join('\n').toStdString();
}

TEST_F(PortalHotKeyIntegrationTest, ARefusedBindingIsAnErrorThatSaysWhatToDo)
{
    StandInPortal portal({"--refuse", "2"});
    ASSERT_TRUE(portal.started());
    make();
    ASSERT_TRUE(waitUntil([&] { return coordinator->hotKeyProblem().has_value(); }, 5000))
        << portal.calls().join('\n').toStdString();
    const QString problem = *coordinator->hotKeyProblem();
    EXPECT_TRUE(problem.startsWith("Super + D could not be registered: the desktop refused the "
                                   "shortcut."))
        << problem.toStdString();
    EXPECT_TRUE(problem.contains("Choose another hot key in Settings")) << problem.toStdString();
    EXPECT_TRUE(problem.contains("wendlo --start-dictation")) << problem.toStdString();
    EXPECT_TRUE(coordinator->state().isError());
    EXPECT_EQ(coordinator->state().message, problem);

    // Allowed on the next try, the error ends.
    ASSERT_TRUE(portal.call("Refuse", {QVariant::fromValue(0u)}));
    ASSERT_FALSE(coordinator->changeHotKey(HotKey::parse("F9").value()));
    spinFor(300);
    EXPECT_FALSE(coordinator->hotKeyProblem()) << coordinator->hotKeyProblem()->toStdString();
    EXPECT_TRUE(coordinator->state().isIdle());

    // The desktop ending the session later is no silent loss of the key either.
    ASSERT_TRUE(portal.call("EndSessions"));
    ASSERT_TRUE(waitUntil([&] { return coordinator->hotKeyProblem().has_value(); }, 5000));
    EXPECT_TRUE(coordinator->hotKeyProblem()->startsWith(
        "F9 could not be registered: the desktop ended Wendlo's shortcut session."))
        << coordinator->hotKeyProblem()->toStdString();
    EXPECT_TRUE(coordinator->state().isError());
}

TEST_F(PortalHotKeyIntegrationTest, APortalThatGoesAwayMidHoldEndsTheRecording)
{
    auto portal = std::make_unique<StandInPortal>();
    ASSERT_TRUE(portal->started());
    FieldApp field(FieldApp::Toolkit::Qt, "line", "");
    ASSERT_TRUE(field.started());
    make();
    ASSERT_TRUE(portal->hasCall("BindShortcuts"));
    spinFor(200);
    ASSERT_TRUE(portal->call("Press"));
    ASSERT_TRUE(waitUntil([&] { return coordinator->state().isRecording(); }, 5000));
    spinFor(500);
    portal.reset();
    // No release can come any more: what was said is still transcribed, and the user learns
    // why the key stopped working.
    EXPECT_TRUE(field.waitForText("Hello from the portal.", 10000))
        << published.join(", ").toStdString();
    ASSERT_TRUE(waitUntil([&] { return coordinator->hotKeyProblem().has_value(); }, 5000));
    EXPECT_TRUE(coordinator->hotKeyProblem()->contains("the desktop's shortcut portal stopped"))
        << coordinator->hotKeyProblem()->toStdString();
}

} // namespace
