// The remote-desktop portal's keyboard against a stand-in portal on the private session bus
// (apps/remote-desktop-portal.py): consent once and restore silently after, the keys a paste
// and a text send, and the failures (a refusal, a session the desktop ends, a key the portal
// refuses) said as failures.
#include "RemoteDesktopPortal.h"
#include "platform/portal/RemoteDesktopKeyboard.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

using State = RemoteDesktopKeyboard::State;

class RemoteDesktopKeyboardTest : public ::testing::Test
{
protected:
    // A keyboard started against the portal, its token kept in `savedToken`.
    std::unique_ptr<RemoteDesktopKeyboard> startKeyboard()
    {
        KeyboardTokenStore store{[this] { return savedToken; },
                                 [this](const QString& token) { savedToken = token; }};
        auto keyboard =
            std::make_unique<RemoteDesktopKeyboard>(QDBusConnection::sessionBus(), store);
        keyboard->start();
        RemoteDesktopKeyboard* k = keyboard.get();
        EXPECT_TRUE(waitUntil([k] { return k->state() != State::Starting; }, 5000));
        return keyboard;
    }

    // typeText's answer, waited for.
    std::optional<QString> type(RemoteDesktopKeyboard& keyboard, const QString& text)
    {
        std::optional<std::optional<QString>> answer;
        keyboard.typeText(text, [&](std::optional<QString> failure) { answer = failure; });
        EXPECT_TRUE(waitUntil([&] { return answer.has_value(); }, 5000)) << "never answered";
        return answer.value_or(QStringLiteral("never answered"));
    }

    QString savedToken;
};

TEST_F(RemoteDesktopKeyboardTest, UserConsentsOnceAndTheNextRunRestoresWithoutADialog)
{
    RemoteDesktopPortal portal;
    ASSERT_TRUE(portal.started());
    ASSERT_TRUE(RemoteDesktopKeyboard::isOffered(QDBusConnection::sessionBus(), 3000));

    auto first = startKeyboard();
    EXPECT_EQ(first->state(), State::Ready);
    EXPECT_EQ(savedToken, "token-1");
    first.reset();

    auto second = startKeyboard();
    EXPECT_EQ(second->state(), State::Ready);
    EXPECT_EQ(savedToken, "token-2") << "each start hands out the next single-use token";
    EXPECT_EQ(portal.calls().filter(QRegularExpression("^(SelectDevices|Start)")),
              (QStringList{"SelectDevices types=1 persist_mode=2 restore_token=", "Start dialog",
                           "SelectDevices types=1 persist_mode=2 restore_token=token-1",
                           "Start restored"}));
}

TEST_F(RemoteDesktopKeyboardTest, ChordTextAndHotKeyGoOutAsKeysymsInOrder)
{
    RemoteDesktopPortal portal;
    ASSERT_TRUE(portal.started());
    auto keyboard = startKeyboard();
    ASSERT_EQ(keyboard->state(), State::Ready);

    ASSERT_TRUE(keyboard->postPaste(PasteChord::ControlV));
    EXPECT_EQ(type(*keyboard, QString::fromUtf8("é\n😀")), std::nullopt);
    ASSERT_TRUE(keyboard->postHotKey(Qt::MetaModifier | Qt::Key_D, true));
    ASSERT_TRUE(keyboard->postHotKey(Qt::MetaModifier | Qt::Key_D, false));
    const QStringList expected{"Keysym 0xffe3 1",    "Keysym 0x76 1",   "Keysym 0x76 0",
                               "Keysym 0xffe3 0",    "Keysym 0xe9 1",   "Keysym 0xe9 0",
                               "Keysym 0xff0d 1",    "Keysym 0xff0d 0", "Keysym 0x101f600 1",
                               "Keysym 0x101f600 0", "Keysym 0xffeb 1", "Keysym 0x64 1",
                               "Keysym 0x64 0",      "Keysym 0xffeb 0"};
    EXPECT_TRUE(waitUntil([&] { return portal.keys().size() >= expected.size(); }, 5000));
    EXPECT_EQ(portal.keys(), expected);
}

TEST_F(RemoteDesktopKeyboardTest, RefusalIsRememberedAndEveryKeystrokeSaysWhy)
{
    RemoteDesktopPortal portal({"--refuse", "1"});
    ASSERT_TRUE(portal.started());
    auto keyboard = startKeyboard();
    EXPECT_EQ(keyboard->state(), State::Refused);
    EXPECT_TRUE(savedToken.isEmpty());

    const std::optional<QString> failure = type(*keyboard, "lost?");
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->contains("did not allow Wendlo to control the keyboard"))
        << failure->toStdString();
    EXPECT_FALSE(keyboard->postPaste(PasteChord::ControlV));
    keyboard->start();
    EXPECT_EQ(portal.calls().filter("Start").size(), 1) << "asked again in the same run";
    EXPECT_TRUE(portal.keys().isEmpty());
}

TEST_F(RemoteDesktopKeyboardTest, SessionEndedByTheDesktopOrARefusedKeyIsAFailure)
{
    RemoteDesktopPortal portal;
    ASSERT_TRUE(portal.started());
    auto keyboard = startKeyboard();
    ASSERT_EQ(keyboard->state(), State::Ready);

    ASSERT_TRUE(portal.call("FailKeys", {true}));
    const std::optional<QString> refused = type(*keyboard, "ab");
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->contains("refused a key")) << refused->toStdString();
    ASSERT_TRUE(portal.call("FailKeys", {false}));
    EXPECT_EQ(type(*keyboard, "ok"), std::nullopt);

    ASSERT_TRUE(portal.call("EndSessions"));
    ASSERT_TRUE(waitUntil([&] { return keyboard->state() == State::Ended; }, 5000));
    const std::optional<QString> ended = type(*keyboard, "after");
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->contains("ended Wendlo's keyboard access")) << ended->toStdString();
    EXPECT_FALSE(keyboard->postHotKey(Qt::MetaModifier | Qt::Key_D, true));
}

TEST_F(RemoteDesktopKeyboardTest, WithoutThePortalItIsNotOffered)
{
    EXPECT_FALSE(RemoteDesktopKeyboard::isOffered(QDBusConnection::sessionBus(), 3000));
}

} // namespace
